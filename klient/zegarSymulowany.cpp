#include "zegarSymulowany.h"

#include "sync/doba.h"
#include "sync/termin.h"

#include <QDateTime>

#include <cmath>

namespace {
qint64 wDobie(qint64 ms)
{
    ms %= msDoby;
    return ms < 0 ? ms + msDoby : ms;
}
} // namespace

qint32 strefaTeraz()
{
    return QDateTime::currentDateTime().offsetFromUtc();
}

ZegarSymulowany nowyZegar(QTime czas, qint64 przesuniecieMs, double dryfPpm, qint64 terazNs,
                          qint32 strefaS)
{
    return {wDobie(czas.msecsSinceStartOfDay() + przesuniecieMs), terazNs, dryfPpm, strefaS};
}

QTime odczyt(const ZegarSymulowany &zegar, qint64 terazNs, qint32 strefaS)
{
    const double uplynieloMs = double(terazNs - zegar.ustawionoNs) / 1e6;
    const auto ms = zegar.podstawaMs
        + qint64(std::llround(uplynieloMs * (1.0 + zegar.dryfPpm / 1e6)))
        + qint64(strefaS - zegar.strefaS) * 1000;
    return QTime::fromMSecsSinceStartOfDay(int(wDobie(ms)));
}

void ustaw(ZegarSymulowany &zegar, QTime czas, qint64 terazNs, qint32 strefaS)
{
    zegar.podstawaMs = czas.msecsSinceStartOfDay();
    zegar.ustawionoNs = terazNs;
    zegar.strefaS = strefaS;
}
