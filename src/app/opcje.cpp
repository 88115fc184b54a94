#include "opcje.h"

#include "sync/zakresy.h"
#include "wierszPolecen.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

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

// "1-65535, domyślnie 4466"
QString zakres(const Zakres &z)
{
    return QStringLiteral("%1-%2, domyślnie %3").arg(z.od).arg(z.doWartosci).arg(z.domyslnie);
}

// A whole number from `od` to `doWartosci`, or an error naming the option.
bool liczba(const QCommandLineParser &parser, const QString &nazwa, const Zakres &z,
            std::optional<int> &wynik, QString &tekst)
{
    return wierszPolecen::calkowita(parser, nazwa, z.od, z.doWartosci, wynik, tekst);
}

} // namespace

Polecenie czytajOpcje(const QStringList &argumenty, Opcje &opcje, QString &tekst)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serwer synchronizacji czasu metodą algorytmu z Berkeley. Bez opcji "
                       "otwiera okno i czeka na operatora."));
    const QCommandLineOption pomoc = parser.addHelpOption();
    const QCommandLineOption wersja = parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("port"), QStringLiteral("Port serwera (%1).").arg(zakres(zakresy::port)),
         QStringLiteral("N")},
        {QStringLiteral("okres"),
         QStringLiteral("Okres synchronizacji w sekundach (%1).").arg(zakres(zakresy::okres)),
         QStringLiteral("S")},
        {QStringLiteral("prog"),
         QStringLiteral("Czas odrzucenia w sekundach (%1).").arg(zakres(zakresy::prog)),
         QStringLiteral("S")},
        {QStringLiteral("start"),
         QStringLiteral("Uruchom serwer od razu, jak przyciskiem \"Rozpocznij Działanie "
                        "Serwera\".")},
        {QStringLiteral("synch"), QStringLiteral("Wraz z --start włącz okresową synchronizację.")},
        {QStringLiteral("bez-okna"),
         QStringLiteral("Wraz z --start: bez okna, każda linia dziennika na standardowe "
                        "wyjście; SIGTERM lub SIGINT powiadamia klientów i kończy.")},
        {QStringLiteral("dozwolone"),
         QStringLiteral("Przyjmuj połączenia tylko z tych sieci IPv4 lub adresów, po przecinku "
                        "(np. 10.0.0.0/8,192.168.1.7); inne są od razu zamykane. Domyślnie "
                        "wszystkie."),
         QStringLiteral("LISTA")},
        {QStringLiteral("maks-z-adresu"),
         QStringLiteral("Najwyżej N połączeń z jednego adresu naraz; dalsze są od razu "
                        "zamykane. Domyślnie bez ograniczenia."),
         QStringLiteral("N")},
        {QStringLiteral("podsumowanie"),
         QStringLiteral("Wraz z --bez-okna: na standardowe wyjście i do dziennika jedna linia "
                        "na wymianę, a pełne linie tylko o tym, co poszło źle (bez linii o "
                        "zwykłych połączeniach i rozłączeniach).")},
        {QStringLiteral("dziennik"),
         QStringLiteral("Dopisuj każdą linię obu dzienników do PLIKU (z datą i nazwą okna); "
                        "po przeniesieniu lub usunięciu pliku albo SIGHUP otwórz go na nowo."),
         QStringLiteral("PLIK")},
    });

    if (!parser.parse(bezOpcjiQt(argumenty, opcje.platforma))) {
        const QStringList nieznane = parser.unknownOptionNames();
        tekst = nieznane.isEmpty()
            ? parser.errorText()
            : QStringLiteral("nieznana opcja: %1%2 (zob. --help)")
                  .arg(nieznane.constFirst().size() > 1 ? QStringLiteral("--")
                                                        : QStringLiteral("-"),
                       nieznane.constFirst());
        return Polecenie::Blad;
    }
    switch (wierszPolecen::sprawdz(parser, pomoc, wersja, tekst)) {
    case wierszPolecen::Ogolne::Pomoc:
        return Polecenie::Pomoc;
    case wierszPolecen::Ogolne::Wersja:
        return Polecenie::Wersja;
    case wierszPolecen::Ogolne::Blad:
        return Polecenie::Blad;
    case wierszPolecen::Ogolne::Dalej:
        break;
    }
    std::optional<int> maksZAdresu;
    if (!liczba(parser, QStringLiteral("port"), zakresy::port, opcje.port, tekst)
        || !liczba(parser, QStringLiteral("okres"), zakresy::okres, opcje.okres, tekst)
        || !liczba(parser, QStringLiteral("prog"), zakresy::prog, opcje.prog, tekst)
        || !wierszPolecen::calkowita(parser, QStringLiteral("maks-z-adresu"), 1, 1'000'000,
                                     maksZAdresu, tekst))
        return Polecenie::Blad;
    opcje.dostep.ustawMaksZAdresu(maksZAdresu.value_or(0));
    if (parser.isSet(QStringLiteral("dozwolone"))
        && !opcje.dostep.ustawSieci(parser.value(QStringLiteral("dozwolone")), tekst)) {
        tekst = QStringLiteral("--dozwolone: ") + tekst;
        return Polecenie::Blad;
    }
    opcje.start = parser.isSet(QStringLiteral("start"));
    opcje.synch = parser.isSet(QStringLiteral("synch"));
    opcje.bezOkna = parser.isSet(QStringLiteral("bez-okna"));
    opcje.dziennik = parser.value(QStringLiteral("dziennik"));
    opcje.podsumowanie = parser.isSet(QStringLiteral("podsumowanie"));
    for (const char *wymaga : {"synch", "bez-okna"})
        if (parser.isSet(QLatin1String(wymaga)) && !opcje.start) {
            tekst = QStringLiteral("--%1 wymaga --start").arg(QLatin1String(wymaga));
            return Polecenie::Blad;
        }
    if (opcje.podsumowanie && !opcje.bezOkna) {
        tekst = QStringLiteral("--podsumowanie wymaga --bez-okna");
        return Polecenie::Blad;
    }
    if (parser.isSet(QStringLiteral("dziennik")) && opcje.dziennik.isEmpty()) {
        tekst = QStringLiteral("--dziennik wymaga nazwy pliku");
        return Polecenie::Blad;
    }
    return Polecenie::Uruchom;
}
