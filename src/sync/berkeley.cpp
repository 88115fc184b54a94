#include "berkeley.h"

namespace {
constexpr qint32 msDoby = 24 * 60 * 60 * 1000;
}

qint32 roznicaSekund(QTime klient, QTime serwer)
{
    qint32 ms = klient.msecsSinceStartOfDay() - serwer.msecsSinceStartOfDay();
    if (ms > msDoby / 2)
        ms -= msDoby;
    else if (ms < -msDoby / 2)
        ms += msDoby;
    return ms / 1000;
}

bool czyOdrzucic(qint32 roznica, qint32 prog)
{
    return roznica > prog || roznica < -prog;
}

qint32 srednia(qint32 sumaPrzyjetych, qint32 liczbaOdpowiedzi)
{
    return sumaPrzyjetych / (liczbaOdpowiedzi + 1);
}
