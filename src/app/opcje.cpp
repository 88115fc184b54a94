#include "opcje.h"

#include "sync/berkeley.h"
#include "sync/termin.h"
#include "sync/zakresy.h"
#include "wierszPolecen.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

// What ends the program, and what makes it open its log file anew, as this
// system asks.
#ifdef Q_OS_WIN
constexpr char prosbyZakonczenia[]
    = "Ctrl+C, zamknięcie konsoli, taskkill (bez /F), wylogowanie lub zatrzymanie usługi";
constexpr char prosbaRotacji[] = "";
#else
constexpr char prosbyZakonczenia[] = "SIGTERM lub SIGINT";
constexpr char prosbaRotacji[] = " albo po SIGHUP";
#endif

// The options QApplication takes as its own (its documentation's list, with
// those of X11), and whether each has a value.
const std::pair<QLatin1String, bool> opcjeQt[] = {
    {QLatin1String("platform"), true},        {QLatin1String("platformpluginpath"), true},
    {QLatin1String("platformtheme"), true},   {QLatin1String("plugin"), true},
    {QLatin1String("qwindowgeometry"), true}, {QLatin1String("qwindowicon"), true},
    {QLatin1String("qwindowtitle"), true},    {QLatin1String("session"), true},
    {QLatin1String("style"), true},           {QLatin1String("stylesheet"), true},
    {QLatin1String("display"), true},         {QLatin1String("geometry"), true},
    {QLatin1String("title"), true},           {QLatin1String("name"), true},
    {QLatin1String("visual"), true},          {QLatin1String("ncols"), true},
    {QLatin1String("qmljsdebugger"), false},  {QLatin1String("reverse"), false},
    {QLatin1String("widgetcount"), false},    {QLatin1String("nograb"), false},
    {QLatin1String("dograb"), false},         {QLatin1String("sync"), false},
    {QLatin1String("cmap"), false},
};

// The arguments without the toolkit's own options, which it takes out once
// it starts; the value of -platform, if any, in `platforma`.
QStringList bezOpcjiQt(const QStringList &argumenty, QString &platforma)
{
    QStringList reszta;
    for (qsizetype i = 0; i < argumenty.size(); ++i) {
        const QString &argument = argumenty[i];
        const QString nazwa = argument.section(QLatin1Char('='), 0, 0)
                                  .remove(QRegularExpression(QStringLiteral("^--?")));
        const auto qt = std::find_if(std::begin(opcjeQt), std::end(opcjeQt),
                                     [&nazwa](const auto &o) { return o.first == nazwa; });
        if (i == 0 || !argument.startsWith(QLatin1Char('-')) || qt == std::end(opcjeQt)) {
            reszta << argument;
            continue;
        }
        QString wartosc = argument.section(QLatin1Char('='), 1);
        if (qt->second && !argument.contains(QLatin1Char('=')) && i + 1 < argumenty.size())
            wartosc = argumenty[++i];
        if (nazwa == QLatin1String("platform"))
            platforma = wartosc;
    }
    return reszta;
}

// Of an exchange's averaged places, how many one address may fill, and how
// many connections it may hold at once (no cap by default).
constexpr Zakres miejscZAdresu {1, pojemnoscWymiany - 1, 1};
constexpr Zakres polaczenZAdresu {1, 1'000'000, 0};

using wierszPolecen::opisZakresu;
using wierszPolecen::Polecenie;

QList<QCommandLineOption> opcjeSerwera()
{
    return {
        {QStringLiteral("port"),
         QStringLiteral("Port serwera (%1).").arg(opisZakresu(zakresy::port)), QStringLiteral("N")},
        {QStringLiteral("okres"),
         QStringLiteral("Okres synchronizacji w sekundach (%1).").arg(opisZakresu(zakresy::okres)),
         QStringLiteral("S")},
        {QStringLiteral("prog"),
         QStringLiteral("Czas odrzucenia w sekundach (%1).").arg(opisZakresu(zakresy::prog)),
         QStringLiteral("S")},
        {QStringLiteral("start"),
         QStringLiteral("Uruchom serwer od razu, jak przyciskiem \"Rozpocznij Działanie "
                        "Serwera\".")},
        {QStringLiteral("synch"), QStringLiteral("Wraz z --start włącz okresową synchronizację.")},
        {QStringLiteral("bez-okna"),
         QStringLiteral("Wraz z --start: bez okna, każda linia dziennika na standardowe "
                        "wyjście; %1 powiadamia klientów i kończy.")
             .arg(QLatin1String(prosbyZakonczenia))},
        {QStringLiteral("dozwolone"),
         QStringLiteral("Przyjmuj połączenia tylko z tych sieci IPv4 lub adresów, po przecinku "
                        "(np. 10.0.0.0/8,192.168.1.7); inne są od razu zamykane. Domyślnie "
                        "wszystkie."),
         QStringLiteral("LISTA")},
        {QStringLiteral("maks-z-adresu"),
         QStringLiteral("Najwyżej N połączeń z jednego adresu naraz (%1-%2); dalsze są od "
                        "razu zamykane. Domyślnie bez ograniczenia.")
             .arg(polaczenZAdresu.od)
             .arg(polaczenZAdresu.doWartosci),
         QStringLiteral("N")},
        {QStringLiteral("miejsc-z-adresu"),
         QStringLiteral("Najwyżej N z %1 uśrednianych odpowiedzi wymiany z jednego adresu "
                        "(%2); dalsze odpowiedzi z tego adresu dostają czas uzgodniony, ale "
                        "nie są uśredniane. Domyślnie 1, a z adresów pętli zwrotnej "
                        "(127.0.0.0/8) bez ograniczenia; klasa za jednym adresem NAT potrzebuje "
                        "tylu, ile ma maszyn.")
             .arg(pojemnoscWymiany - 1)
             .arg(opisZakresu(miejscZAdresu)),
         QStringLiteral("N")},
        {QStringLiteral("zegar"),
         QStringLiteral("Skąd zegar serwera: \"wlasny\" (domyślnie: odczytany raz przy starcie, "
                        "potem odmierzany przez serwer) albo \"systemowy\": podąża za zegarem "
                        "systemowym, który ustawia usługa czasu tej maszyny (różnice poniżej "
                        "sekundy płynnie, najwyżej %1 ms na sekundę; większe od razu).")
             .arg(double(dociaganieUsNaSekunde) / 1000),
         QStringLiteral("ZRODLO")},
        {QStringLiteral("podsumowanie"),
         QStringLiteral("Wraz z --bez-okna: na standardowe wyjście i do dziennika jedna linia "
                        "na wymianę, a pełne linie tylko o tym, co poszło źle (bez linii o "
                        "zwykłych połączeniach i rozłączeniach).")},
        {QStringLiteral("dziennik"),
         QStringLiteral("Dopisuj każdą linię obu dzienników do PLIKU (z datą i nazwą okna); "
                        "po przeniesieniu lub usunięciu pliku%1 otwórz go na nowo.")
             .arg(QLatin1String(prosbaRotacji)),
         QStringLiteral("PLIK")},
        {QStringLiteral("ustawienia"),
         QStringLiteral("Czytaj też opcje z PLIKU: linia \"nazwa=wartość\" na opcję (np. "
                        "port=%1, podsumowanie=tak); opcja nie może być i tam, i w wierszu "
                        "polecenia.")
             .arg(zakresy::port.domyslnie),
         QStringLiteral("PLIK")},
        {QStringLiteral("usluga"),
         QStringLiteral("Działaj jako usługa menedżera usług, który uruchomił program (jak "
                        "--bez-okna --start --synch): w Windows usługa %1, w Linuksie jednostka "
                        "systemd typu notify; zatrzymanie usługi powiadamia klientów.")
             .arg(QLatin1String(nazwaUslugiSerwera))},
    };
}

// What an option needs of the others, and what the values must be beyond
// their ranges.
bool zalezne(const QCommandLineParser &parser, Opcje &opcje, QString &tekst)
{
    for (const char *wymaga : {"synch", "bez-okna"})
        if (parser.isSet(QLatin1String(wymaga)) && !opcje.start) {
            tekst = QStringLiteral("--%1 wymaga --start").arg(QLatin1String(wymaga));
            return false;
        }
    if (opcje.podsumowanie && !opcje.bezOkna) {
        tekst = QStringLiteral("--podsumowanie wymaga --bez-okna");
        return false;
    }
    if (parser.isSet(QStringLiteral("dziennik")) && opcje.dziennik.isEmpty()) {
        tekst = QStringLiteral("--dziennik wymaga nazwy pliku");
        return false;
    }
    const QString zegar = parser.value(QStringLiteral("zegar"));
    if (parser.isSet(QStringLiteral("zegar")) && zegar != QLatin1String("systemowy")
        && zegar != QLatin1String("wlasny")) {
        tekst = QStringLiteral("%1 przyjmuje \"wlasny\" albo \"systemowy\", nie \"%2\"")
                    .arg(wierszPolecen::nazwaOpcji(QStringLiteral("zegar")),
                         wierszPolecen::pokaz(zegar));
        return false;
    }
    opcje.zegarSystemowy = zegar == QLatin1String("systemowy");
    return true;
}

} // namespace

Polecenie czytajOpcje(const QStringList &argumenty, Opcje &opcje, QString &tekst)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serwer synchronizacji czasu metodą algorytmu z Berkeley. Bez opcji "
                       "otwiera okno i czeka na operatora."));
    QString qt;
    for (const auto &[nazwa, zWartoscia] : opcjeQt)
        qt += QStringLiteral("  -%1%2\n")
                  .arg(nazwa, zWartoscia ? QStringLiteral(" WARTOŚĆ") : QString());
    const Polecenie ogolne = wierszPolecen::czytaj(parser, bezOpcjiQt(argumenty, opcje.platforma),
                                                   opcjeSerwera(), tekst, qt);
    if (ogolne != Polecenie::Uruchom)
        return ogolne;
    std::optional<int> maksZAdresu;
    using wierszPolecen::calkowita;
    if (!calkowita(parser, QStringLiteral("port"), zakresy::port, opcje.port, tekst)
        || !calkowita(parser, QStringLiteral("okres"), zakresy::okres, opcje.okres, tekst)
        || !calkowita(parser, QStringLiteral("prog"), zakresy::prog, opcje.prog, tekst)
        || !calkowita(parser, QStringLiteral("maks-z-adresu"), polaczenZAdresu, maksZAdresu, tekst)
        || !calkowita(parser, QStringLiteral("miejsc-z-adresu"), miejscZAdresu, opcje.miejscZAdresu,
                      tekst))
        return Polecenie::Blad;
    opcje.dostep.ustawMaksZAdresu(maksZAdresu.value_or(0));
    if (parser.isSet(QStringLiteral("dozwolone"))
        && !opcje.dostep.ustawSieci(parser.value(QStringLiteral("dozwolone")), tekst)) {
        tekst
            = wierszPolecen::nazwaOpcji(QStringLiteral("dozwolone")) + QStringLiteral(": ") + tekst;
        return Polecenie::Blad;
    }
    // A service starts the server and keeps it in step without a window.
    opcje.usluga = parser.isSet(QStringLiteral("usluga"));
    opcje.start = opcje.usluga || parser.isSet(QStringLiteral("start"));
    opcje.synch = opcje.usluga || parser.isSet(QStringLiteral("synch"));
    opcje.bezOkna = opcje.usluga || parser.isSet(QStringLiteral("bez-okna"));
    opcje.dziennik = parser.value(QStringLiteral("dziennik"));
    opcje.podsumowanie = parser.isSet(QStringLiteral("podsumowanie"));
    return zalezne(parser, opcje, tekst) ? Polecenie::Uruchom : Polecenie::Blad;
}
