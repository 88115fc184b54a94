#ifndef KOREKTA_H
#define KOREKTA_H

#include "zegarKlienta.h"

#include <QList>
#include <QString>

#include <deque>
#include <functional>
#include <utility>

class ZegarSystemowy;

// What the client may do to this machine's clock. As the established time
// daemons do, it steps the clock freely only at start; later a large
// correction must be confirmed by the exchanges that follow, and the clock
// is never moved further than a bound in any hour, whatever a server says.
struct PolitykaKorekty
{
    qint64 progSkokuMs = 1000; // smaller corrections are slewed, larger stepped
    qint64 maksKorektaMs = 1200 * 1000; // larger ones are refused
    int skokowNaStarcie = 3; // agreed times after start that may step at once
    qint64 maksNaGodzineMs = 1200 * 1000; // all corrections of any hour together
    bool bezZmian = false; // measure and report only

    // Later, a step is taken when this many consecutive agreed times ask
    // for it, all within `zgodnoscMs` of each other.
    static constexpr int potwierdzen = 3;
    static constexpr qint64 zgodnoscMs = 1000;
};

enum class Sposob {
    Plynnie, // slewed: the clock never runs backwards
    Skokiem, // stepped
    Odrzucona, // beyond the limit: not applied
    Niepotwierdzona, // a step after start, not yet confirmed
    PonadGodzine, // would move the clock beyond the hour's bound
    BezZmian, // measure only
};

// What earlier agreed times leave for the later: how many came, the large
// corrections asked in a row and not yet taken, and the corrections taken
// within the last hour.
struct StanKorekty
{
    int uzgodnionych = 0;
    QList<qint64> niepotwierdzone;
    std::deque<std::pair<qint64, qint64>> zmiany; // monotonic ms, |correction| ms

    // The corrections taken in the hour before `terazMs`, together.
    qint64 wGodzinie(qint64 terazMs);
};

// The correction an agreed time asks of a clock that reads `lokalny`: the
// difference taken nearest zero (within ±12 h), so it is right across
// midnight.
qint64 korektaMs(QTime uzgodniony, QTime lokalny);

// What to do with the correction of the next agreed time, at monotonic
// time `terazMs`; it counts the agreed time in `stan`. One that is taken
// (slewed or stepped) is recorded in `stan.zmiany` by the caller once done.
Sposob sposobKorekty(qint64 korektaMs, const PolitykaKorekty &polityka, StanKorekty &stan,
                     qint64 terazMs);

// "+0.312 s", "-5000.000 s".
QString opisKorekty(qint64 korektaMs);

// This machine's clock as the clock of a client: it reports the system time
// of day, and brings the system clock to each agreed time within the policy,
// saying in one line per exchange what it did. Without the privilege to
// change the clock it says once what is missing and goes on measuring only.
class ZegarMaszyny : public ZegarKlienta
{
public:
    ZegarMaszyny(ZegarSystemowy &systemowy, const PolitykaKorekty &polityka,
                 std::function<void(const QString &)> wypisz);
    QTime czas() const override;
    bool ustaw(QTime uzgodniony) override;

private:
    ZegarSystemowy &systemowy;
    PolitykaKorekty polityka;
    StanKorekty stan;
    std::function<void(const QString &)> wypisz;
};

#endif // KOREKTA_H
