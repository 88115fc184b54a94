#ifndef KOREKTA_H
#define KOREKTA_H

#include "zegarKlienta.h"

#include <QString>

#include <functional>

class ZegarSystemowy;

// What the client may do to this machine's clock.
struct PolitykaKorekty
{
    qint64 progSkokuMs = 1000; // smaller corrections are slewed, larger stepped
    qint64 maksKorektaMs = 1200 * 1000; // larger ones are refused
    bool bezZmian = false; // measure and report only
};

enum class Sposob {
    Plynnie, // slewed: the clock never runs backwards
    Skokiem, // stepped
    Odrzucona, // beyond the limit: not applied
    BezZmian, // measure only
};

// The correction an agreed time asks of a clock that reads `lokalny`: the
// difference taken nearest zero (within ±12 h), so it is right across
// midnight.
qint64 korektaMs(QTime uzgodniony, QTime lokalny);

Sposob sposobKorekty(qint64 korektaMs, const PolitykaKorekty &polityka);

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
    std::function<void(const QString &)> wypisz;
};

#endif // KOREKTA_H
