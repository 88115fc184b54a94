#include "sync/berkeley.h"
#include "sync/ramka.h"
#include "window/dziennik.h"
#include "window/serwer.h"

#include <QSpinBox>
#include <QTcpSocket>
#include <QTextBrowser>

namespace {
constexpr qint32 oknoOdpowiedzi = 10; // ticks after the first reply
// Frames a client may send between two requests before it counts as a flood
// and is disconnected. Each is a log line; unchecked, one peer could
// fill the panes and stall the clock.
constexpr qint32 ramekNaZadanie = 32;
} // namespace

void Serwer::odbierz()
{
    auto *gniazdo = qobject_cast<QTcpSocket *>(sender());
    if (!gniazdo)
        return;

    // Every complete frame that is there is a reply of its own: one left in
    // the buffer would be read only when the client next sends, an exchange
    // late.
    qint32 kod = 0;
    for (;;) {
        const auto i = klienci->indexOf(gniazdo);
        if (i < 0) {
            gniazdo->readAll(); // not a registered client: nothing it says counts
            return;
        }
        const Odczyt odczyt = czytajRamke(*gniazdo, (*rozmiaryBlokow)[i], kod, czasKlienta);
        if (odczyt == Odczyt::Niepelna)
            return;
        if (++ramkiOdZadania[gniazdo] > ramekNaZadanie) {
            gniazdo->abort();
            return;
        }
        if (odczyt == Odczyt::Ramka)
            obsluzOdpowiedz(kod);
    }
}

void Serwer::obsluzOdpowiedz(qint32 kod)
{
    const qint32 n = ++liczbaOdpowiedzi;
    // Replies past the room of the arrays still count and are logged, but
    // take no part in the average.
    const bool maMiejsce = n < pojemnoscWymiany;

    if (kod == ramka::kodBezCzasu || !czasKlienta.isValid()) {
        // No usable time. Its slot must not carry an earlier exchange's
        // difference into this average.
        if (maMiejsce) {
            roznice[n] = 0;
            przyjete[n] = 0;
        }
        return;
    }

    if (n == 1)
        licznikTaktow = 0;
    const qint32 roznica = roznicaSekund(czasKlienta, czasSerwera);
    if (maMiejsce) {
        roznice[n] = roznica;
        przyjete[n] = 1;
    }
    dopisz(oknoSerwera,
           zeZnacznikiem(czasSerwera,
                         QStringLiteral(" - Odebrano godzinę od klienta ") + QString::number(n)
                             + QStringLiteral(" - ") + czasKlienta.toString(Qt::TextDate)
                             + QStringLiteral(" różnica:") + QString::number(roznica)
                             + QStringLiteral("s")));

    if (n == liczbaZapytanych && licznikTaktow <= oknoOdpowiedzi) {
        dopisz(oknoSerwera, QStringLiteral("----Odebrano wszystkie odpowiedzi----"));
        dopisz(oknoSynchronizacji, QStringLiteral("----Rozpoczynam proces uśredniania----"));
        usrednij();
    } else if (licznikTaktow > oknoOdpowiedzi) {
        dopisz(oknoSerwera, QStringLiteral("----Nie odebrano wszystkich odpowiedzi----"));
        usrednij();
    }
}

void Serwer::usrednij()
{
    const qint32 ile = qMin(liczbaOdpowiedzi, qint32(pojemnoscWymiany - 1));
    typKomunikatu = ramka::kodWyniku;

    QList<qint32> odrzucone;
    usrednijRoznice(roznice, przyjete, ile, poleOdrzucenia->value(), odrzucone);
    for (qint32 i : std::as_const(odrzucone))
        dopisz(oknoSynchronizacji,
               QStringLiteral("------Odrzucono czas klienta ") + QString::number(i)
                   + QStringLiteral("------"));

    czasZadania = czasSerwera.addSecs(roznice[0]);
    dopisz(oknoSynchronizacji,
           zeZnacznikiem(czasSerwera,
                         QStringLiteral(" - Średnia:") + QString::number(roznice[0])
                             + QStringLiteral("  czas:") + czasZadania.toString(Qt::TextDate)));
    wyslijZadanie();
}
