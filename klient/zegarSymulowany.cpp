#include "zegarSymulowany.h"

#include "sync/doba.h"

#include <QElapsedTimer>

#include <cmath>

qint64 terazNs()
{
    static const QElapsedTimer start = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return start.nsecsElapsed();
}

namespace {
qint64 wDobie(qint64 ms)
{
    ms %= msDoby;
    return ms < 0 ? ms + msDoby : ms;
}
} // namespace

ZegarSymulowany nowyZegar(QTime czas, qint64 przesuniecieMs, double dryfPpm, qint64 terazNs)
{
    return {wDobie(czas.msecsSinceStartOfDay() + przesuniecieMs), terazNs, dryfPpm};
}

QTime odczyt(const ZegarSymulowany &zegar, qint64 terazNs)
{
    const double uplynieloMs = double(terazNs - zegar.ustawionoNs) / 1e6;
    const auto ms
        = zegar.podstawaMs + qint64(std::llround(uplynieloMs * (1.0 + zegar.dryfPpm / 1e6)));
    return QTime::fromMSecsSinceStartOfDay(int(wDobie(ms)));
}

void ustaw(ZegarSymulowany &zegar, QTime czas, qint64 terazNs)
{
    zegar.podstawaMs = czas.msecsSinceStartOfDay();
    zegar.ustawionoNs = terazNs;
}
