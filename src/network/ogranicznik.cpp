#include "ogranicznik.h"

#include <algorithm>

bool OgranicznikLinii::wolno(quint32 klucz, qint64 terazMs)
{
    Stan &stan = stany[klucz];
    const qint64 sekunda = terazMs / 1000;
    if (stan.sekunda != sekunda) {
        stan.sekunda = sekunda;
        stan.wSekundzie = 0;
    }
    if (stan.wSekundzie < naSekunde) {
        ++stan.wSekundzie;
        return true;
    }
    ++stan.pominietych;
    return false;
}

QList<std::pair<quint32, qint64>> OgranicznikLinii::podsumuj(qint64 terazMs)
{
    QList<std::pair<quint32, qint64>> wynik;
    const qint64 sekunda = terazMs / 1000;
    for (auto it = stany.begin(); it != stany.end();) {
        if (it->pominietych > 0) {
            wynik.append({it.key(), it->pominietych});
            it->pominietych = 0;
        }
        if (it->sekunda < sekunda)
            it = stany.erase(it);
        else
            ++it;
    }
    std::sort(wynik.begin(), wynik.end());
    return wynik;
}
