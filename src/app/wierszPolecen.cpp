#include "wierszPolecen.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>

namespace wierszPolecen {

Ogolne sprawdz(const QCommandLineParser &parser, const QCommandLineOption &pomoc,
               const QCommandLineOption &wersja, QString &tekst)
{
    if (parser.isSet(pomoc) || parser.isSet(QStringLiteral("help-all"))) {
        // Read before the application object exists, the parser does not
        // know the program's name.
        tekst = parser.helpText().replace(QLatin1String("<executable_name>"),
                                          QCoreApplication::applicationName());
        return Ogolne::Pomoc;
    }
    if (parser.isSet(wersja)) {
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

QString opisZakresu(qint64 od, qint64 doWartosci, qint64 domyslnie)
{
    return QStringLiteral("%1-%2, domyślnie %3").arg(od).arg(doWartosci).arg(domyslnie);
}

bool liczbaWprost(const QString &wartosc, bool ulamek)
{
    static const QRegularExpression calkowita(QStringLiteral("^-?[0-9]+$"));
    static const QRegularExpression ulamkowa(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?$"));
    return (ulamek ? ulamkowa : calkowita).match(wartosc).hasMatch();
}

} // namespace wierszPolecen
