// The clients as the operator sees them: the table under the grid, its
// caption, and the same as lines for a service's status.

#include "window/dziennik.h"
#include "window/serwer.h"

#include <QLabel>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

// The registry or an exchange changed the clients: the table follows, once
// for however many changes come together.
void Serwer::zmianaKlientow()
{
    if (widoczny && !odswiezanieTabeli->isActive())
        odswiezanieTabeli->start();
}

std::vector<WierszKlienta> Serwer::wierszeKlientow() const
{
    std::vector<WierszKlienta> wiersze;
    wiersze.reserve(std::size_t(klienci->size()));
    for (QTcpSocket *gniazdo : std::as_const(*klienci)) {
        const auto polaczenie = polaczenia.constFind(gniazdo);
        if (polaczenie != polaczenia.cend())
            wiersze.push_back(polaczenie->wiersz());
    }
    return wiersze;
}

QString Serwer::opisKlientow() const
{
    QString opis = QStringLiteral("Połączonych klientów: %1").arg(klienci->size());
    if (!opisWymiany.isEmpty())
        opis += QStringLiteral("; ostatnia wymiana: ") + opisWymiany;
    return opis;
}

void Serwer::odswiezTabele()
{
    // Not in the middle of an exchange: with ten thousand clients laying out
    // the table costs tens of milliseconds, which the replies and the
    // agreed time would wait for.
    if (rozsylka.trwa || (wymianaOtwarta && licznikTaktow <= oknoOdpowiedzi)) {
        odswiezanieTabeli->start();
        return;
    }
    modelKlientow->ustaw(wierszeKlientow());
    etykietaKlientow->setText(opisKlientow());
}

// The clients farthest from the agreed time of the exchange, among those that
// answered in it: "10.0.0.7; Port:51234 (+1100 s), …".
QString Serwer::najdalsze(qint32 srednia) const
{
    constexpr std::size_t wymienionych = 3;
    std::vector<std::pair<qint64, const Polaczenie *>> odlegle;
    for (const Polaczenie &polaczenie : polaczenia)
        if (polaczenie.wymiana == numerWymiany && polaczenie.maRoznice)
            odlegle.emplace_back(qAbs(qint64(polaczenie.roznica) - srednia), &polaczenie);
    const auto ile = std::min(wymienionych, odlegle.size());
    std::partial_sort(odlegle.begin(), odlegle.begin() + qsizetype(ile), odlegle.end(),
                      [](const auto &a, const auto &b) { return a.first > b.first; });
    QStringList opisy;
    for (std::size_t i = 0; i < ile; ++i) {
        const Polaczenie &p = *odlegle[i].second;
        const qint64 odSredniej = qint64(p.roznica) - srednia;
        opisy << opisAdresu(p.adres, p.port)
                + QStringLiteral(" (%1%2 s)").arg(odSredniej >= 0 ? "+" : "").arg(odSredniej);
    }
    return opisy.join(QStringLiteral(", "));
}

void Serwer::wypiszStan()
{
    std::vector<WierszKlienta> wiersze = wierszeKlientow();
    std::stable_sort(wiersze.begin(), wiersze.end(),
                     [](const auto &a, const auto &b) { return wagaKlienta(a) > wagaKlienta(b); });
    przekazJako(QLatin1String("stan"),
                zeZnacznikiem(czasSerwera, QStringLiteral(" - ") + opisKlientow()));
    for (const WierszKlienta &wiersz : wiersze)
        przekazJako(QLatin1String("stan"),
                    zeZnacznikiem(czasSerwera, QStringLiteral(" - ") + opisKlienta(wiersz)));
}
