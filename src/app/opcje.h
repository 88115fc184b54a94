#ifndef OPCJE_H
#define OPCJE_H

#include "network/dostep.h"

#include <QString>
#include <QStringList>

#include <optional>

// The program's own command-line options. With none, the window opens as it
// always has and waits for the operator.
struct Opcje
{
    std::optional<int> port; // the spin boxes, when given
    std::optional<int> okres;
    std::optional<int> prog;
    bool start = false; // press "Rozpocznij" once the window is up
    bool synch = false; // then switch periodic synchronization on
    bool bezOkna = false; // no window: lines to standard output, ends on SIGTERM
    QString dziennik; // a log file to append every line to
    Dostep dostep; // who may connect: by default everyone, with no cap
};

enum class Polecenie {
    Uruchom,
    Pomoc, // print `tekst` and end with 0
    Wersja, // the same
    Blad, // print `tekst` on standard error and end with 2
    NieznanaOpcja, // the same, unless the toolkit takes the option as its own
};

// Reads the arguments (the program's name first, the toolkit's own options
// already taken out). Values out of range are errors, never clamped.
Polecenie czytajOpcje(const QStringList &argumenty, Opcje &opcje, QString &tekst);

// Whether the arguments ask for no window: the toolkit must know that before
// the application object exists, even when they hold its own options too.
bool bezOknaWArgumentach(const QStringList &argumenty);

#endif // OPCJE_H
