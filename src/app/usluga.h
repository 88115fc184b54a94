#ifndef USLUGA_H
#define USLUGA_H

#include "waga.h"

#include <QByteArray>
#include <QString>

// What a program run by systemd as a service says to it: through the journal,
// how serious each line is, and through its notification socket, when the
// program is ready and when it stops. Elsewhere (a terminal, a file, no
// systemd) nothing of it shows.
namespace usluga {

// Whether the descriptor (1, 2) writes to the journal: the stream that
// systemd names in JOURNAL_STREAM.
bool doDziennikaSystemu(int deskryptor);

// "<N>" before a line of weight `waga` on that descriptor when it writes to
// the journal; nothing otherwise.
QByteArray przedrostek(int deskryptor, Waga waga);

// Tells systemd, when it waits to be told (Type=notify), or Windows'
// service manager: "READY=1", "STOPPING=1".
void powiadom(const char *stan);

// Whether the program runs as a service: started with --usluga by the
// service manager, which polaczZMenedzerem() confirmed.
bool jakoUsluga();

// The program runs as a service of the system's service manager, which
// started it: on Windows the service `nazwa`; on Linux a unit of systemd's
// that waits to be told it is ready. False, with why, when it was started
// otherwise.
bool polaczZMenedzerem(const QString &nazwa, QString &blad);
// The program ends with `kod`: Windows' service manager is told, so that it
// restarts a service that failed.
void zakonczono(int kod);
#ifdef Q_OS_WIN
void powiadomMenedzera(const char *stan);
bool podMenedzerem();
#endif

} // namespace usluga

#endif // USLUGA_H
