#ifndef ZEGARSYSTEMOWY_H
#define ZEGARSYSTEMOWY_H

#include <QByteArray>
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
    // gained them, and never backwards. A slew still under way is replaced:
    // what it had still to make goes to `pozostalo`. 0, or the errno of the
    // failure (EPERM: no privilege).
    virtual int przesun(qint64 ms, qint64 &pozostalo) = 0;
    // Steps the full system time (date included) by `ms`. 0, or the errno.
    virtual int przestaw(qint64 ms) = 0;
    // Milliseconds of a clock that no step moves, for the bounds of time.
    virtual qint64 monotonicznyMs() const = 0;
    // What tells this start of the machine from others, for which the
    // monotonic clock begins again; empty where the system has nothing.
    virtual QByteArray rozruch() const = 0;
    // Why a change failed, from the number the calls above gave.
    virtual QString opisBledu(int blad) const = 0;
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
    int przesun(qint64 ms, qint64 &pozostalo) override;
    int przestaw(qint64 ms) override;
    qint64 monotonicznyMs() const override;
    // Linux's boot id, which a service whose /proc shows only its own
    // processes cannot read: there, the one its unit passes (`podany`).
    QByteArray rozruch() const override;
    void ustawRozruch(const QByteArray &podany) { podanyRozruch = podany; }
    QString opisBledu(int blad) const override;
    // A slew that an earlier run left under way (Windows keeps its rate
    // after the process that set it has gone) is ended; whether there was
    // one.
    bool zakonczPozostawione();
    static bool mozeZmieniac();
    // Another service of this system that sets the clock and runs: Windows'
    // Time service; empty when none does (on Linux the unit keeps them apart).
    static QString innaUslugaCzasu();
    // Whether this process holds the privilege to change the clock (Linux:
    // CAP_SYS_TIME; Windows: SeSystemtimePrivilege, which it turns on).
    static bool maUprawnienie();

private:
    QByteArray podanyRozruch;
#ifdef Q_OS_WIN
    bool wlaczUprawnienie();
    void zakonczNachylenie();
    int odmowiono(const char *wywolanie);
    QTimer koniecNachylenia; // the clock's own rate again
    qint64 nachylenieMs = 0; // of the slew under way, in all
    qint64 nachylenieCzasMs = 0; // and how long it takes
    int uprawnienie = -1; // unknown; then 0 (EPERM) or 1
    QString odmowa; // what the system said when it last refused a change
#endif
};

// The system's calls that slew and step the clock, as the lines name them.
extern const QLatin1String wywolaniePlynne;
extern const QLatin1String wywolanieSkoku;

// What the administrator can do about a missing privilege to change the
// clock, as this system grants it.
QString wskazowkaUprawnien();

#endif // ZEGARSYSTEMOWY_H
