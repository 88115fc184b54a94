#include "app/proces.h"
#include "grupa.h"
#include "sync/ramka.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRandomGenerator>

#include <cstdio>

namespace {

[[noreturn]] void blad(const QString &tresc)
{
    std::fprintf(stderr, "klient: %s\n", qPrintable(tresc));
    std::exit(2);
}

double liczba(const QCommandLineParser &parser, const QString &opcja, double od, double doWartosci)
{
    bool ok = false;
    const double wartosc = parser.value(opcja).toDouble(&ok);
    if (!ok || wartosc < od || wartosc > doWartosci)
        blad(
            QStringLiteral("--%1 przyjmuje liczbę od %2 do %3").arg(opcja).arg(od).arg(doWartosci));
    return wartosc;
}

} // namespace

int main(int argc, char *argv[])
{
    przygotujProces();
    QCoreApplication aplikacja(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("klient"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Klienci serwera synchronizacji czasu: symulowani, każdy z własnym "
                       "zegarem i własnym połączeniem TCP, albo (--systemowy) zegar systemowy "
                       "tej maszyny."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("host"), QStringLiteral("Adres serwera."), QStringLiteral("adres"),
         QStringLiteral("127.0.0.1")},
        {QStringLiteral("port"), QStringLiteral("Port serwera."), QStringLiteral("port"),
         QString::number(ramka::domyslnyPort)},
        {QStringLiteral("count"), QStringLiteral("Liczba symulowanych klientów."),
         QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("offset"),
         QStringLiteral("Przesunięcie zegarów względem zegara systemowego, w sekundach."),
         QStringLiteral("S"), QStringLiteral("0")},
        {QStringLiteral("spread"),
         QStringLiteral("Losowe przesunięcie każdego zegara w granicach ±S sekund (dryf też "
                        "losowy, w granicach ±PPM)."),
         QStringLiteral("S"), QStringLiteral("0")},
        {QStringLiteral("drift"),
         QStringLiteral("Dryf zegarów w milionowych częściach (ujemny: zegar się spóźnia)."),
         QStringLiteral("PPM"), QStringLiteral("0")},
        {QStringLiteral("seed"), QStringLiteral("Ziarno losowania, dla powtarzalnych przebiegów."),
         QStringLiteral("liczba")},
        {QStringLiteral("exchanges"),
         QStringLiteral("Zakończ po K czasach uzgodnionych otrzymanych przez każdego klienta."),
         QStringLiteral("K"), QStringLiteral("0")},
        {{QStringLiteral("q"), QStringLiteral("quiet")},
         QStringLiteral("Tylko podsumowania wymian.")},
        {QStringLiteral("systemowy"),
         QStringLiteral("Jedno połączenie, którego zegarem jest zegar systemowy tej maszyny: "
                        "odpowiada czasem systemowym i doprowadza zegar systemowy do każdego "
                        "czasu uzgodnionego (wymaga roota albo CAP_SYS_TIME).")},
        {QStringLiteral("prog-skoku"),
         QStringLiteral("Z --systemowy: korekta mniejsza niż S sekund jest wprowadzana płynnie "
                        "(adjtime), większa przestawia zegar."),
         QStringLiteral("S"), QStringLiteral("1")},
        {QStringLiteral("maks-korekta"),
         QStringLiteral("Z --systemowy: korekta większa niż S sekund nie jest wprowadzana."),
         QStringLiteral("S"), QStringLiteral("1200")},
        {QStringLiteral("skoki-na-starcie"),
         QStringLiteral("Z --systemowy: przez tyle pierwszych czasów uzgodnionych korekta od "
                        "--prog-skoku wzwyż przestawia zegar od razu; potem dopiero, gdy "
                        "zgodzą się na nią 3 kolejne wymiany."),
         QStringLiteral("N"), QStringLiteral("3")},
        {QStringLiteral("maks-na-godzine"),
         QStringLiteral("Z --systemowy: wszystkie korekty w ciągu godziny razem najwyżej o S "
                        "sekund; dalsze są odrzucane."),
         QStringLiteral("S"), QStringLiteral("1200")},
        {QStringLiteral("bez-zmian"),
         QStringLiteral("Z --systemowy: tylko pomiar i raport, bez zmiany zegara.")},
        {QStringLiteral("timing"),
         QStringLiteral("Po każdej wymianie linia \"czasy\": chwile (zegar monotoniczny, ns) "
                        "pierwszego żądania i ostatniego czasu uzgodnionego, czas serwera "
                        "z żądania i czas systemowy w chwili jego nadejścia (ms od północy); "
                        "dla pomiarów.")},
    });
    parser.process(aplikacja);
    if (!parser.positionalArguments().isEmpty())
        blad(QStringLiteral("nieznany argument: %1").arg(parser.positionalArguments().first()));

    Ustawienia ustawienia;
    ustawienia.host = parser.value(QStringLiteral("host"));
    ustawienia.port = quint16(liczba(parser, QStringLiteral("port"), 1, 65535));
    ustawienia.liczba = int(liczba(parser, QStringLiteral("count"), 1, 100000));
    ustawienia.przesuniecieS = liczba(parser, QStringLiteral("offset"), -43200, 43200);
    ustawienia.rozrzutS = liczba(parser, QStringLiteral("spread"), 0, 43200);
    ustawienia.dryfPpm = liczba(parser, QStringLiteral("drift"), -1e5, 1e5);
    ustawienia.wymiany = int(liczba(parser, QStringLiteral("exchanges"), 0, 1e9));
    ustawienia.cicho = parser.isSet(QStringLiteral("quiet"));
    ustawienia.czasy = parser.isSet(QStringLiteral("timing"));
    ustawienia.systemowy = parser.isSet(QStringLiteral("systemowy"));
    if (ustawienia.systemowy) {
        for (const char *opcja : {"count", "offset", "spread", "drift"})
            if (parser.isSet(QLatin1String(opcja)))
                blad(QStringLiteral("--%1 nie ma sensu z --systemowy: jego zegarem jest zegar "
                                    "systemowy tej maszyny, jeden")
                         .arg(QLatin1String(opcja)));
    } else {
        for (const char *opcja :
             {"prog-skoku", "maks-korekta", "skoki-na-starcie", "maks-na-godzine", "bez-zmian"})
            if (parser.isSet(QLatin1String(opcja)))
                blad(QStringLiteral("--%1 działa tylko z --systemowy").arg(QLatin1String(opcja)));
    }
    ustawienia.polityka.progSkokuMs
        = qint64(liczba(parser, QStringLiteral("prog-skoku"), 0.001, 3600) * 1000);
    ustawienia.polityka.maksKorektaMs
        = qint64(liczba(parser, QStringLiteral("maks-korekta"), 0.001, 43200) * 1000);
    ustawienia.polityka.skokowNaStarcie
        = int(liczba(parser, QStringLiteral("skoki-na-starcie"), 0, 1000));
    ustawienia.polityka.maksNaGodzineMs
        = qint64(liczba(parser, QStringLiteral("maks-na-godzine"), 0.001, 86400) * 1000);
    ustawienia.polityka.bezZmian = parser.isSet(QStringLiteral("bez-zmian"));
    ustawienia.ziarno = parser.isSet(QStringLiteral("seed"))
        ? quint32(liczba(parser, QStringLiteral("seed"), 0, 4294967295.0))
        : QRandomGenerator::global()->generate();

    Grupa grupa(ustawienia);
    grupa.uruchom();
    return QCoreApplication::exec();
}
