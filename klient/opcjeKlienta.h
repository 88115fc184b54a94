#ifndef OPCJEKLIENTA_H
#define OPCJEKLIENTA_H

#include "app/wierszPolecen.h"
#include "korekta.h"
#include "sync/ramka.h"

#include <QString>
#include <QStringList>

// What a run of the client program does: its clients, their clocks, and what
// it may do to this machine's clock.
struct Ustawienia
{
    QString host = QStringLiteral("127.0.0.1"); // for simulated clients on this machine
    quint16 port = ramka::domyslnyPort;
    int liczba = 1;
    double przesuniecieS = 0;
    double rozrzutS = 0;
    double dryfPpm = 0;
    quint32 ziarno = 0;
    bool ziarnoPodane = false;
    int wymiany = 0; // 0: run until stopped
    bool cicho = false;
    bool czasy = false; // monotonic times of each exchange, for benchmarks
    bool systemowy = false; // one client whose clock is this machine's
    PolitykaKorekty polityka; // what it may do to that clock
    QString plikStanu; // where what it did outlives it, or empty
    QByteArray rozruch; // this start of the machine, as its service names it
    bool usluga = false; // run by Windows' service manager
};

// The exit code when this machine's clock was to be changed and the system
// refused.
constexpr int kodBezZmianyZegara = 3;

// The name of the client's Windows service.
constexpr char nazwaUslugiKlienta[] = "KlientSynchronizacji";

// Reads the arguments (the program's name first). Whole numbers are read as
// whole numbers, every value is checked and an option given twice is a
// mistake, as is an option that makes no sense with the others.
wierszPolecen::Polecenie czytajOpcjeKlienta(const QStringList &argumenty, Ustawienia &ustawienia,
                                            QString &tekst);

#endif // OPCJEKLIENTA_H
