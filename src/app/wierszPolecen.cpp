#include "wierszPolecen.h"

#include "tlumaczenia.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>

namespace wierszPolecen {

namespace {

// The options every command line has, described in Polish.
struct OpcjeOgolne
{
    QCommandLineOption pomoc;
    QCommandLineOption wersja;
    QString opcjeQt;
};

OpcjeOgolne dodajOgolne(QCommandLineParser &parser, const QString &opcjeQt)
{
    OpcjeOgolne ogolne {
        {{QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")},
         QStringLiteral("Pokazuje tę pomoc.")},
        {{QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Pokazuje wersję.")},
        opcjeQt};
    parser.addOption(ogolne.pomoc);
    if (!opcjeQt.isEmpty())
        parser.addOption({QStringLiteral("help-all"),
                          QStringLiteral("Pokazuje pomoc razem z opcjami Qt, które program "
                                         "przekazuje oknu.")});
    parser.addOption(ogolne.wersja);
    return ogolne;
}

// The parser's help, Qt's own words in them in Polish. Read before the
// application object exists, the parser does not know the program's name.
QString pomoc(const QCommandLineParser &parser)
{
    const auto pl = [](const char *tekst) {
        return tlumaczenia::przetlumacz(QString(), "QCommandLineParser", tekst);
    };
    QString tekst = parser.helpText();
    tekst.replace(QLatin1String("<executable_name>"), QCoreApplication::applicationName());
    tekst.replace(QLatin1String("Usage: "), pl("Usage: %1").arg(QString()));
    tekst.replace(QLatin1String("[options]"), pl("[options]"));
    for (const char *naglowek : {"Options:", "Arguments:"})
        tekst.replace(QLatin1Char('\n') + QLatin1String(naglowek) + QLatin1Char('\n'),
                      QLatin1Char('\n') + pl(naglowek) + QLatin1Char('\n'));
    return tekst;
}

// Help and version asked for, a stray argument, an option given twice.
Ogolne sprawdz(const QCommandLineParser &parser, const OpcjeOgolne &ogolne, QString &tekst)
{
    if (parser.isSet(ogolne.pomoc)) {
        tekst = pomoc(parser);
        return Ogolne::Pomoc;
    }
    if (!ogolne.opcjeQt.isEmpty() && parser.isSet(QStringLiteral("help-all"))) {
        tekst
            = pomoc(parser) + QStringLiteral("\nOpcje Qt (przekazywane oknu):\n") + ogolne.opcjeQt;
        return Ogolne::Pomoc;
    }
    if (parser.isSet(ogolne.wersja)) {
        tekst = QCoreApplication::applicationName() + QLatin1Char(' ')
            + QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return Ogolne::Wersja;
    }
    if (!parser.positionalArguments().isEmpty()) {
        tekst = QStringLiteral("nieznany argument: %1").arg(parser.positionalArguments().first());
        return Ogolne::Blad;
    }
    // Given twice, which one was meant? Where options are put together (a
    // service's settings), an earlier one must not be overridden unseen;
    // under one name or under two of the same option (-p and --port).
    for (const QString &nazwa : parser.optionNames())
        if (parser.values(nazwa).size() > 1 || parser.optionNames().count(nazwa) > 1) {
            tekst = QStringLiteral("opcja %1%2 podana więcej niż raz")
                        .arg(nazwa.size() > 1 ? QStringLiteral("--") : QStringLiteral("-"), nazwa);
            return Ogolne::Blad;
        }
    return Ogolne::Dalej;
}

// Why the arguments could not be parsed: an unknown option, one without its
// value, a value given to one that takes none.
QString bladParsowania(const QCommandLineParser &parser, const QStringList &argumenty,
                       const QList<QCommandLineOption> &opcje)
{
    const auto pelna = [](const QString &nazwa) {
        return (nazwa.size() > 1 ? QStringLiteral("--") : QStringLiteral("-")) + nazwa;
    };
    if (!parser.unknownOptionNames().isEmpty())
        return QStringLiteral("nieznana opcja: %1 (zob. --help)")
            .arg(pelna(parser.unknownOptionNames().constFirst()));
    for (qsizetype i = 1; i < argumenty.size(); ++i) {
        const QString &argument = argumenty[i];
        if (!argument.startsWith(QLatin1Char('-')))
            continue;
        const QString nazwa = argument.section(QLatin1Char('='), 0, 0)
                                  .remove(QRegularExpression(QStringLiteral("^--?")));
        const auto opcja = std::find_if(opcje.cbegin(), opcje.cend(), [&nazwa](const auto &o) {
            return o.names().contains(nazwa);
        });
        if (opcja == opcje.cend())
            continue;
        const bool zWartoscia = !opcja->valueName().isEmpty();
        if (zWartoscia && !argument.contains(QLatin1Char('=')) && i + 1 == argumenty.size())
            return QStringLiteral("opcja %1 wymaga wartości (zob. --help)").arg(pelna(nazwa));
        if (!zWartoscia && argument.contains(QLatin1Char('=')))
            return QStringLiteral("opcja %1 nie przyjmuje wartości (zob. --help)")
                .arg(pelna(nazwa));
        if (zWartoscia && !argument.contains(QLatin1Char('=')))
            ++i;
    }
    return QStringLiteral("błędne wywołanie (zob. --help)");
}

// The options of the file named by --ustawienia, added to the arguments.
bool dolaczUstawienia(QStringList &argumenty, const QList<QCommandLineOption> &opcje, QString &blad)
{
    const QString klucz = QStringLiteral("--ustawienia");
    QString sciezka;
    for (qsizetype i = 1; i < argumenty.size(); ++i) {
        if (argumenty[i] == klucz && i + 1 < argumenty.size())
            sciezka = argumenty[i + 1];
        else if (argumenty[i].startsWith(klucz + QLatin1Char('=')))
            sciezka = argumenty[i].mid(klucz.size() + 1);
    }
    if (sciezka.isEmpty())
        return true;
    QFile plik(sciezka);
    if (!plik.open(QIODevice::ReadOnly | QIODevice::Text)) {
        blad = QStringLiteral("--ustawienia: nie można odczytać %1: %2")
                   .arg(sciezka, plik.errorString());
        return false;
    }
    // An editor on Windows may begin the file with a byte order mark.
    const QStringList linie
        = QString::fromUtf8(plik.readAll()).remove(QChar(0xfeff)).split(QLatin1Char('\n'));
    for (qsizetype nr = 0; nr < linie.size(); ++nr) {
        const QString linia = linie[nr].trimmed();
        if (linia.isEmpty() || linia.startsWith(QLatin1Char('#'))
            || linia.startsWith(QLatin1Char(';')))
            continue;
        const QString nazwa = linia.section(QLatin1Char('='), 0, 0).trimmed();
        const QString wartosc = linia.section(QLatin1Char('='), 1).trimmed();
        const auto opcja = std::find_if(opcje.cbegin(), opcje.cend(), [&nazwa](const auto &o) {
            return o.names().constLast() == nazwa;
        });
        const auto gdzie = QStringLiteral("--ustawienia: %1, linia %2: ").arg(sciezka).arg(nr + 1);
        if (!linia.contains(QLatin1Char('=')) || opcja == opcje.cend()
            || nazwa == QLatin1String("ustawienia")) {
            blad = gdzie
                + QStringLiteral("\"%1\" nie jest ustawieniem (klucz=wartość, klucz to "
                                 "nazwa opcji)")
                      .arg(linia);
            return false;
        }
        if (!opcja->valueName().isEmpty()) {
            argumenty << QStringLiteral("--") + nazwa << wartosc;
        } else if (wartosc == QLatin1String("tak")) {
            argumenty << QStringLiteral("--") + nazwa;
        } else if (wartosc != QLatin1String("nie")) {
            blad = gdzie + QStringLiteral("%1 przyjmuje \"tak\" albo \"nie\"").arg(nazwa);
            return false;
        }
    }
    return true;
}

} // namespace

Ogolne czytaj(QCommandLineParser &parser, QStringList argumenty,
              const QList<QCommandLineOption> &wlasne, QString &tekst, const QString &opcjeQt)
{
    const OpcjeOgolne ogolne = dodajOgolne(parser, opcjeQt);
    parser.addOptions(wlasne);
    if (!dolaczUstawienia(argumenty, wlasne, tekst))
        return Ogolne::Blad;
    if (!parser.parse(argumenty)) {
        tekst = bladParsowania(parser, argumenty, wlasne);
        return Ogolne::Blad;
    }
    return sprawdz(parser, ogolne, tekst);
}

QString opisZakresu(const Zakres &zakres)
{
    return QStringLiteral("%1-%2, domyślnie %3")
        .arg(zakres.od)
        .arg(zakres.doWartosci)
        .arg(zakres.domyslnie);
}

bool liczbaWprost(const QString &wartosc, bool ulamek)
{
    static const QRegularExpression calkowita(QStringLiteral("^-?[0-9]+$"));
    static const QRegularExpression ulamkowa(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?$"));
    return (ulamek ? ulamkowa : calkowita).match(wartosc).hasMatch();
}

} // namespace wierszPolecen
