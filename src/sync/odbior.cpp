#include "sync/berkeley.h"
#include "sync/doba.h"
#include "sync/ramka.h"
#include "sync/termin.h"
#include "window/dziennik.h"
#include "window/serwer.h"

#include <QBuffer>
#include <QSpinBox>
#include <QTcpSocket>
#include <QTextBrowser>

#include <utility>

namespace {
// Frames a client may send between two requests before it counts as a flood
// and is disconnected. Each is a log line; unchecked, one peer could
// fill the panes and stall the clock.
constexpr qint32 ramekNaZadanie = 32;

// "<time> różnica:<difference>s", the end of every line of a reply.
QString czasIRoznica(QTime czasKlienta, qint32 roznica)
{
    return czasKlienta.toString(Qt::TextDate) + QStringLiteral(" różnica:")
        + QString::number(roznica) + QStringLiteral("s");
}
} // namespace

void Serwer::odbierz()
{
    if (auto *gniazdo = qobject_cast<QTcpSocket *>(sender()))
        czytajOd(gniazdo);
}

void Serwer::czytajOd(QTcpSocket *gniazdo)
{
    const auto i = indeksKlienta(gniazdo);
    if (i < 0) {
        if (gniazdo->isOpen())
            gniazdo->readAll(); // not a registered client: nothing it says counts
        return;
    }
    // All the socket holds is taken at once, its buffer with it, so that no
    // buffer stays with an idle connection; the bytes of a frame not yet
    // whole wait in `zalegle`.
    Polaczenie &zapisane = *polaczenia.find(gniazdo);
    QByteArray zalegle = std::exchange(zapisane.zalegle, QByteArray());
    quint16 rozmiarBloku = (*rozmiaryBlokow)[i];
    quint16 doPominiecia = zapisane.doPominiecia;

    // Every complete frame that is there is a reply of its own: one left
    // unread would be read only when the client next sends, an exchange
    // late. Handling one may remove this client or another (a broadcast
    // finds it reset), so the connection is looked up anew for each, and
    // its state kept apart until the end.
    zlozRamki(zalegle, rozmiarBloku, doPominiecia, gniazdo->read(gniazdo->bytesAvailable()),
              [&](Odczyt odczyt, qint32 kod, QTime czas) {
                  const auto polaczenie = polaczenia.find(gniazdo);
                  if (polaczenie == polaczenia.end())
                      return false;
                  if (++polaczenie->ramek > ramekNaZadanie) {
                      gniazdo->abort();
                      return false;
                  }
                  if (odczyt == Odczyt::Ramka) {
                      czasKlienta = czas;
                      obsluzOdpowiedz(gniazdo, kod);
                  }
                  return true;
              });
    const auto j = indeksKlienta(gniazdo);
    if (j < 0)
        return;
    Polaczenie &polaczenie = *polaczenia.find(gniazdo);
    (*rozmiaryBlokow)[j] = rozmiarBloku;
    polaczenie.doPominiecia = doPominiecia;
    polaczenie.zalegle = zalegle;
    // Since when the connection has held a frame unfinished, for
    // pilnujRamek(): from the first byte that left it unfinished, so that
    // frames finished one by one while the next is begun (a byte held back
    // each time) count as one.
    if (rozmiarBloku == 0 && doPominiecia == 0 && zalegle.isEmpty()) {
        polaczenie.ramkaOdMs = 0;
    } else if (polaczenie.ramkaOdMs == 0) {
        polaczenie.ramkaOdMs = monotonicznyMs();
        ramkiWToku.insert(gniazdo);
    }
}

void Serwer::obsluzOdpowiedz(QTcpSocket *gniazdo, qint32 kod)
{
    const auto polaczenie = polaczenia.find(gniazdo);
    if (polaczenie == polaczenia.end())
        return;
    if (!wymianaOtwarta || !polaczenie->zapytany) {
        pominOdpowiedz(gniazdo, kod);
        return;
    }
    polaczenie->zapytany = false;
    if (pominZAdresu(gniazdo, kod))
        return;

    // Those left out for their address are not waited for.
    const Odpowiedz odpowiedz
        = przyjmijOdpowiedz(kod, czasKlienta, czasSerwera, liczbaZapytanych - pominietychZAdresu,
                            liczbaOdpowiedzi, licznikTaktow, roznice, przyjete);
    ++miejscaAdresow[polaczenie->adres];
    polaczenie->milczalZRzedu = 0;
    polaczenie->wymiana = numerWymiany;
    polaczenie->nr = odpowiedz.n;
    polaczenie->maRoznice = odpowiedz.zCzasem;
    polaczenie->maOdleglosc = false;
    polaczenie->roznicaMs = odpowiedz.zCzasem ? roznicaMs(czasKlienta, czasSerwera) : 0;
    const bool przyjal = !odpowiedz.zCzasem || sprawdzPrzyjecie(*polaczenie);
    if (odpowiedz.n < pojemnoscWymiany) {
        nadawcy[odpowiedz.n] = {polaczenie->adres, polaczenie->port};
        gniazdaNadawcow[odpowiedz.n] = gniazdo;
        if (!przyjal)
            przyjete[odpowiedz.n] = 0;
    }
    // For the table: beyond the first 29 a reply is left out of the average.
    if (!odpowiedz.zCzasem)
        polaczenie->wynik = WynikWymiany::BezCzasu;
    else if (odpowiedz.n >= pojemnoscWymiany)
        polaczenie->wynik = WynikWymiany::PozaLimitem;
    else
        polaczenie->wynik = przyjal ? WynikWymiany::Uwzgledniony : WynikWymiany::NiePrzyjmuje;
    if (!odpowiedz.zCzasem) {
        // The last reply may carry no time: the exchange is complete all
        // the same, once there is something to average.
        if (saRoznice
            && zamkniecieWymiany(liczbaOdpowiedzi + pominietychZAdresu, liczbaZapytanych,
                                 licznikTaktow)
                == Zamkniecie::WOknie)
            domknij(Zamkniecie::WOknie);
        return;
    }
    saRoznice = true;
    // Away from the pane the line also names the machine.
    const QString wiersz = zeZnacznikiem(czasSerwera,
                                         QStringLiteral(" - Odebrano godzinę od klienta ")
                                             + QString::number(odpowiedz.n) + QStringLiteral(" - ")
                                             + czasIRoznica(czasKlienta, odpowiedz.roznica));
    doPanelu(oknoSerwera, wiersz);
    if (!podsumowanie)
        przekazOAdresie(polaczenie->adres, oknoSerwera,
                        wiersz + QStringLiteral(" - ")
                            + opisAdresu(polaczenie->adres, polaczenie->port),
                        usluga::Informacja, RodzajLinii::Odpowiedz);

    domknij(odpowiedz.zamkniecie);
}

// How far the reply is from the agreed time its address was last sent, for
// the table; false when it was sent none.
bool Serwer::odlegloscOdWyslanego(Polaczenie &polaczenie) const
{
    const auto wyslany = uzgodnioneAdresow.constFind(polaczenie.adres);
    if (wyslany == uzgodnioneAdresow.cend())
        return false;
    polaczenie.odUzgodnionegoMs = polaczenie.roznicaMs - *wyslany;
    polaczenie.maOdleglosc = true;
    return true;
}

// Whether the reply's machine took the agreed time its address was last
// sent: one that stays far from it (it only measures, its slew is bounded,
// it is stuck, or it means to pull the others) is not averaged until it
// takes one, or, averaged for ever, it would drag the lab halfway to
// itself. A machine sent none yet (a new one) counts; loopback is spared.
// The distance is the table's "from the agreed time" either way.
bool Serwer::sprawdzPrzyjecie(Polaczenie &polaczenie)
{
    if (!odlegloscOdWyslanego(polaczenie) || !oceniany(polaczenie.adres))
        return true;
    const bool przyjal = qAbs(polaczenie.odUzgodnionegoMs) < zgodnoscMs;
    if (przyjal == !polaczenie.niePrzyjmuje)
        return przyjal;
    polaczenie.niePrzyjmuje = !przyjal;
    const QString kto = opisAdresu(polaczenie.adres, polaczenie.port);
    dopiszOAdresie(
        polaczenie.adres, oknoSerwera,
        zeZnacznikiem(czasSerwera,
                      przyjal ? QStringLiteral(" - Klient o adresie: %1 przyjął czas uzgodniony: "
                                               "znów uśredniany")
                                    .arg(kto)
                              : QStringLiteral(" - Nie uśredniam godzin klienta o adresie: %1, "
                                               "dopóki nie przyjmie czasu uzgodnionego: jego "
                                               "zegar jest %2 od czasu, który dostał")
                                    .arg(kto, dziesiateZeZnakiem(polaczenie.odUzgodnionegoMs))),
        przyjal ? usluga::Informacja : usluga::Ostrzezenie, RodzajLinii::Odpowiedz);
    return przyjal;
}

// Every reply asked for has come within the window: the averaging; the
// window has passed: the exchange closes without the silent ones.
void Serwer::domknij(Zamkniecie zamkniecie)
{
    switch (zamkniecie) {
    case Zamkniecie::Otwarta:
        break;
    case Zamkniecie::WOknie:
        dopiszSzczegol(oknoSerwera, QStringLiteral("----Odebrano wszystkie odpowiedzi----"));
        dopiszSzczegol(oknoSynchronizacji,
                       QStringLiteral("----Rozpoczynam proces uśredniania----"));
        usrednij();
        break;
    case Zamkniecie::PoOknie:
        zamknijPoOknie();
        break;
    }
}

// A reply with a time from an address that has filled the averaged places it
// may: it is answered like any, shown as not averaged, and leaves the place to
// the next address. Whether the exchange is complete is asked as for any
// reply.
bool Serwer::pominZAdresu(QTcpSocket *gniazdo, qint32 kod)
{
    Polaczenie &polaczenie = *polaczenia.find(gniazdo);
    const int miejsc = miejscaAdresow.value(polaczenie.adres);
    if (miejsc < miejscDlaAdresu(!oceniany(polaczenie.adres), miejscZAdresu))
        return false;
    ++pominietychZAdresu;
    ++pominieteZAdresow[polaczenie.adres];
    const bool zCzasem = kod != ramka::kodBezCzasu && czasKlienta.isValid();
    polaczenie.wynik = WynikWymiany::ZTegoAdresu;
    polaczenie.milczalZRzedu = 0;
    polaczenie.wymiana = numerWymiany;
    polaczenie.nr = 0;
    polaczenie.maRoznice = zCzasem;
    polaczenie.maOdleglosc = false;
    polaczenie.roznicaMs = zCzasem ? roznicaMs(czasKlienta, czasSerwera) : 0;
    if (zCzasem)
        odlegloscOdWyslanego(polaczenie);
    dopiszOAdresie(
        polaczenie.adres, oknoSerwera,
        zeZnacznikiem(
            czasSerwera,
            QStringLiteral(" - Nie uśredniono godziny od klienta o adresie: ")
                + opisAdresu(polaczenie.adres, polaczenie.port) + QStringLiteral(" - ")
                + (zCzasem ? czasIRoznica(czasKlienta, roznicaSekund(czasKlienta, czasSerwera))
                           : QStringLiteral("bez czasu"))
                + QStringLiteral(" (z tego adresu uśredniono już %1)").arg(miejsc)),
        usluga::Ostrzezenie, RodzajLinii::Odpowiedz);
    domknij(
        zamkniecieWymiany(liczbaOdpowiedzi + pominietychZAdresu, liczbaZapytanych, licznikTaktow));
    return true;
}

// A reply nobody asked for: before any request, after its exchange closed, a
// second one from the same client, or from a client that came after the
// request. It is shown, so that the operator sees who sends it, and left out.
void Serwer::pominOdpowiedz(QTcpSocket *gniazdo, qint32 kod)
{
    if (kod == ramka::kodBezCzasu || !czasKlienta.isValid())
        return; // nothing to show
    // One line between two requests says enough of a peer; more would let
    // it fill the pane.
    const auto polaczenie = polaczenia.find(gniazdo);
    if (polaczenie == polaczenia.end() || std::exchange(polaczenie->pominietaPokazana, true))
        return;
    dopiszOAdresie(
        polaczenie->adres, oknoSerwera,
        zeZnacznikiem(czasSerwera,
                      QStringLiteral(" - Pominięto godzinę od klienta o adresie: ")
                          + opisAdresu(polaczenie->adres, polaczenie->port) + QStringLiteral(" - ")
                          + czasIRoznica(czasKlienta, roznicaSekund(czasKlienta, czasSerwera))),
        usluga::Ostrzezenie, RodzajLinii::Odpowiedz);
}

// Closes an exchange whose window has passed while some clients asked have
// not answered; they may never answer.
void Serwer::zamknijPoOknie()
{
    // Away from the pane, which machines were asked and kept silent.
    constexpr int wymienionych = 10;
    QStringList milczace;
    qsizetype innych = 0;
    for (QTcpSocket *gniazdo : std::as_const(*klienci)) {
        const auto polaczenie = polaczenia.constFind(gniazdo);
        if (polaczenie == polaczenia.cend() || !polaczenie->zapytany)
            continue;
        if (milczace.size() < wymienionych)
            milczace << opisAdresu(polaczenie->adres, polaczenie->port);
        else
            ++innych;
    }
    const QString wiersz = QStringLiteral("----Nie odebrano wszystkich odpowiedzi----");
    doPanelu(oknoSerwera, wiersz);
    przekaz(oknoSerwera,
            wiersz + QStringLiteral(" bez odpowiedzi: ") + milczace.join(QStringLiteral(", "))
                + (innych > 0 ? QStringLiteral(" i %1 innych").arg(innych) : QString()),
            usluga::Ostrzezenie);
    usrednij();
}

void Serwer::usrednij()
{
    const qint32 ile = qMin(liczbaOdpowiedzi, pojemnoscWymiany - 1);
    typKomunikatu = ramka::kodWyniku;

    QList<qint32> odrzucone;
    usrednijRoznice(roznice, przyjete, ile, poleOdrzucenia->value(), odrzucone);
    for (qint32 i : std::as_const(odrzucone)) {
        const auto polaczenie = polaczenia.find(gniazdaNadawcow[i]);
        if (polaczenie != polaczenia.end() && polaczenie->wymiana == numerWymiany)
            polaczenie->wynik = WynikWymiany::Odrzucony;
        const QString wiersz = QStringLiteral("------Odrzucono czas klienta ") + QString::number(i)
            + QStringLiteral("------");
        doPanelu(oknoSynchronizacji, wiersz);
        przekaz(oknoSynchronizacji,
                wiersz + QStringLiteral(" - ") + opisAdresu(nadawcy[i].first, nadawcy[i].second)
                    + QStringLiteral(" różnica:%1s").arg(roznice[i]),
                usluga::Ostrzezenie);
    }

    // For the table: those asked that kept silent, and how far from the
    // agreed time each that answered was, when it had been sent none.
    for (Polaczenie &polaczenie : polaczenia) {
        if (polaczenie.zapytany) {
            polaczenie.milczal();
        } else if (polaczenie.wymiana == numerWymiany && polaczenie.maRoznice
                   && !polaczenie.maOdleglosc) {
            polaczenie.odUzgodnionegoMs = polaczenie.roznicaMs - roznice[0] * 1000;
            polaczenie.maOdleglosc = true;
        }
    }
    poprzednieUzgodnioneS = std::exchange(uzgodnioneS, roznice[0]);
    znajdzSprawce(ile);
    // The lab is back: at the server clock, nobody rejected.
    if (uzgodnioneS == 0 && odrzucone.isEmpty())
        przestawienie.reset();
    opisWymiany = opisWplywu(ile, qint32(odrzucone.size()));
    zmianaKlientow();

    czasZadania = czasSerwera.addSecs(roznice[0]);
    dopiszSzczegol(oknoSynchronizacji,
                   zeZnacznikiem(czasSerwera,
                                 QStringLiteral(" - Średnia:") + QString::number(roznice[0])
                                     + QStringLiteral("  czas:")
                                     + czasZadania.toString(Qt::TextDate)));
    podsumowanieWymiany = QStringLiteral(" - Wymiana: %1%2; czas uzgodniony %3 wysłany do ")
                              .arg(opisWymiany, opisNajdalszego(), godzina(czasZadania));
    wyslijZadanie();
}

// Whose reply moved the agreement most in this exchange: of the averaged,
// the one farthest from the agreed time it had been sent (the last one,
// when it had been sent none), by its share of the average. Machines that
// took the agreed times move nothing, however far the agreement is from the
// server clock. Named until the agreement is back within a second of it.
void Serwer::znajdzSprawce(qint32 ile)
{
    if (uzgodnioneS == 0) {
        sprawca.reset();
        return;
    }
    const qint32 ruch = uzgodnioneS - poprzednieUzgodnioneS;
    if (ruch == 0)
        return;
    qint32 najwiecej = 0;
    double udzial = 0;
    for (qint32 i = 1; i <= ile; ++i) {
        if (przyjete[i] != 1)
            continue;
        const qint32 wyslany
            = uzgodnioneAdresow.value(nadawcy[i].first, poprzednieUzgodnioneS * 1000);
        const double swoj = (roznice[i] - wyslany / 1000.0) / (ile + 1);
        if ((swoj > 0) == (ruch > 0) && qAbs(swoj) > qAbs(udzial)) {
            najwiecej = i;
            udzial = swoj;
        }
    }
    if (najwiecej > 0 && qAbs(udzial) >= 0.5)
        sprawca
            = Sprawca {nadawcy[najwiecej].first, nadawcy[najwiecej].second, udzial, czasSerwera};
}
