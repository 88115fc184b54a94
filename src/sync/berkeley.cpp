#include "berkeley.h"

#include "doba.h"

qint32 roznicaSekund(QTime klient, QTime serwer)
{
    return roznicaMs(klient, serwer) / 1000;
}

bool czyOdrzucic(qint32 roznica, qint32 prog)
{
    return roznica > prog || roznica < -prog;
}

qint32 srednia(qint32 sumaPrzyjetych, qint32 liczbaOdpowiedzi)
{
    return sumaPrzyjetych / (liczbaOdpowiedzi + 1);
}
