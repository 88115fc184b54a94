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

qint32 usrednijRoznice(qint32 roznice[], qint32 przyjete[], qint32 ile, qint32 prog,
                       QList<qint32> &odrzucone)
{
    roznice[0] = 0;
    for (qint32 i = 1; i <= ile; ++i) {
        if (czyOdrzucic(roznice[i], prog)) {
            przyjete[i] = 0;
            odrzucone.append(i);
        }
    }
    for (qint32 i = 1; i <= ile; ++i) {
        if (przyjete[i] == 1)
            roznice[0] += roznice[i];
    }
    roznice[0] = srednia(roznice[0], ile);
    return roznice[0];
}
