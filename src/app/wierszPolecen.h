#ifndef WIERSZPOLECEN_H
#define WIERSZPOLECEN_H

#include "sync/zakresy.h"

#include <QCommandLineParser>
#include <QString>

// What the command lines of both programs answer alike, once parsed.
namespace wierszPolecen {

// What a program does with its command line, read: runs, or prints its help
// or version (and ends with 0), or a mistake (on standard error, exit 2).
enum class Polecenie { Uruchom, Pomoc, Wersja, Blad };

// Reads the arguments into `parser`: help and version, in Polish, first;
// then the program's own options, `wlasne`; with `opcjeQt` (the toolkit's
// options the program passes on, one a line) a fuller help that lists them
// too. The settings of a file an administrator edits, named by
// "--ustawienia PLIK", are added to the arguments: a line "klucz=wartość"
// each, the key an option's long name ("port=4466"; "tak" gives an option
// without a value, "nie" leaves it out); blank lines and those that begin
// with # or ; are comments, and an option both there and on the command
// line is given twice. What to do before the program reads its own options,
// with the text to print: help or version asked for, or a mistake (the file
// unreadable or not of that form, an unknown option, one without its value,
// a stray argument, an option given twice), said in the program's words.
Polecenie czytaj(QCommandLineParser &parser, QStringList argumenty,
                 const QList<QCommandLineOption> &wlasne, QString &tekst,
                 const QString &opcjeQt = {});

// "1-65535, domyślnie 4466"
QString opisZakresu(const Zakres &zakres);

// An option as an error about its value names it: "--port", or, read from
// a settings file, "--ustawienia PLIK, linia 3: port".
QString nazwaOpcji(const QString &nazwa);
// A value as an error shows it: control characters and bytes beyond ASCII
// escaped, and no more than a few dozen.
QString pokaz(const QString &wartosc);

// Whether a value is a number written out plainly: digits, a minus before
// them, and with `ulamek` a fraction after a point or a comma; no sign of plus, no
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
        tekst = QStringLiteral("%1 przyjmuje liczbę całkowitą od %2 do %3, nie \"%4\"")
                    .arg(nazwaOpcji(nazwa))
                    .arg(od)
                    .arg(doWartosci)
                    .arg(pokaz(parser.value(nazwa)));
        return false;
    }
    wynik = T(wartosc);
    return true;
}

template<typename T>
bool calkowita(const QCommandLineParser &parser, const QString &nazwa, const Zakres &zakres,
               T &wynik, QString &tekst)
{
    return calkowita(parser, nazwa, zakres.od, zakres.doWartosci, wynik, tekst);
}

} // namespace wierszPolecen

#endif // WIERSZPOLECEN_H
