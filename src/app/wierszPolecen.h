#ifndef WIERSZPOLECEN_H
#define WIERSZPOLECEN_H

#include <QCommandLineParser>
#include <QString>

// What the command lines of both programs answer alike, once parsed.
namespace wierszPolecen {

enum class Ogolne { Dalej, Pomoc, Wersja, Blad };

// The options every command line has, described in Polish: help and
// version, and with `opcjeQt` (the toolkit's options the program passes on,
// one a line) a fuller help that lists them too.
struct OpcjeOgolne
{
    QCommandLineOption pomoc;
    QCommandLineOption wersja;
    QString opcjeQt;
};
OpcjeOgolne dodajOgolne(QCommandLineParser &parser, const QString &opcjeQt = {});

// Help and version asked for, a stray argument, an option given twice: what
// to do before the program's own options are read, with the text to print.
Ogolne sprawdz(const QCommandLineParser &parser, const OpcjeOgolne &ogolne, QString &tekst);

// Why the arguments could not be parsed, in the program's words: an unknown
// option, one without its value, a value given to one that takes none.
QString bladParsowania(const QCommandLineParser &parser, const QStringList &argumenty,
                       const QList<QCommandLineOption> &opcje);

// The settings of a file that an administrator edits, named by
// "--ustawienia PLIK" among the arguments, added to them: a line
// "klucz=wartość" each, the key an option's long name ("port=4466"; "tak"
// gives an option without a value, "nie" leaves it out); blank lines and
// those that begin with # or ; are comments. An option both there and on
// the command line is given twice. False, with why, when the file cannot be
// read, a line has no such form, or a key is no option.
bool dolaczUstawienia(QStringList &argumenty, const QList<QCommandLineOption> &opcje,
                      QString &blad);

// "1-65535, domyślnie 4466"
QString opisZakresu(qint64 od, qint64 doWartosci, qint64 domyslnie);

// Whether a value is a number written out plainly: digits, a minus before
// them, and with `ulamek` a fraction after a point; no sign of plus, no
// blanks, no exponent, so that what a typo made is never read as meant.
bool liczbaWprost(const QString &wartosc, bool ulamek = false);

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
    if (!ok || !liczbaWprost(parser.value(nazwa)) || wartosc < od || wartosc > doWartosci) {
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
