#ifndef WAGA_H
#define WAGA_H

namespace usluga {

// How serious a log line is, decided where the line is written: the
// journal's (syslog's) levels, so that `journalctl -p warning` shows what
// went wrong.
enum Waga {
    Blad = 3, // a failure: to start, to write, to change the clock
    Ostrzezenie = 4, // refusals, rejections, cut connections, lines left out, silent clients
    Uwaga = 5, // a clock changed
    Informacja = 6,
};

} // namespace usluga

#endif // WAGA_H
