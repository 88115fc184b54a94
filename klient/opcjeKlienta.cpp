#include "opcjeKlienta.h"

#include "app/wierszPolecen.h"
#include "sync/zakresy.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <limits>

using wierszPolecen::Polecenie;

namespace {

// What the options take: the ranges the help names and the reading checks,
// from one place.
constexpr Zakres liczbaKlientow {1, 100'000, 1};
constexpr Zakres wymian {1, 1'000'000'000, 0};
constexpr Zakres skokow {0, 1000, PolitykaKorekty().skokowNaStarcie};
constexpr double sekundDoby = 43'200; // half a day either way: a time of day tells no more
constexpr double dryfNajwyzej = 100'000;
constexpr double najmniejSekund = 0.001;
constexpr qint64 najwiecejNaGodzineSzybkoMs = 24 * 3600 * 1000; // the step of a day an hour
constexpr double progSkokuNajwyzej = 3600;

QString z(const char *tekst)
{
    return QString::fromUtf8(tekst);
}

QString liczbaTekstem(double wartosc)
{
    return QString::number(wartosc, 'g', 12);
}

QString sekundy(qint64 ms)
{
    return liczbaTekstem(double(ms) / 1000);
}

// A number, fractions allowed, from `od` to `doWartosci`; a fraction after
// a point or, as Polish writes it, a comma.
bool ulamkowa(const QCommandLineParser &parser, const QString &nazwa, double od, double doWartosci,
              double &wynik, QString &tekst)
{
    if (!parser.isSet(nazwa))
        return true;
    bool ok = false;
    const double wartosc
        = QString(parser.value(nazwa)).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    if (!ok || !wierszPolecen::liczbaWprost(parser.value(nazwa), true)
        || !(wartosc >= od && wartosc <= doWartosci)) {
        tekst = QStringLiteral("%1 przyjmuje liczbę od %2 do %3, nie \"%4\"")
                    .arg(wierszPolecen::nazwaOpcji(nazwa), liczbaTekstem(od),
                         liczbaTekstem(doWartosci), wierszPolecen::pokaz(parser.value(nazwa)));
        return false;
    }
    wynik = wartosc;
    return true;
}

// The same in seconds, kept in milliseconds.
bool ms(const QCommandLineParser &parser, const QString &nazwa, double od, double doWartosci,
        qint64 &wynik, QString &tekst)
{
    double s = double(wynik) / 1000;
    if (!ulamkowa(parser, nazwa, od, doWartosci, s, tekst))
        return false;
    wynik = qRound64(s * 1000);
    return true;
}

QList<QCommandLineOption> opcje(const Ustawienia &u)
{
    const PolitykaKorekty domyslna;
    return {
        {z("host"), z("Adres serwera (domyślnie %1; z --systemowy trzeba go podać).").arg(u.host),
         z("adres")},
        {z("port"), z("Port serwera (%1).").arg(wierszPolecen::opisZakresu(zakresy::port)), z("N")},
        {z("count"),
         z("Liczba symulowanych klientów (%1).").arg(wierszPolecen::opisZakresu(liczbaKlientow)),
         z("N")},
        {z("offset"),
         z("Przesunięcie zegarów względem zegara systemowego, w sekundach (od -%1 do %1, "
           "domyślnie 0).")
             .arg(sekundDoby),
         z("S")},
        {z("spread"),
         z("Losowe przesunięcie każdego zegara w granicach ±S sekund (do %1; dryf też losowy, w "
           "granicach ±PPM).")
             .arg(sekundDoby),
         z("S")},
        {z("drift"),
         z("Dryf zegarów w milionowych częściach (ujemny: zegar się spóźnia; do ±%1).")
             .arg(dryfNajwyzej),
         z("PPM")},
        {z("seed"), z("Ziarno losowania, dla powtarzalnych przebiegów."), z("N")},
        {z("exchanges"),
         z("Zakończ po K czasach uzgodnionych otrzymanych przez każdego klienta (domyślnie "
           "działa do zatrzymania). Z --systemowy kończy się kodem %1, gdy system nie zmienił "
           "zegara.")
             .arg(kodBezZmianyZegara),
         z("K")},
        {{z("q"), z("quiet")}, z("Tylko podsumowania wymian i zmiany stanu połączenia.")},
        {z("systemowy"),
         z("Jedno połączenie, którego zegarem jest zegar systemowy tej maszyny: odpowiada "
           "czasem systemowym i doprowadza zegar systemowy do każdego czasu uzgodnionego "
           "(wymaga uprawnień do zmiany zegara).")},
        {z("skoki-na-starcie"),
         z("Z --systemowy: przez tyle pierwszych czasów uzgodnionych korekta od --prog-skoku "
           "wzwyż przestawia zegar od razu (%1); potem zegar jest tylko przesuwany płynnie.")
             .arg(wierszPolecen::opisZakresu(skokow)),
         z("N")},
        {z("prog-skoku"),
         z("Z --systemowy: korekta mniejsza niż S sekund jest wprowadzana płynnie (domyślnie "
           "%1).")
             .arg(sekundy(domyslna.progSkokuMs)),
         z("S")},
        {z("maks-korekta"),
         z("Z --systemowy: korekta większa niż S sekund nie jest wprowadzana (domyślnie %1).")
             .arg(sekundy(domyslna.maksKorektaMs)),
         z("S")},
        {z("maks-na-godzine"),
         z("Z --systemowy: wszystkie korekty w ciągu godziny razem najwyżej o S sekund (poza "
           "skokami na starcie; od %1 do %2, z --szybka-zbieznosc do %3); domyślnie %2, tyle, "
           "ile zegar przesuwany płynnie zyska w godzinę, z --szybka-zbieznosc %4.")
             .arg(liczbaTekstem(najmniejSekund), sekundy(domyslna.maksNaGodzineMs),
                  sekundy(najwiecejNaGodzineSzybkoMs),
                  sekundy(PolitykaKorekty::maksNaGodzineSzybkoMs)),
         z("S")},
        {z("szybka-zbieznosc"),
         z("Z --systemowy, dla laboratorium, które ufa swemu serwerowi: i po starcie "
           "przestawiaj zegar, gdy zgodzą się na to %1 kolejne wymiany, o najwyżej %2 s na "
           "godzinę. Wrogi serwer przesunie wtedy zegar nawet o 8 godzin na dobę.")
             .arg(PolitykaKorekty::potwierdzen)
             .arg(sekundy(PolitykaKorekty::maksNaGodzineSzybkoMs))},
        {z("bez-zmian"), z("Z --systemowy: tylko pomiar i raport, bez zmiany zegara.")},
        {z("id-rozruchu"),
         z("Z --systemowy: identyfikator tego rozruchu maszyny, gdy system go nie pokazuje "
           "(usługa z ProcSubset=pid podaje %b); nowy identyfikator daje znów skoki na "
           "starcie."),
         z("ID")},
        {z("ustawienia"),
         z("Czytaj też opcje z PLIKU: linia \"nazwa=wartość\" na opcję (np. host=10.0.0.1, "
           "bez-zmian=tak); opcja nie może być i tam, i w wierszu polecenia."),
         z("PLIK")},
        {z("usluga"),
         z("Działaj jako usługa menedżera usług, który uruchomił program (jak --systemowy "
           "--quiet): w Windows usługa %1 (stan i linie w klient.log w %ProgramData%\\Serwer "
           "Synchronizacji), w Linuksie jednostka klient-systemowy (stan w jej katalogu stanu). "
           "Bez uprawnienia do zmiany zegara usługa kończy pracę z kodem 2; uruchomiony bez "
           "--usluga klient wtedy tylko mierzy.")
             .arg(QLatin1String(nazwaUslugiKlienta))},
        {z("timing"),
         z("Po każdej wymianie linia \"czasy\": chwile (zegar monotoniczny, ns) pierwszego "
           "żądania i ostatniego czasu uzgodnionego, czas serwera z żądania i czas systemowy "
           "w chwili jego nadejścia (ms od północy), najmniej i najwięcej, o ile czas "
           "uzgodniony wyprzedzał zegar systemowy, gdy nadszedł (ms); dla pomiarów.")},
    };
}

// Options that belong with --systemowy, or without it, and the server that
// a real clock follows, named on purpose.
bool zgodne(const QCommandLineParser &parser, Ustawienia &u, QString &tekst)
{
    // A service keeps this machine's clock, and says little.
    u.usluga = parser.isSet(z("usluga"));
    u.systemowy = u.usluga || parser.isSet(z("systemowy"));
    if (parser.isSet(z("host")))
        u.host = parser.value(z("host")).trimmed();
    if ((u.systemowy && !parser.isSet(z("host"))) || u.host.isEmpty()) {
        tekst = QStringLiteral("%1wymaga adresu serwera: --host ADRES (w usłudze: SERWER= w "
                               "/etc/default/klient-systemowy)")
                    .arg(u.systemowy ? QStringLiteral("--systemowy ") : QString());
        return false;
    }
    for (const char *opcja : {"count", "offset", "spread", "drift", "seed"})
        if (u.systemowy && parser.isSet(z(opcja))) {
            tekst = QStringLiteral("--%1 nie ma sensu z --systemowy: jego zegarem jest zegar "
                                   "systemowy tej maszyny, jeden")
                        .arg(z(opcja));
            return false;
        }
    for (const char *opcja : {"prog-skoku", "maks-korekta", "skoki-na-starcie", "maks-na-godzine",
                              "szybka-zbieznosc", "bez-zmian", "id-rozruchu"})
        if (!u.systemowy && parser.isSet(z(opcja))) {
            tekst = QStringLiteral("--%1 działa tylko z --systemowy").arg(z(opcja));
            return false;
        }
    return true;
}

bool liczby(const QCommandLineParser &parser, Ustawienia &u, QString &tekst)
{
    PolitykaKorekty &p = u.polityka;
    p.szybkaZbieznosc = parser.isSet(z("szybka-zbieznosc"));
    p.bezZmian = parser.isSet(z("bez-zmian"));
    if (p.szybkaZbieznosc)
        p.maksNaGodzineMs = PolitykaKorekty::maksNaGodzineSzybkoMs;
    // Slewed only, the clock cannot gain more in an hour.
    const double naGodzineNajwyzej
        = double(p.szybkaZbieznosc ? najwiecejNaGodzineSzybkoMs : plynnieNaGodzineMs) / 1000;
    using wierszPolecen::calkowita;
    return calkowita(parser, z("port"), zakresy::port, u.port, tekst)
        && calkowita(parser, z("count"), liczbaKlientow, u.liczba, tekst)
        && ulamkowa(parser, z("offset"), -sekundDoby, sekundDoby, u.przesuniecieS, tekst)
        && ulamkowa(parser, z("spread"), 0, sekundDoby, u.rozrzutS, tekst)
        && ulamkowa(parser, z("drift"), -dryfNajwyzej, dryfNajwyzej, u.dryfPpm, tekst)
        && calkowita(parser, z("seed"), 0, std::numeric_limits<quint32>::max(), u.ziarno, tekst)
        && calkowita(parser, z("exchanges"), wymian, u.wymiany, tekst)
        && ms(parser, z("prog-skoku"), najmniejSekund, progSkokuNajwyzej, p.progSkokuMs, tekst)
        && ms(parser, z("maks-korekta"), najmniejSekund, sekundDoby, p.maksKorektaMs, tekst)
        && calkowita(parser, z("skoki-na-starcie"), skokow, p.skokowNaStarcie, tekst)
        && ms(parser, z("maks-na-godzine"), najmniejSekund, naGodzineNajwyzej, p.maksNaGodzineMs,
              tekst);
}

} // namespace

Polecenie czytajOpcjeKlienta(const QStringList &argumenty, Ustawienia &u, QString &tekst)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Klienci serwera synchronizacji czasu: symulowani, każdy z własnym "
                       "zegarem i własnym połączeniem TCP, albo (--systemowy) zegar systemowy "
                       "tej maszyny."));
    const Polecenie ogolne = wierszPolecen::czytaj(parser, argumenty, opcje(u), tekst);
    if (ogolne != Polecenie::Uruchom)
        return ogolne;
    if (!zgodne(parser, u, tekst) || !liczby(parser, u, tekst))
        return Polecenie::Blad;
    u.ziarnoPodane = parser.isSet(z("seed"));
    u.cicho = u.usluga || parser.isSet(z("quiet"));
    u.czasy = parser.isSet(z("timing"));
    // It is written back in the state: what could not be read back there
    // would make every start look like a reboot, with the steps it grants.
    static const QRegularExpression rozruch(QStringLiteral("^[0-9A-Za-z-]{1,64}$"));
    if (parser.isSet(z("id-rozruchu"))
        && !rozruch.match(parser.value(z("id-rozruchu"))).hasMatch()) {
        tekst = QStringLiteral("--id-rozruchu przyjmuje identyfikator rozruchu (do 64 liter, cyfr "
                               "i łączników, jak %b systemd), nie \"%1\"")
                    .arg(wierszPolecen::pokaz(parser.value(z("id-rozruchu"))));
        return Polecenie::Blad;
    }
    u.rozruch = parser.value(z("id-rozruchu")).toUtf8();
    return Polecenie::Uruchom;
}
