#ifndef TERMIN_H
#define TERMIN_H

#include <QTime>

// The server clock advances by one tick of this length at a time.
constexpr int taktMs = 100;

// A server clock that follows the system clock closes a difference below
// `skokZegaraOdMs` at this rate at most, so that the agreed time never
// jumps; a larger one (the system clock stepped, or set by hand) it takes
// at once.
constexpr qint64 dociaganieUsNaSekunde = 500;
constexpr qint64 skokZegaraOdMs = 1000;

// The one monotonic clock of the programs: it also counts the time a machine
// was suspended, where the system has such a clock (Linux: CLOCK_BOOTTIME;
// Windows: GetTickCount64), and readings of two processes of one machine
// compare. No step of the system clock moves it.
qint64 monotonicznyNs();
qint64 monotonicznyMs();

// The whole ticks that `uplynieloMs` of a running clock make, at least one:
// a stall delays the tick, not the time.
inline qint64 taktowWCzasie(qint64 uplynieloMs)
{
    return qMax<qint64>(1, uplynieloMs / taktMs);
}

// Following the system clock, what the server clock takes over `taktow`
// ticks of a difference `roznicaMs` (system clock minus server clock): a
// small one at the rate above, in whole milliseconds, with what is left
// below a millisecond carried in `resztaUs`; a large one whole.
qint64 dociagniecieMs(qint64 roznicaMs, qint64 taktow, qint64 &resztaUs);

// Whether a periodic synchronization armed for `nastepna` with a period of
// `okresMs` is due at clock time `czas`: the clock has run at least one
// period since the arming, counted around midnight.
bool synchNalezna(QTime czas, QTime nastepna, qint64 okresMs);

#endif // TERMIN_H
