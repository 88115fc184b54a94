#include "zegarSystemowy.h"

#include <cerrno>
#include <chrono>

#ifdef Q_OS_UNIX
#include <ctime>
#include <sys/time.h>
#endif

QTime ZegarSystemowyMaszyny::czas() const
{
    return QTime::currentTime();
}

qint64 ZegarSystemowyMaszyny::monotonicznyMs() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool ZegarSystemowyMaszyny::mozeZmieniac()
{
#ifdef Q_OS_UNIX
    return true;
#else
    return false;
#endif
}

int ZegarSystemowyMaszyny::przesun(qint64 ms)
{
#ifdef Q_OS_UNIX
    // adjtime() wants whole microseconds from 0 up, the sign in the seconds.
    qint64 sekundy = ms / 1000;
    qint64 reszta = ms % 1000;
    if (reszta < 0) {
        --sekundy;
        reszta += 1000;
    }
    const timeval o {time_t(sekundy), suseconds_t(reszta * 1000)};
    return adjtime(&o, nullptr) == 0 ? 0 : errno;
#else
    Q_UNUSED(ms);
    return ENOSYS;
#endif
}

int ZegarSystemowyMaszyny::przestaw(qint64 ms)
{
#ifdef Q_OS_UNIX
    // A slew still under way would move the clock again after the step.
    const timeval zero {0, 0};
    if (adjtime(&zero, nullptr) != 0)
        return errno;
    timespec teraz {};
    if (clock_gettime(CLOCK_REALTIME, &teraz) != 0)
        return errno;
    qint64 ns = qint64(teraz.tv_nsec) + (ms % 1000) * 1'000'000;
    qint64 sekundy = qint64(teraz.tv_sec) + ms / 1000 + ns / 1'000'000'000;
    ns %= 1'000'000'000;
    if (ns < 0) {
        --sekundy;
        ns += 1'000'000'000;
    }
    const timespec nowy {time_t(sekundy), long(ns)};
    return clock_settime(CLOCK_REALTIME, &nowy) == 0 ? 0 : errno;
#else
    Q_UNUSED(ms);
    return ENOSYS;
#endif
}
