#include "termin.h"

#include "doba.h"

bool synchNalezna(QTime czas, QTime nastepna, qint64 okresMs)
{
    qint64 uplynelo
        = (czas.msecsSinceStartOfDay() - nastepna.msecsSinceStartOfDay() + okresMs) % msDoby;
    if (uplynelo < 0)
        uplynelo += msDoby;
    return uplynelo >= okresMs;
}
