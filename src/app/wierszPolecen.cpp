#include "wierszPolecen.h"

#include "pokaz.h"
#include "tlumaczenia.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace wierszPolecen {

namespace {

// Settings an administrator writes are a few lines; a larger file is not
// one (a device, a log named by mistake), and is not read.
constexpr qint64 najwiekszeUstawienia = 64 * 1024;

// Where each option read from a settings file came from, "--ustawienia
// PLIK, linia N", for the errors about its value.
QHash<QString, QString> zrodla;

// Whether a line of a settings file is text: UTF-8 with no control
// character but a tab.
bool tekstowa(const QByteArray &linia)
{
    for (const char c : linia)
        if ((uchar(c) < 0x20 && c != '\t') || uchar(c) == 0x7f)
            return false;
    return QString::fromUtf8(linia).toUtf8() == linia;
}

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

// The parser's help, Qt's own words in them in Polish. Its usage line names
// the program by its name, not by the path it was started by (nor, before
// the application object exists, by a placeholder).
QString pomoc(const QCommandLineParser &parser)
{
    const auto pl = [](const char *tekst) {
        return tlumaczenia::przetlumacz(QString(), "QCommandLineParser", tekst);
    };
    QString tekst = parser.helpText();
    const qsizetype koniecUzycia = tekst.indexOf(QLatin1Char('\n'));
    tekst.replace(0, koniecUzycia,
                  pl("Usage: %1").arg(QCoreApplication::applicationName()) + QLatin1Char(' ')
                      + pl("[options]"));
    for (const char *naglowek : {"Options:", "Arguments:"})
        tekst.replace(QLatin1Char('\n') + QLatin1String(naglowek) + QLatin1Char('\n'),
                      QLatin1Char('\n') + pl(naglowek) + QLatin1Char('\n'));
    return tekst;
}

// Help and version asked for, a stray argument, an option given twice.
Polecenie sprawdz(const QCommandLineParser &parser, const OpcjeOgolne &ogolne, QString &tekst)
{
    if (parser.isSet(ogolne.pomoc)) {
        tekst = pomoc(parser);
        return Polecenie::Pomoc;
    }
    if (!ogolne.opcjeQt.isEmpty() && parser.isSet(QStringLiteral("help-all"))) {
        tekst
            = pomoc(parser) + QStringLiteral("\nOpcje Qt (przekazywane oknu):\n") + ogolne.opcjeQt;
        return Polecenie::Pomoc;
    }
    if (parser.isSet(ogolne.wersja)) {
        tekst = QCoreApplication::applicationName() + QLatin1Char(' ')
            + QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return Polecenie::Wersja;
    }
    if (!parser.positionalArguments().isEmpty()) {
        tekst = QStringLiteral("nieznany argument: %1")
                    .arg(pokaz(parser.positionalArguments().first()));
        return Polecenie::Blad;
    }
    // Given twice, which one was meant? Where options are put together (a
    // service's settings), an earlier one must not be overridden unseen;
    // under one name or under two of the same option (-p and --port).
    for (const QString &nazwa : parser.optionNames())
        if (parser.values(nazwa).size() > 1 || parser.optionNames().count(nazwa) > 1) {
            tekst = QStringLiteral("opcja %1%2 podana więcej niż raz")
                        .arg(nazwa.size() > 1 ? QStringLiteral("--") : QStringLiteral("-"), nazwa);
            return Polecenie::Blad;
        }
    return Polecenie::Uruchom;
}

// Why the arguments could not be parsed: an unknown option, one without its
// value, a value given to one that takes none.
QString bladParsowania(const QCommandLineParser &parser, const QStringList &argumenty,
                       const QList<QCommandLineOption> &opcje)
{
    // A name the user typed may hold anything, shown safely.
    const auto pelna = [](const QString &nazwa) {
        return (nazwa.size() > 1 ? QStringLiteral("--") : QStringLiteral("-")) + pokaz(nazwa);
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
// Only a regular file of a few kilobytes is read, and what is wrong with it
// is named by its line, with its bytes shown safely.
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
    const QString plikU = QStringLiteral("--ustawienia %1").arg(sciezka);
    // A FIFO would hold the start for ever, a device never end.
    const QFileInfo opis(sciezka);
    if (opis.exists() && !opis.isFile()) {
        blad = plikU + QStringLiteral(": to nie zwykły plik");
        return false;
    }
    QFile plik(sciezka);
    if (!plik.open(QIODevice::ReadOnly)) {
        blad = QStringLiteral("%1: nie można odczytać: %2").arg(plikU, plik.errorString());
        return false;
    }
    QByteArray dane = plik.read(najwiekszeUstawienia + 1);
    if (dane.size() > najwiekszeUstawienia) {
        blad = plikU
            + QStringLiteral(": za duży na plik ustawień (najwyżej %1 bajtów)")
                  .arg(najwiekszeUstawienia);
        return false;
    }
    // An editor on Windows may begin the file with a byte order mark.
    if (dane.startsWith("\xef\xbb\xbf"))
        dane.remove(0, 3);
    const QList<QByteArray> linie = dane.split('\n');
    for (qsizetype nr = 0; nr < linie.size(); ++nr) {
        QByteArray surowa = linie[nr];
        if (surowa.endsWith('\r'))
            surowa.chop(1);
        const auto gdzie = QStringLiteral("%1, linia %2").arg(plikU).arg(nr + 1);
        if (!tekstowa(surowa)) {
            blad = gdzie
                + QStringLiteral(": nie tekst UTF-8 (bajty \"%1\")").arg(pokazBajty(surowa));
            return false;
        }
        const QString wiersz = QString::fromUtf8(surowa).trimmed();
        if (wiersz.isEmpty() || wiersz.startsWith(QLatin1Char('#'))
            || wiersz.startsWith(QLatin1Char(';')))
            continue;
        const QString nazwa = wiersz.section(QLatin1Char('='), 0, 0).trimmed();
        const QString wartosc = wiersz.section(QLatin1Char('='), 1).trimmed();
        const auto opcja = std::find_if(opcje.cbegin(), opcje.cend(), [&nazwa](const auto &o) {
            return o.names().constLast() == nazwa;
        });
        if (!wiersz.contains(QLatin1Char('=')) || opcja == opcje.cend()
            || nazwa == QLatin1String("ustawienia")) {
            blad = gdzie
                + QStringLiteral(": \"%1\" nie jest ustawieniem (klucz=wartość, klucz to nazwa "
                                 "opcji)")
                      .arg(pokazBajty(wiersz.toUtf8()));
            return false;
        }
        zrodla.insert(nazwa, gdzie);
        if (!opcja->valueName().isEmpty()) {
            argumenty << QStringLiteral("--") + nazwa << wartosc;
        } else if (wartosc == QLatin1String("tak")) {
            argumenty << QStringLiteral("--") + nazwa;
        } else if (wartosc != QLatin1String("nie")) {
            blad = gdzie + QStringLiteral(": %1 przyjmuje \"tak\" albo \"nie\"").arg(nazwa);
            return false;
        }
    }
    return true;
}

} // namespace

Polecenie czytaj(QCommandLineParser &parser, QStringList argumenty,
                 const QList<QCommandLineOption> &wlasne, QString &tekst, const QString &opcjeQt)
{
    const OpcjeOgolne ogolne = dodajOgolne(parser, opcjeQt);
    parser.addOptions(wlasne);
    zrodla.clear();
    if (!dolaczUstawienia(argumenty, wlasne, tekst))
        return Polecenie::Blad;
    if (!parser.parse(argumenty)) {
        tekst = bladParsowania(parser, argumenty, wlasne);
        return Polecenie::Blad;
    }
    return sprawdz(parser, ogolne, tekst);
}

QString nazwaOpcji(const QString &nazwa)
{
    const auto zrodlo = zrodla.constFind(nazwa);
    return zrodlo == zrodla.cend() ? QStringLiteral("--") + nazwa
                                   : *zrodlo + QStringLiteral(": ") + nazwa;
}

QString pokaz(const QString &wartosc)
{
    return pokazBajty(wartosc.toUtf8());
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
    static const QRegularExpression ulamkowa(QStringLiteral("^-?[0-9]+([.,][0-9]+)?$"));
    return (ulamek ? ulamkowa : calkowita).match(wartosc).hasMatch();
}

} // namespace wierszPolecen
