#include "app/proces.h"
#include "app/sygnaly.h"
#include "grupa.h"
#include "sync/ramka.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cstdio>

namespace {

[[noreturn]] void blad(const QString &tresc)
{
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(QCoreApplication::applicationName()),
                 qUtf8Printable(tresc));
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
    QCoreApplication::setApplicationName(QStringLiteral("klient-synchronizacji"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Klienci serwera synchronizacji czasu: symulowani, każdy z własnym "
                       "zegarem i własnym połączeniem TCP, albo (--systemowy) zegar systemowy "
                       "tej maszyny."));
    const QCommandLineOption pomoc = parser.addHelpOption();
    const QCommandLineOption wersja = parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("host"),
         QStringLiteral("Adres serwera (domyślnie 127.0.0.1; z --systemowy trzeba go podać)."),
         QStringLiteral("adres")},
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
         QStringLiteral("Zakończ po K czasach uzgodnionych otrzymanych przez każdego klienta "
                        "(domyślnie działa do zatrzymania)."),
         QStringLiteral("K")},
        {{QStringLiteral("q"), QStringLiteral("quiet")},
         QStringLiteral("Tylko podsumowania wymian i zmiany stanu połączenia.")},
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
    if (!parser.parse(QCoreApplication::arguments())) {
        static const QRegularExpression cytat(QStringLiteral("'([^']*)'"));
        const QString opcja = cytat.match(parser.errorText()).captured(1);
        if (!parser.unknownOptionNames().isEmpty())
            blad(QStringLiteral("nieznana opcja: %1%2 (zob. --help)")
                     .arg(opcja.size() > 1 ? QStringLiteral("--") : QStringLiteral("-"), opcja));
        blad(QStringLiteral("opcja %1 wymaga wartości (zob. --help)").arg(opcja));
    }
    if (parser.isSet(pomoc)) {
        std::fputs(qUtf8Printable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(wersja)) {
        std::printf("%s %s\n", qUtf8Printable(QCoreApplication::applicationName()),
                    qUtf8Printable(QCoreApplication::applicationVersion()));
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        blad(QStringLiteral("nieznany argument: %1").arg(parser.positionalArguments().first()));

    Ustawienia ustawienia;
    ustawienia.systemowy = parser.isSet(QStringLiteral("systemowy"));
    // The clock of a real machine follows only a server named on purpose.
    if (parser.isSet(QStringLiteral("host")))
        ustawienia.host = parser.value(QStringLiteral("host")).trimmed();
    if ((ustawienia.systemowy && !parser.isSet(QStringLiteral("host")))
        || ustawienia.host.isEmpty())
        blad(QStringLiteral("%1wymaga adresu serwera: --host ADRES (w usłudze: SERWER= w "
                            "/etc/default/klient-systemowy)")
                 .arg(ustawienia.systemowy ? QStringLiteral("--systemowy ") : QString()));
    ustawienia.port = quint16(liczba(parser, QStringLiteral("port"), 1, 65535));
    ustawienia.liczba = int(liczba(parser, QStringLiteral("count"), 1, 100000));
    ustawienia.przesuniecieS = liczba(parser, QStringLiteral("offset"), -43200, 43200);
    ustawienia.rozrzutS = liczba(parser, QStringLiteral("spread"), 0, 43200);
    ustawienia.dryfPpm = liczba(parser, QStringLiteral("drift"), -1e5, 1e5);
    if (parser.isSet(QStringLiteral("exchanges")))
        ustawienia.wymiany = int(liczba(parser, QStringLiteral("exchanges"), 1, 1e9));
    ustawienia.cicho = parser.isSet(QStringLiteral("quiet"));
    ustawienia.czasy = parser.isSet(QStringLiteral("timing"));
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

    // Told to end (SIGTERM, Ctrl+C; on Windows also taskkill, logoff), the
    // clients end at once, and a slew of this machine's clock with them.
    Sygnaly sygnaly(Sygnaly::Zakonczenie);
    QObject::connect(&sygnaly, &Sygnaly::zakoncz, &aplikacja, [] { QCoreApplication::exit(0); });
    Grupa grupa(ustawienia);
    grupa.uruchom();
    return QCoreApplication::exec();
}
