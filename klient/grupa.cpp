#include "grupa.h"

#include "app/konsola.h"
#include "app/usluga.h"
#include "klient.h"
#include "sync/doba.h"
#include "sync/ramka.h"
#include "sync/termin.h"
#include "zegarSymulowany.h"
#include "zegarSystemowy.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstdio>

qint64 rozrzut(const QList<qint64> &wartosci)
{
    if (wartosci.isEmpty())
        return 0;
    const auto [najmniejsza, najwieksza] = std::minmax_element(wartosci.begin(), wartosci.end());
    return *najwieksza - *najmniejsza;
}

Grupa::Grupa(const Ustawienia &wybrane, QObject *parent)
    : QObject(parent)
    , ustawienia(wybrane)
    , wynikiKlientow(std::size_t(wybrane.liczba), 0)
{
    if (ustawienia.systemowy)
        przygotujZegarSystemowy();
    QRandomGenerator los(ustawienia.ziarno);
    const QDateTime chwila = QDateTime::currentDateTime();
    for (int i = 0; i < ustawienia.liczba; ++i)
        dodajKlienta(i, systemowy ? zegarMaszyny(i) : zegarSymulowany(los, chwila));
    odStartu.start();
    podsumowanie.setInterval(60'000);
    connect(&podsumowanie, &QTimer::timeout, this, &Grupa::podsumujPominiete);
    podsumowanie.start();
    stanGrupy.setSingleShot(true);
    stanGrupy.setInterval(1000);
    connect(&stanGrupy, &QTimer::timeout, this, &Grupa::powiedzIluPolaczonych);
    cisza.setSingleShot(true);
    cisza.setInterval(500);
    connect(&cisza, &QTimer::timeout, this, &Grupa::podsumuj);
}

// This machine's clock, and what stands in the way of keeping it.
void Grupa::przygotujZegarSystemowy()
{
    systemowy = std::make_unique<ZegarSystemowyMaszyny>();
    systemowy->ustawRozruch(ustawienia.rozruch);
    if (!ZegarSystemowyMaszyny::mozeZmieniac() && !ustawienia.polityka.bezZmian) {
        wypisz(QStringLiteral("ten system nie pozwala ustawiać zegara (brak adjtime i "
                              "clock_settime): tylko pomiar"),
               0, usluga::Ostrzezenie);
        ustawienia.polityka.bezZmian = true;
    }
    const QString inny = ZegarSystemowyMaszyny::innaUslugaCzasu();
    if (!inny.isEmpty())
        wypisz(QStringLiteral("działa też %1, która ustawia ten sam zegar: dwa programy "
                              "przestawiałyby go nawzajem; zatrzymaj ją i wyłącz (instalator "
                              "klienta robi to sam)")
                   .arg(inny),
               0, usluga::Ostrzezenie);
    if (!ustawienia.polityka.bezZmian && systemowy->zakonczPozostawione())
        wypisz(QStringLiteral("zakończono płynną korektę zegara, którą zostawiło poprzednie, "
                              "przerwane uruchomienie"),
               0, usluga::Uwaga);
}

std::unique_ptr<ZegarKlienta> Grupa::zegarMaszyny(int i)
{
    auto wlasny = std::make_unique<ZegarMaszyny>(
        *systemowy, ustawienia.polityka,
        [this, i](const QString &l, usluga::Waga waga) { wypisz(l, quint32(i + 1), waga); },
        ustawienia.plikStanu, [] { QCoreApplication::exit(kodBezZmianyZegara); });
    maszyna = wlasny.get();
    return wlasny;
}

// A simulated clock, as far off and drifting as the options say, at random
// within the spread.
std::unique_ptr<ZegarKlienta> Grupa::zegarSymulowany(QRandomGenerator &los, const QDateTime &chwila)
{
    const bool losowo = ustawienia.rozrzutS > 0;
    const double przesuniecie = ustawienia.przesuniecieS
        + (losowo ? los.bounded(2 * ustawienia.rozrzutS) - ustawienia.rozrzutS : 0.0);
    const double dryf = losowo && ustawienia.dryfPpm != 0
        ? los.bounded(2 * std::abs(ustawienia.dryfPpm)) - std::abs(ustawienia.dryfPpm)
        : ustawienia.dryfPpm;
    return std::make_unique<SymulowanyZegarKlienta>(
        nowyZegar(chwila.time(), qint64(przesuniecie * 1000), dryf, monotonicznyNs(),
                  chwila.offsetFromUtc()));
}

// Client `i`, with the clock it reports, and what the group hears from it.
void Grupa::dodajKlienta(int i, std::unique_ptr<ZegarKlienta> zegar)
{
    auto *klient = new Klient(i + 1, ustawienia.host, ustawienia.port, std::move(zegar), this);
    klienci.push_back(klient);
    const auto wypiszKlienta = [this, i](const QString &l, usluga::Waga waga = usluga::Informacja) {
        wypisz(l, quint32(i + 1), waga);
    };
    // Quiet, many clients say how many are connected, once a second at
    // most, rather than each its own change.
    if (!ustawienia.cicho || ustawienia.liczba == 1)
        connect(klient, &Klient::zmianaStanu, this, wypiszKlienta);
    else
        connect(klient, &Klient::zmianaStanu, &stanGrupy, qOverload<>(&QTimer::start));
    if (!ustawienia.cicho)
        connect(klient, &Klient::zdarzenie, this,
                [wypiszKlienta](const QString &l) { wypiszKlienta(l); });
    connect(klient, &Klient::polaczono, this, [this] { ++polaczonych; });
    connect(klient, &Klient::rozlaczono, this, [this] { --polaczonych; });
    connect(klient, &Klient::odpowiedziano, this, [this, i](QTime zadanie, qint64 przesuniecie) {
        poOdpowiedzi(i, zadanie, przesuniecie);
    });
    connect(klient, &Klient::ustawiono, this, [this, i] { poUstawieniu(i); });
    // One connection, as a service has: its status says whether it is in
    // step with a server or waits for one.
    if (ustawienia.liczba == 1)
        connect(klient, &Klient::stan, this, [](const QString &opis) {
            usluga::powiadom(QByteArray("STATUS=" + opis.toUtf8()).constData());
        });
    if (ustawienia.czasy)
        connect(klient, &Klient::odebrano, this, &Grupa::poRamce);
}

void Grupa::powiedzIluPolaczonych()
{
    if (polaczonych == zgloszonychPolaczonych)
        return;
    zgloszonychPolaczonych = polaczonych;
    wypisz(QStringLiteral("połączonych klientów: %1 z %2%3")
               .arg(polaczonych)
               .arg(klienci.size())
               .arg(polaczonych == 0 ? QStringLiteral(" (serwer niedostępny, ponawiam coraz "
                                                      "rzadziej, najrzadziej co 5 minut)")
                                     : QString()),
           0, polaczonych == 0 ? usluga::Ostrzezenie : usluga::Informacja);
}

// The clients go first: the clock of this machine's keeps its state as it
// goes, through the system clock they share.
Grupa::~Grupa()
{
    qDeleteAll(klienci);
}

void Grupa::uruchom()
{
    for (Klient *klient : klienci)
        klient->polacz();
}

void Grupa::podsumujPominiete()
{
    for (const auto &[klucz, ile] : ogranicznik.podsumuj(odStartu.elapsed()))
        wypisz(klucz == 0 ? QStringLiteral("pominięto %1 linii podsumowań (ponad %2 na sekundę)")
                                .arg(ile)
                                .arg(liniiNaSekunde)
                          : QStringLiteral("klient %1: pominięto %2 linii (ponad %3 na sekundę)")
                                .arg(klucz)
                                .arg(ile)
                                .arg(liniiNaSekunde),
               zawsze, usluga::Ostrzezenie);
}

void Grupa::wypisz(const QString &linia, quint32 klucz, usluga::Waga waga)
{
    if (wyjscieZamkniete)
        return;
    if (klucz != zawsze && !ogranicznik.wolno(klucz, odStartu.elapsed()))
        return;
    // A service's file (Windows) has no journal to date its lines.
    const QString wiersz = ustawienia.usluga && !usluga::doDziennikaSystemu(1)
        ? QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + linia
        : linia;
    if (!wypiszLinie(stdout, wiersz, usluga::przedrostek(1, waga))) {
        // Its reader went away: the clients go on without it.
        wyjscieZamkniete = true;
        wypiszLinie(stderr,
                    QCoreApplication::applicationName()
                        + QStringLiteral(": nie można pisać na standardowe wyjście: linie nie są "
                                         "już na nie wypisywane"),
                    usluga::przedrostek(2, usluga::Blad));
    }
}

void Grupa::poOdpowiedzi(int indeks, QTime zadanie, qint64 przesuniecieMs)
{
    przesunieciaPrzed.insert(indeks, przesuniecieMs);
    // Requests are told apart by their time; counted, not kept, so that a
    // flood of them costs nothing.
    if (zadanie != ostatnieZadanie || zadan == 0) {
        ostatnieZadanie = zadanie;
        ++zadan;
    }
}

void Grupa::poUstawieniu(int indeks)
{
    ++wynikiKlientow[std::size_t(indeks)];
    ustawione.append(indeks);
    if (ustawione.size() >= polaczonych)
        podsumuj();
    else
        cisza.start();
}

void Grupa::poRamce(qint32 kod, QTime czas)
{
    const qint64 teraz = monotonicznyNs();
    if (kod == ramka::kodZadania && pierwszeZadanieNs == 0) {
        pierwszeZadanieNs = teraz;
        czasZadania = czas;
        systemowyPrzyZadaniu = QTime::currentTime();
    } else if (kod == ramka::kodWyniku) {
        ostatniWynikNs = teraz;
        const qint64 przed = roznicaMs(czas, QTime::currentTime());
        wynikPrzedMinMs = saWyniki ? qMin(wynikPrzedMinMs, przed) : przed;
        wynikPrzedMaxMs = saWyniki ? qMax(wynikPrzedMaxMs, przed) : przed;
        saWyniki = true;
    }
}

void Grupa::podsumuj()
{
    cisza.stop();
    if (ustawione.isEmpty())
        return;

    // Every clock that took the agreed time, read at one moment, against the
    // first of them.
    const QTime wzorzec = klienci[std::size_t(ustawione.first())]->czas();
    QList<qint64> po;
    for (int indeks : std::as_const(ustawione))
        po.append(roznicaMs(klienci[std::size_t(indeks)]->czas(), wzorzec));

    ++numerWymiany;
    if (!ustawienia.systemowy) {
        const QString ilu = zadan > 1 ? QStringLiteral(" (żądań: %1)").arg(zadan) : QString();
        // "odpowiedział 1 klient", "odpowiedziało 5 klientów"
        const auto odpowiedzialo = przesunieciaPrzed.size() == 1
            ? QStringLiteral("odpowiedział 1 klient")
            : QStringLiteral("odpowiedziało %1 klientów").arg(przesunieciaPrzed.size());
        const auto otrzymalo = ustawione.size() == 1
            ? QStringLiteral("otrzymał 1")
            : QStringLiteral("otrzymało %1").arg(ustawione.size());
        wypisz(QStringLiteral("Wymiana %1%2: %3, czas uzgodniony %4; rozrzut zegarów przed: %5 "
                              "s, po: %6 s")
                   .arg(numerWymiany)
                   .arg(ilu, odpowiedzialo, otrzymalo)
                   .arg(double(rozrzut(przesunieciaPrzed.values())) / 1000, 0, 'f', 3)
                   .arg(double(rozrzut(po)) / 1000, 0, 'f', 3));
    }
    if (ustawienia.czasy) {
        // For the benchmark, which runs exchanges back to back: never left out.
        wypisz(QStringLiteral("czasy %1 %2 %3 %4 %5 %6")
                   .arg(pierwszeZadanieNs)
                   .arg(ostatniWynikNs)
                   .arg(czasZadania.isValid() ? czasZadania.msecsSinceStartOfDay() : -1)
                   .arg(systemowyPrzyZadaniu.msecsSinceStartOfDay())
                   .arg(wynikPrzedMinMs)
                   .arg(wynikPrzedMaxMs),
               zawsze);
        pierwszeZadanieNs = ostatniWynikNs = 0;
        saWyniki = false;
    }
    przesunieciaPrzed.clear();
    zadan = 0;
    ustawione.clear();

    // Asked to change this machine's clock, a run that could not ends as a
    // failure.
    if (ustawienia.wymiany > 0
        && *std::min_element(wynikiKlientow.begin(), wynikiKlientow.end()) >= ustawienia.wymiany)
        QCoreApplication::exit(maszyna && maszyna->zawiodl() ? kodBezZmianyZegara : 0);
}
