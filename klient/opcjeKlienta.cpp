#include "opcjeKlienta.h"

#include "app/wierszPolecen.h"
#include "sync/zakresy.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

#include <limits>

namespace {

QString liczbaTekstem(double wartosc)
{
    return QString::number(wartosc, 'g', 12);
}

QString sekundy(qint64 ms)
{
    return liczbaTekstem(double(ms) / 1000);
}

// A number, fractions allowed, from `od` to `doWartosci`.
bool ulamkowa(const QCommandLineParser &parser, const QString &nazwa, double od, double doWartosci,
              double &wynik, QString &tekst)
{
    if (!parser.isSet(nazwa))
        return true;
    bool ok = false;
    const double wartosc = parser.value(nazwa).toDouble(&ok);
    if (!ok || !(wartosc >= od && wartosc <= doWartosci)) {
        tekst = QStringLiteral("--%1 przyjmuje liczbę od %2 do %3, nie \"%4\"")
                    .arg(nazwa, liczbaTekstem(od), liczbaTekstem(doWartosci), parser.value(nazwa));
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

} // namespace

PolecenieKlienta czytajOpcjeKlienta(const QStringList &argumenty, Ustawienia &u, QString &tekst)
{
    const PolitykaKorekty domyslna;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Klienci serwera synchronizacji czasu: symulowani, każdy z własnym "
                       "zegarem i własnym połączeniem TCP, albo (--systemowy) zegar systemowy "
                       "tej maszyny."));
    const QCommandLineOption pomoc = parser.addHelpOption();
    const QCommandLineOption wersja = parser.addVersionOption();
    const auto z = [](const char *tekst) {
        return QString::fromUtf8(tekst);
    };
    parser.addOptions({
        {z("host"), z("Adres serwera (domyślnie %1; z --systemowy trzeba go podać).").arg(u.host),
         z("adres")},
        {z("port"), z("Port serwera (1-65535, domyślnie %1).").arg(u.port), z("N")},
        {z("count"), z("Liczba symulowanych klientów (1-100000, domyślnie %1).").arg(u.liczba),
         z("N")},
        {z("offset"),
         z("Przesunięcie zegarów względem zegara systemowego, w sekundach (domyślnie 0)."), z("S")},
        {z("spread"),
         z("Losowe przesunięcie każdego zegara w granicach ±S sekund (dryf też losowy, w "
           "granicach ±PPM)."),
         z("S")},
        {z("drift"), z("Dryf zegarów w milionowych częściach (ujemny: zegar się spóźnia)."),
         z("PPM")},
        {z("seed"), z("Ziarno losowania, dla powtarzalnych przebiegów."), z("N")},
        {z("exchanges"),
         z("Zakończ po K czasach uzgodnionych otrzymanych przez każdego klienta (domyślnie "
           "działa do zatrzymania)."),
         z("K")},
        {{z("q"), z("quiet")}, z("Tylko podsumowania wymian i zmiany stanu połączenia.")},
        {z("systemowy"),
         z("Jedno połączenie, którego zegarem jest zegar systemowy tej maszyny: odpowiada "
           "czasem systemowym i doprowadza zegar systemowy do każdego czasu uzgodnionego "
           "(wymaga uprawnień do zmiany zegara).")},
        {z("skoki-na-starcie"),
         z("Z --systemowy: przez tyle pierwszych czasów uzgodnionych korekta od --prog-skoku "
           "wzwyż przestawia zegar od razu (domyślnie %1); potem zegar jest tylko "
           "przesuwany płynnie.")
             .arg(domyslna.skokowNaStarcie),
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
           "skokami na starcie); domyślnie %1, tyle, ile zegar przesuwany płynnie zyska w "
           "godzinę, z --szybka-zbieznosc %2.")
             .arg(sekundy(domyslna.maksNaGodzineMs),
                  sekundy(PolitykaKorekty::maksNaGodzineSzybkoMs)),
         z("S")},
        {
            z("szybka-zbieznosc"),
            z("Z --systemowy, dla laboratorium, które ufa swemu serwerowi: i po starcie "
              "przestawiaj zegar, gdy zgodzą się na to %1 kolejne wymiany, o najwyżej %2 s na "
              "godzinę. Wrogi serwer przesunie wtedy zegar nawet o 8 godzin na dobę.")
                .arg(PolitykaKorekty::potwierdzen)
                .arg(sekundy(PolitykaKorekty::maksNaGodzineSzybkoMs)),
        },
        {z("bez-zmian"), z("Z --systemowy: tylko pomiar i raport, bez zmiany zegara.")},
        {z("timing"),
         z("Po każdej wymianie linia \"czasy\": chwile (zegar monotoniczny, ns) pierwszego "
           "żądania i ostatniego czasu uzgodnionego, czas serwera z żądania i czas systemowy "
           "w chwili jego nadejścia (ms od północy); dla pomiarów.")},
    });
    if (!parser.parse(argumenty)) {
        static const QRegularExpression cytat(QStringLiteral("'([^']*)'"));
        const QString opcja = cytat.match(parser.errorText()).captured(1);
        tekst = !parser.unknownOptionNames().isEmpty()
            ? QStringLiteral("nieznana opcja: %1%2 (zob. --help)")
                  .arg(opcja.size() > 1 ? QStringLiteral("--") : QStringLiteral("-"), opcja)
            : QStringLiteral("opcja %1 wymaga wartości (zob. --help)").arg(opcja);
        return PolecenieKlienta::Blad;
    }
    switch (wierszPolecen::sprawdz(parser, pomoc, wersja, tekst)) {
    case wierszPolecen::Ogolne::Pomoc:
        return PolecenieKlienta::Pomoc;
    case wierszPolecen::Ogolne::Wersja:
        return PolecenieKlienta::Wersja;
    case wierszPolecen::Ogolne::Blad:
        return PolecenieKlienta::Blad;
    case wierszPolecen::Ogolne::Dalej:
        break;
    }

    u.systemowy = parser.isSet(z("systemowy"));
    // The clock of a real machine follows only a server named on purpose.
    if (parser.isSet(z("host")))
        u.host = parser.value(z("host")).trimmed();
    if ((u.systemowy && !parser.isSet(z("host"))) || u.host.isEmpty()) {
        tekst = QStringLiteral("%1wymaga adresu serwera: --host ADRES (w usłudze: SERWER= w "
                               "/etc/default/klient-systemowy)")
                    .arg(u.systemowy ? QStringLiteral("--systemowy ") : QString());
        return PolecenieKlienta::Blad;
    }
    const char *zWlasnymZegarem[] = {"count", "offset", "spread", "drift", "seed"};
    const char *zSystemowym[] = {"prog-skoku",      "maks-korekta",     "skoki-na-starcie",
                                 "maks-na-godzine", "szybka-zbieznosc", "bez-zmian"};
    for (const char *opcja : zWlasnymZegarem)
        if (u.systemowy && parser.isSet(z(opcja))) {
            tekst = QStringLiteral("--%1 nie ma sensu z --systemowy: jego zegarem jest zegar "
                                   "systemowy tej maszyny, jeden")
                        .arg(z(opcja));
            return PolecenieKlienta::Blad;
        }
    for (const char *opcja : zSystemowym)
        if (!u.systemowy && parser.isSet(z(opcja))) {
            tekst = QStringLiteral("--%1 działa tylko z --systemowy").arg(z(opcja));
            return PolecenieKlienta::Blad;
        }

    PolitykaKorekty &p = u.polityka;
    p.szybkaZbieznosc = parser.isSet(z("szybka-zbieznosc"));
    p.bezZmian = parser.isSet(z("bez-zmian"));
    if (p.szybkaZbieznosc)
        p.maksNaGodzineMs = PolitykaKorekty::maksNaGodzineSzybkoMs;
    // Slewed only, the clock cannot gain more in an hour.
    const double naGodzineNajwyzej
        = double(p.szybkaZbieznosc ? 24 * 3600 * 1000 : plynnieNaGodzineMs) / 1000;
    if (!wierszPolecen::calkowita(parser, z("port"), zakresy::port.od, zakresy::port.doWartosci,
                                  u.port, tekst)
        || !wierszPolecen::calkowita(parser, z("count"), 1, 100'000, u.liczba, tekst)
        || !ulamkowa(parser, z("offset"), -43'200, 43'200, u.przesuniecieS, tekst)
        || !ulamkowa(parser, z("spread"), 0, 43'200, u.rozrzutS, tekst)
        || !ulamkowa(parser, z("drift"), -100'000, 100'000, u.dryfPpm, tekst)
        || !wierszPolecen::calkowita(parser, z("seed"), 0, std::numeric_limits<quint32>::max(),
                                     u.ziarno, tekst)
        || !wierszPolecen::calkowita(parser, z("exchanges"), 1, 1'000'000'000, u.wymiany, tekst)
        || !ms(parser, z("prog-skoku"), 0.001, 3600, p.progSkokuMs, tekst)
        || !ms(parser, z("maks-korekta"), 0.001, 43'200, p.maksKorektaMs, tekst)
        || !wierszPolecen::calkowita(parser, z("skoki-na-starcie"), 0, 1000, p.skokowNaStarcie,
                                     tekst)
        || !ms(parser, z("maks-na-godzine"), 0.001, naGodzineNajwyzej, p.maksNaGodzineMs, tekst))
        return PolecenieKlienta::Blad;
    u.ziarnoPodane = parser.isSet(z("seed"));
    u.cicho = parser.isSet(z("quiet"));
    u.czasy = parser.isSet(z("timing"));
    return PolecenieKlienta::Uruchom;
}
