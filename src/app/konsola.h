#ifndef KONSOLA_H
#define KONSOLA_H

#include <QByteArray>
#include <QString>

#include <cstdio>

// A line to standard output or standard error, written whole: after a
// prefix (the journal's level, or nothing), the text and its end. In a
// Windows console it goes as wide characters, which show Polish letters
// whatever the console's code page; elsewhere as UTF-8 in one write, so that
// no character is cut between two. False when it could not be written (the
// reader gone).
bool wypiszLinie(std::FILE *strumien, const QString &linia, const QByteArray &przedrostek = {});

// From now on, the lines meant for standard output and standard error go to
// `plik`: a program run as a Windows service has neither.
void wypisujDo(std::FILE *plik);

#endif // KONSOLA_H
