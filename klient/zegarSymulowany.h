#ifndef ZEGARSYMULOWANY_H
#define ZEGARSYMULOWANY_H

#include "sync/termin.h"
#include "zegarKlienta.h"

#include <QTime>

// A simulated clock: a local time of day that runs from the moment it was
// last set at its own rate, `dryfPpm` parts per million fast (negative:
// slow), and moves with the local offset from UTC (daylight saving time), as
// a machine's clock in that time zone does. Time is measured by a monotonic
// counter in nanoseconds and the offset is given in seconds, both passed in,
// so the arithmetic can be tested without waiting.
struct ZegarSymulowany
{
    qint64 podstawaMs = 0; // the time of day it was set to, ms since midnight
    qint64 ustawionoNs = 0; // the monotonic reading at that moment
    double dryfPpm = 0.0;
    qint32 strefaS = 0; // the local offset from UTC at that moment
};

// A clock `przesuniecieMs` off `czas` at monotonic time `terazNs`.
ZegarSymulowany nowyZegar(QTime czas, qint64 przesuniecieMs, double dryfPpm, qint64 terazNs,
                          qint32 strefaS);

// Its reading at monotonic time `terazNs`, with the local offset `strefaS`
// then, wrapped into one day.
QTime odczyt(const ZegarSymulowany &zegar, qint64 terazNs, qint32 strefaS);

// The clock set to `czas` at `terazNs`; it keeps its rate.
void ustaw(ZegarSymulowany &zegar, QTime czas, qint64 terazNs, qint32 strefaS);

// This machine's local offset from UTC now, in seconds.
qint32 strefaTeraz();

// A simulated clock as a client's clock, run by the monotonic clock (monotonicznyNs()).
class SymulowanyZegarKlienta : public ZegarKlienta
{
public:
    explicit SymulowanyZegarKlienta(const ZegarSymulowany &poczatkowy)
        : zegar(poczatkowy)
    {
    }
    QTime czas() const override { return odczyt(zegar, monotonicznyNs(), strefaTeraz()); }
    bool ustaw(QTime uzgodniony) override
    {
        ::ustaw(zegar, uzgodniony, monotonicznyNs(), strefaTeraz());
        return true;
    }

private:
    ZegarSymulowany zegar;
};

#endif // ZEGARSYMULOWANY_H
