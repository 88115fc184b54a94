#include "termin.h"

#include "doba.h"

#include <QElapsedTimer>

#ifdef Q_OS_LINUX
#include <ctime>
#endif

qint64 monotonicznyMs()
{
#ifdef Q_OS_LINUX
    timespec teraz {};
    if (clock_gettime(CLOCK_BOOTTIME, &teraz) == 0)
        return qint64(teraz.tv_sec) * 1000 + teraz.tv_nsec / 1'000'000;
#endif
    static const QElapsedTimer start = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return start.elapsed();
}

bool synchNalezna(QTime czas, QTime nastepna, qint64 okresMs)
{
    qint64 uplynelo
        = (czas.msecsSinceStartOfDay() - nastepna.msecsSinceStartOfDay() + okresMs) % msDoby;
    if (uplynelo < 0)
        uplynelo += msDoby;
    return uplynelo >= okresMs;
}
