#ifndef ZEGARSYSTEMOWY_H
#define ZEGARSYSTEMOWY_H

#include <QTime>
#include <QtGlobal>

// This machine's clock, reached through this interface alone, so that tests
// can put a fake in its place and never change the real one.
class ZegarSystemowy
{
public:
    virtual ~ZegarSystemowy() = default;
    // The local time of day.
    virtual QTime czas() const = 0;
    // Slews the clock by `ms`: it runs a little fast or slow until it has
    // gained them, and never backwards. 0, or the errno of the failure.
    virtual int przesun(qint64 ms) = 0;
    // Steps the full system time (date included) by `ms`. 0, or the errno.
    virtual int przestaw(qint64 ms) = 0;
    // Milliseconds of a clock that no step moves, for the bounds of time.
    virtual qint64 monotonicznyMs() const = 0;
};

// The real clock: adjtime() and clock_settime(CLOCK_REALTIME), where the
// system has them; elsewhere every change fails with ENOSYS.
class ZegarSystemowyMaszyny : public ZegarSystemowy
{
public:
    QTime czas() const override;
    int przesun(qint64 ms) override;
    int przestaw(qint64 ms) override;
    qint64 monotonicznyMs() const override;
    static bool mozeZmieniac();
};

#endif // ZEGARSYSTEMOWY_H
