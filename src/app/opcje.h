#ifndef OPCJE_H
#define OPCJE_H

#include "app/wierszPolecen.h"
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
    bool podsumowanie = false; // one line per exchange on standard output and in the file
    std::optional<int> miejscZAdresu; // averaged places one address may fill in an exchange
    bool zegarSystemowy = false; // the server clock follows the system's
    QString platforma; // Qt's -platform, when given
    bool usluga = false; // run by Windows' service manager
};

// The name of the server's Windows service.
constexpr char nazwaUslugiSerwera[] = "SerwerSynchronizacji";

// Reads the arguments (the program's name first), before the toolkit
// starts, so that help and mistakes need no display: the toolkit's own
// documented options are left to it, any other unknown one is an error.
// Values out of range are errors, never clamped.
wierszPolecen::Polecenie czytajOpcje(const QStringList &argumenty, Opcje &opcje, QString &tekst);

#endif // OPCJE_H
