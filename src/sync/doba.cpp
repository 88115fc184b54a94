#include "doba.h"

qint32 roznicaMs(QTime a, QTime b)
{
    qint32 ms = a.msecsSinceStartOfDay() - b.msecsSinceStartOfDay();
    if (ms > msDoby / 2)
        ms -= msDoby;
    else if (ms < -msDoby / 2)
        ms += msDoby;
    return ms;
}
