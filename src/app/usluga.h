#ifndef USLUGA_H
#define USLUGA_H

#include "waga.h"

#include <QByteArray>

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

// Tells systemd, when it waits to be told (Type=notify): "READY=1",
// "STOPPING=1".
void powiadom(const char *stan);

// Whether the program runs as a systemd service.
bool jakoUsluga();

} // namespace usluga

#endif // USLUGA_H
