#ifndef USLUGA_H
#define USLUGA_H

#include <QByteArray>
#include <QStringView>

// What a program run by systemd as a service says to it: through the journal,
// how serious each line is, and through its notification socket, when the
// program is ready and when it stops. Elsewhere (a terminal, a file, no
// systemd) nothing of it shows.
namespace usluga {

// The journal's levels of a line (syslog's).
enum Waga {
    Blad = 3,
    Ostrzezenie = 4,
    Uwaga = 5,
    Informacja = 6,
};

// How serious a line of either program is, by what it says: failures to
// start, to write or to change the clock are errors; refusals, rejections,
// cut connections, lines left out and silent clients warnings; a change made
// to the clock a notice; the rest information.
Waga wagaLinii(QStringView linia);

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
