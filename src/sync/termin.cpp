#include "termin.h"

#include "doba.h"

#include <QElapsedTimer>

#if defined(Q_OS_LINUX)
#include <ctime>
#elif defined(Q_OS_WIN)
#include <windows.h>
#endif

qint64 monotonicznyNs()
{
#if defined(Q_OS_LINUX)
    timespec teraz {};
    if (clock_gettime(CLOCK_BOOTTIME, &teraz) == 0)
        return qint64(teraz.tv_sec) * 1'000'000'000 + teraz.tv_nsec;
#elif defined(Q_OS_WIN)
    // The interrupt time counts the time asleep too. Its precise reading
    // came with Windows 10; elsewhere (Wine) the tick count, in whole
    // milliseconds, which the clock's ticks of 100 ms make up for as they go.
    using Odczyt = void(WINAPI *)(PULONGLONG);
    static const auto precyzyjny = reinterpret_cast<Odczyt>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "QueryInterruptTimePrecise")));
    if (precyzyjny) {
        ULONGLONG setkiNs = 0;
        precyzyjny(&setkiNs);
        return qint64(setkiNs) * 100;
    }
    return qint64(GetTickCount64()) * 1'000'000;
#endif
    static const QElapsedTimer start = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return start.nsecsElapsed();
}

qint64 monotonicznyMs()
{
    return monotonicznyNs() / 1'000'000;
}

bool synchNalezna(QTime czas, QTime nastepna, qint64 okresMs)
{
    qint64 uplynelo
        = (czas.msecsSinceStartOfDay() - nastepna.msecsSinceStartOfDay() + okresMs) % msDoby;
    if (uplynelo < 0)
        uplynelo += msDoby;
    return uplynelo >= okresMs;
}

qint64 dociagniecieMs(qint64 roznicaMs, qint64 taktow, qint64 &resztaUs)
{
    if (qAbs(roznicaMs) >= skokZegaraOdMs || roznicaMs == 0) {
        resztaUs = 0;
        return roznicaMs;
    }
    const qint64 wolnoUs = taktow * taktMs * dociaganieUsNaSekunde / 1000;
    resztaUs += qBound(-wolnoUs, roznicaMs * 1000, wolnoUs);
    const qint64 ms = resztaUs / 1000;
    resztaUs -= ms * 1000;
    return ms;
}
