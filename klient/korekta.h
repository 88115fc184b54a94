#ifndef KOREKTA_H
#define KOREKTA_H

#include "zegarKlienta.h"
#include "zmianaZegara.h"

#include <QList>
#include <QString>

#include <deque>
#include <functional>
#include <utility>

class ZegarSystemowy;

// What the client may do to this machine's clock. As the established time
// daemons do, it steps the clock only at start; after that it only slews it,
// and no hour moves it more than a slew at the system's rate can (1.8 s), so
// that no server, or whoever stands in for one, can run a clock away by
// more than 43 s a day. A lab that wants fast convergence and trusts its
// server asks for steps later too (`szybkaZbieznosc`): a step once three
// agreed times in a row ask for it, and up to 1200 s an hour.
struct PolitykaKorekty
{
    qint64 progSkokuMs = 1000; // smaller corrections are slewed, larger stepped
    qint64 maksKorektaMs = 1200 * 1000; // larger ones are refused
    int skokowNaStarcie = 3; // agreed times after start that may step at once
    qint64 maksNaGodzineMs = plynnieNaGodzineMs; // all corrections of any hour together
    bool szybkaZbieznosc = false; // steps after the start too, confirmed
    bool bezZmian = false; // measure and report only

    // With `szybkaZbieznosc`, the bound of an hour unless one is given.
    static constexpr qint64 maksNaGodzineSzybkoMs = 1200 * 1000;
    // Later steps are taken when this many consecutive agreed times ask
    // for them, all within `zgodnoscMs` of each other.
    static constexpr int potwierdzen = 3;
    static constexpr qint64 zgodnoscMs = 1000;
};

enum class Sposob {
    Plynnie, // slewed: the clock never runs backwards
    Skokiem, // stepped
    BezZmiany, // nothing to correct
    Odrzucona, // beyond the limit: not applied
    Niepotwierdzona, // a step after start, not yet confirmed (fast convergence)
    PonadGodzine, // the hour's bound is spent
    BezZmian, // measure only
};

// What to do with a correction, and how much of it: a slew is cut to what
// the hour still allows.
struct Decyzja
{
    Sposob sposob;
    qint64 ms;
};

// What earlier agreed times leave for the later: how many came, the large
// corrections asked in a row and not yet taken, and what the clock was moved
// within the last hour (monotonic ms, ms) but for the start's steps.
struct StanKorekty
{
    int uzgodnionych = 0;
    QList<qint64> niepotwierdzone;
    std::deque<std::pair<qint64, qint64>> zmiany;
    // The last change was a slew, which the next may cut short.
    bool ostatniaPlynna = false;

    // The changes within the hour before `terazMs`, together.
    qint64 wGodzinie(qint64 terazMs);
    // A change taken at `terazMs`.
    void zapisz(qint64 terazMs, const Decyzja &decyzja, bool naStarcie);
    // A slew cut short by the next, `pozostalo` ms of it not made.
    void skrocOstatnia(qint64 pozostalo);
};

// The correction an agreed time asks of a clock that reads `lokalny`: the
// difference taken nearest zero (within ±12 h), so it is right across
// midnight.
qint64 korektaMs(QTime uzgodniony, QTime lokalny);

// What to do with the correction of the next agreed time, at monotonic
// time `terazMs`; it counts the agreed time in `stan`. One that is taken is
// recorded by the caller once done (StanKorekty::zapisz).
Decyzja sposobKorekty(qint64 korektaMs, const PolitykaKorekty &polityka, StanKorekty &stan,
                      qint64 terazMs);

// Whether a correction of this agreed time, the `uzgodnionych`-th, may step.
inline bool naStarcie(const PolitykaKorekty &polityka, int uzgodnionych)
{
    return uzgodnionych <= polityka.skokowNaStarcie;
}

// The state as a file keeps it, and back: only within the same start of
// the machine (`rozruch`), where the monotonic clock has not begun again;
// false, leaving `stan` as it was, otherwise.
QByteArray stanDoPliku(const StanKorekty &stan, const QByteArray &rozruch, qint64 terazMs);
bool stanZPliku(const QByteArray &dane, const QByteArray &rozruch, qint64 terazMs,
                StanKorekty &stan);

// "+0.312 s", "-5000.000 s".
QString opisKorekty(qint64 korektaMs);

// This machine's clock as the clock of a client: it reports the system time
// of day, and brings the system clock to each agreed time within the policy,
// saying in one line per exchange what it did; the lines of changes made
// are marked to be printed whatever the limit of lines. Without the
// privilege to change the clock it says once what is missing and goes on
// measuring only. Its state outlives the program in a file, when given one,
// so that a restart grants no new steps and no new hour.
class ZegarMaszyny : public ZegarKlienta
{
public:
    using Wypisz = std::function<void(const QString &linia, bool zmiana)>;
    ZegarMaszyny(ZegarSystemowy &systemowy, const PolitykaKorekty &polityka, Wypisz wypisz,
                 const QString &plikStanu = QString());
    QTime czas() const override;
    bool ustaw(QTime uzgodniony) override;
    // The privilege was missing: no correction will be made.
    bool bezUprawnien() const { return brakUprawnien; }

private:
    ZegarSystemowy &systemowy;
    PolitykaKorekty polityka;
    StanKorekty stan;
    Wypisz wypisz;
    QString plikStanu;
    bool brakUprawnien = false;
};

#endif // KOREKTA_H
