// The clients as the operator sees them: the table under the grid, its
// caption, and the same as lines for a service's status.

#include "window/dziennik.h"
#include "window/serwer.h"

#include "sync/doba.h"
#include "sync/termin.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHostAddress>
#include <QItemSelectionModel>
#include <QLabel>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableView>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cmath>

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
    QString opis = QStringLiteral("Połączonych klientów: %1; %2%3")
                       .arg(klienci->size())
                       .arg(roznicaZegarow(), opisPrzestawienia());
    if (!opisWymiany.isEmpty())
        opis += QStringLiteral("; ostatnia wymiana: ") + opisWymiany + opisNajdalszego();
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
    // The rows the operator selected, and where the table was scrolled to,
    // stay: the rows found again by their connection.
    QSet<qint64> zaznaczone;
    const QModelIndexList wybrane = tabelaKlientow->selectionModel()->selectedRows();
    for (const QModelIndex &i : wybrane)
        zaznaczone.insert(
            modelKlientow->klucz(sortowanieKlientow->mapToSource(i).row(), ModelKlientow::Adres));
    const int przewiniete = tabelaKlientow->verticalScrollBar()->value();
    modelKlientow->ustaw(wierszeKlientow());
    if (!zaznaczone.isEmpty()) {
        QItemSelection zaznaczenie;
        int od = -1; // the first of a run of selected rows
        for (int w = 0; w <= sortowanieKlientow->rowCount(); ++w) {
            const bool wybrany = w < sortowanieKlientow->rowCount()
                && zaznaczone.contains(modelKlientow->klucz(
                    sortowanieKlientow->mapToSource(sortowanieKlientow->index(w, 0)).row(),
                    ModelKlientow::Adres));
            if (wybrany && od < 0)
                od = w;
            if (!wybrany && od >= 0) {
                zaznaczenie.select(sortowanieKlientow->index(od, 0),
                                   sortowanieKlientow->index(w - 1, 0));
                od = -1;
            }
        }
        tabelaKlientow->selectionModel()->select(
            zaznaczenie, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // Sized to what the first rows hold: the table follows its contents
    // without measuring ten thousand rows.
    tabelaKlientow->resizeColumnsToContents();
    tabelaKlientow->verticalScrollBar()->setValue(przewiniete);
    etykietaKlientow->setText(opisKlientow());
}

// The selected rows, header first, as tab-separated text.
void Serwer::kopiujZaznaczone()
{
    QList<int> wiersze;
    const QModelIndexList wybrane = tabelaKlientow->selectionModel()->selectedRows();
    for (const QModelIndex &i : wybrane)
        wiersze << i.row();
    std::sort(wiersze.begin(), wiersze.end());
    QApplication::clipboard()->setText(tekstWierszy(*sortowanieKlientow, wiersze));
}

// What the exchange was, for the table's caption, the status and the summary
// line: how many replies were averaged of how many came and why the others
// were not, how far the agreed time is from the server clock and how quickly
// it returns, which machine moved it (until it is back), and a step of the
// server clock after the system clock (until the lab is back).
QString Serwer::opisWplywu(qint32 ile, qint32 odrzuconych) const
{
    const qint32 odpowiedzi = liczbaOdpowiedzi + pominietychZAdresu;
    qint32 usrednionych = 0;
    for (qint32 i = 1; i <= ile; ++i)
        usrednionych += przyjete[i] == 1;
    int bezCzasu = 0;
    int niePrzyjmuja = 0;
    for (const Polaczenie &p : polaczenia) {
        if (p.wymiana != numerWymiany)
            continue;
        bezCzasu += p.wynik == WynikWymiany::BezCzasu;
        niePrzyjmuja += p.wynik == WynikWymiany::NiePrzyjmuje;
    }
    QString opis = QStringLiteral("odpowiedzi %1 z %2, uśredniono %3 z %1, odrzucone %4")
                       .arg(odpowiedzi)
                       .arg(zapytanychWWymianie)
                       .arg(usrednionych)
                       .arg(odrzuconych);
    if (niePrzyjmuja > 0)
        opis += QStringLiteral(", nie przyjmujące czasu uzgodnionego %1").arg(niePrzyjmuja);
    if (bezCzasu > 0)
        opis += QStringLiteral(", bez czasu %1").arg(bezCzasu);
    if (liczbaOdpowiedzi > ile)
        opis += QStringLiteral(" (średnia obejmuje pierwsze %1 odpowiedzi)").arg(ile);
    if (pominietychZAdresu > 0) {
        const auto glosny = std::max_element(pominieteZAdresow.cbegin(), pominieteZAdresow.cend(),
                                             [](int a, int b) { return a < b; });
        opis += QStringLiteral(", poza średnią z adresów już uśrednionych %1 (najwięcej z %2: %3)")
                    .arg(pominietychZAdresu)
                    .arg(QHostAddress(glosny.key()).toString())
                    .arg(glosny.value());
    }
    opis += QStringLiteral(", czas uzgodniony %1 od zegara serwera")
                .arg(sekundyZeZnakiem(uzgodnioneS));
    const qint32 ruch = uzgodnioneS - poprzednieUzgodnioneS;
    if (ruch != 0)
        opis += QStringLiteral(" (zmiana %1").arg(sekundyZeZnakiem(ruch));
    // Coming back as it does, by the same part of the way each exchange.
    if (ruch != 0 && uzgodnioneS != 0 && (uzgodnioneS > 0) == (poprzednieUzgodnioneS > 0)
        && qAbs(uzgodnioneS) < qAbs(poprzednieUzgodnioneS)) {
        const double czesc = double(uzgodnioneS) / poprzednieUzgodnioneS;
        const double wymian = std::ceil(std::log(1.0 / qAbs(uzgodnioneS)) / std::log(czesc));
        opis += QStringLiteral("; wraca, w ciągu sekundy od niego za ok. %1 min")
                    .arg(std::ceil(wymian * (poleOkresu->value() + 1) / 60));
    }
    if (ruch != 0)
        opis += QLatin1Char(')');
    if (sprawca)
        opis += QStringLiteral(", najbardziej przesunął go %1 (%2%3 s o %4)")
                    .arg(opisAdresu(sprawca->adres, sprawca->port),
                         sprawca->udzialS > 0 ? QStringLiteral("+") : QString())
                    .arg(sprawca->udzialS, 0, 'f', 1)
                    .arg(godzina(sprawca->kiedy));
    return opis;
}

// The server clock's last step after the system clock, while the lab has
// not come back to it: every machine then stands as far from the server
// clock, and is rejected when that is beyond the threshold.
QString Serwer::opisPrzestawienia() const
{
    if (!przestawienie)
        return QString();
    return QStringLiteral("; zegar serwera przestawiony za systemowym o %1%2.%3 s o %4")
        .arg(przestawienie->ms < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(qAbs(przestawienie->ms) / 1000)
        .arg(qAbs(przestawienie->ms) % 1000, 3, 10, QLatin1Char('0'))
        .arg(godzina(przestawienie->kiedy));
}

// The machine now connected farthest from the agreed time, by the measure
// the table sorts by; nothing while all are within a second of it.
QString Serwer::opisNajdalszego() const
{
    const Polaczenie *najdalszy = nullptr;
    for (const Polaczenie &p : polaczenia)
        if (p.maOdleglosc
            && (!najdalszy || qAbs(p.odUzgodnionegoMs) > qAbs(najdalszy->odUzgodnionegoMs)))
            najdalszy = &p;
    if (!najdalszy || qAbs(dziesiate(najdalszy->odUzgodnionegoMs)) < 10)
        return QString();
    return QStringLiteral(", najdalej od uzgodnionego: %1 (%2)")
        .arg(opisAdresu(najdalszy->adres, najdalszy->port),
             dziesiateZeZnakiem(najdalszy->odUzgodnionegoMs));
}

// The server clock against the system clock: drift an operator sees before
// it matters.
QString Serwer::roznicaZegarow() const
{
    const qint32 ms = roznicaMs(czasSerweraTeraz(), QTime::currentTime());
    return QStringLiteral("zegar serwera minus systemowy: %1%2.%3 s")
        .arg(ms < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(qAbs(ms) / 1000)
        .arg(qAbs(ms) % 1000, 3, 10, QLatin1Char('0'));
}

QStringList Serwer::stan() const
{
    std::vector<WierszKlienta> wiersze = wierszeKlientow();
    std::stable_sort(wiersze.begin(), wiersze.end(),
                     [](const auto &a, const auto &b) { return wagaKlienta(a) > wagaKlienta(b); });
    QStringList linie {zeZnacznikiem(czasSerwera, QStringLiteral(" - ") + opisKlientow())};
    for (const WierszKlienta &wiersz : wiersze)
        linie << zeZnacznikiem(czasSerwera, QStringLiteral(" - ") + opisKlienta(wiersz));
    return linie;
}

void Serwer::wypiszStan()
{
    // A signal a second is plenty; a storm of them must not fill the journal.
    const qint64 teraz = monotonicznyMs();
    if (stanWypisanyMs != 0 && teraz - stanWypisanyMs < 1000)
        return;
    stanWypisanyMs = teraz;
    for (const QString &wiersz : stan())
        przekazJako(QLatin1String("stan"), wiersz);
}
