#include "wierszPolecen.h"

#include <QCoreApplication>

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

} // namespace wierszPolecen
