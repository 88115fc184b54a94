#ifndef ZMIANAZEGARA_H
#define ZMIANAZEGARA_H

#include <QtGlobal>

// The arithmetic of changing the system clock, apart from the calls that do
// it, so that a slip of sign or carry is found by a test, not by a clock
// stepped the wrong way.

// The rate at which a slewed clock gains or loses: Linux's adjtime() runs the
// clock 500 parts per million fast or slow, and on Windows the client sets
// the same rate itself.
constexpr qint64 plynnieNaMilion = 500;
// What a slew can do in an hour at that rate: 1.8 s.
constexpr qint64 plynnieNaGodzineMs = 3600 * 1000 * plynnieNaMilion / 1'000'000;

// A correction as adjtime() takes it: whole seconds, signed, and
// microseconds from 0 up (-1 ms is -1 s + 999 000 µs).
struct SekundyIMikro
{
    qint64 sekundy;
    qint64 mikrosekundy;
};
SekundyIMikro naSekundyIMikro(qint64 ms);

// A moment as clock_settime() takes it, `ms` later: whole seconds and
// nanoseconds from 0 up to 10^9.
struct SekundyINano
{
    qint64 sekundy;
    qint64 nanosekundy;
};
SekundyINano przesunieta(SekundyINano chwila, qint64 ms);

// A slew on Windows: the clock gains `dodawane` (100 ns units) each time the
// system counts `okres` of them, for `czasMs`, then runs at its own rate
// again. `okres` is the system's own; the rate is that of adjtime().
struct Nachylenie
{
    quint64 dodawane;
    qint64 czasMs;
};
Nachylenie nachylenie(qint64 ms, quint64 okres);

#endif // ZMIANAZEGARA_H
