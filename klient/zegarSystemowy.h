#ifndef ZEGARSYSTEMOWY_H
#define ZEGARSYSTEMOWY_H

#include <QString>
#include <QTime>
#include <QtGlobal>

#ifdef Q_OS_WIN
#include <QTimer>
#endif

// This machine's clock, reached through this interface alone, so that tests
// can put a fake in its place and never change the real one.
class ZegarSystemowy
{
public:
    virtual ~ZegarSystemowy() = default;
    // The local time of day.
    virtual QTime czas() const = 0;
    // Slews the clock by `ms`: it runs a little fast or slow until it has
    // gained them, and never backwards; a slew still under way is replaced.
    // 0, or the errno of the failure (EPERM: no privilege).
    virtual int przesun(qint64 ms) = 0;
    // Steps the full system time (date included) by `ms`. 0, or the errno.
    virtual int przestaw(qint64 ms) = 0;
    // Milliseconds of a clock that no step moves, for the bounds of time.
    virtual qint64 monotonicznyMs() const = 0;
};

// The real clock. Linux: adjtime() and clock_settime(CLOCK_REALTIME).
// Windows: a slew at adjtime()'s rate through SetSystemTimeAdjustment(Precise)
// for as long as it takes, SetSystemTime() for a step, and the privilege to
// change the time (SeSystemtimePrivilege) enabled first. Elsewhere every
// change fails with ENOSYS.
class ZegarSystemowyMaszyny : public ZegarSystemowy
{
public:
    ZegarSystemowyMaszyny();
    ~ZegarSystemowyMaszyny() override;
    QTime czas() const override;
    int przesun(qint64 ms) override;
    int przestaw(qint64 ms) override;
    qint64 monotonicznyMs() const override;
    static bool mozeZmieniac();

private:
#ifdef Q_OS_WIN
    bool wlaczUprawnienie();
    void zakonczNachylenie();
    QTimer koniecNachylenia; // the clock's own rate again
    int uprawnienie = -1; // unknown; then 0 (EPERM) or 1
#endif
};

// The system's calls that slew and step the clock, as the lines name them.
extern const QLatin1String wywolaniePlynne;
extern const QLatin1String wywolanieSkoku;

// Why a change of the clock failed, from the errno that the calls above give.
QString opisBleduZegara(int blad);

// What the administrator can do about a missing privilege to change the
// clock, as this system grants it.
QString wskazowkaUprawnien();

#endif // ZEGARSYSTEMOWY_H
