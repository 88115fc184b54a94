#ifndef WIERSZPOLECEN_H
#define WIERSZPOLECEN_H

#include <QCommandLineParser>
#include <QString>

// What the command lines of both programs answer alike, once parsed.
namespace wierszPolecen {

enum class Ogolne { Dalej, Pomoc, Wersja, Blad };

// Help and version asked for, a stray argument, an option given twice: what
// to do before the program's own options are read, with the text to print.
Ogolne sprawdz(const QCommandLineParser &parser, const QCommandLineOption &pomoc,
               const QCommandLineOption &wersja, QString &tekst);

// A whole number from `od` to `doWartosci`, or an error naming the option;
// `wynik` is left as it is when the option is not given.
template<typename T>
bool calkowita(const QCommandLineParser &parser, const QString &nazwa, qint64 od, qint64 doWartosci,
               T &wynik, QString &tekst)
{
    if (!parser.isSet(nazwa))
        return true;
    bool ok = false;
    const qint64 wartosc = parser.value(nazwa).toLongLong(&ok);
    if (!ok || wartosc < od || wartosc > doWartosci) {
        tekst = QStringLiteral("--%1 przyjmuje liczbę całkowitą od %2 do %3, nie \"%4\"")
                    .arg(nazwa)
                    .arg(od)
                    .arg(doWartosci)
                    .arg(parser.value(nazwa));
        return false;
    }
    wynik = T(wartosc);
    return true;
}

} // namespace wierszPolecen

#endif // WIERSZPOLECEN_H
