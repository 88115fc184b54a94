#ifndef ZEGARSYMULOWANY_H
#define ZEGARSYMULOWANY_H

#include "zegarKlienta.h"

#include <QTime>

// A simulated clock: a time of day that runs from the moment it was last set
// at its own rate, `dryfPpm` parts per million fast (negative: slow). Time is
// measured by a monotonic counter in nanoseconds, passed in, so the
// arithmetic can be tested without waiting.
struct ZegarSymulowany
{
    qint64 podstawaMs = 0; // the time of day it was set to, ms since midnight
    qint64 ustawionoNs = 0; // the monotonic reading at that moment
    double dryfPpm = 0.0;
};

// A clock `przesuniecieMs` off `czas` at monotonic time `terazNs`.
ZegarSymulowany nowyZegar(QTime czas, qint64 przesuniecieMs, double dryfPpm, qint64 terazNs);

// Its reading at monotonic time `terazNs`, wrapped into one day.
QTime odczyt(const ZegarSymulowany &zegar, qint64 terazNs);

// The clock set to `czas` at `terazNs`; it keeps its rate.
void ustaw(ZegarSymulowany &zegar, QTime czas, qint64 terazNs);

// The monotonic time that drives every simulated clock, in nanoseconds.
qint64 terazNs();

// A simulated clock as a client's clock, run by terazNs().
class SymulowanyZegarKlienta : public ZegarKlienta
{
public:
    explicit SymulowanyZegarKlienta(const ZegarSymulowany &zegar)
        : zegar(zegar)
    {
    }
    QTime czas() const override { return odczyt(zegar, terazNs()); }
    bool ustaw(QTime uzgodniony) override
    {
        ::ustaw(zegar, uzgodniony, terazNs());
        return true;
    }

private:
    ZegarSymulowany zegar;
};

#endif // ZEGARSYMULOWANY_H
