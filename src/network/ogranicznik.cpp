#include "ogranicznik.h"

#include <algorithm>

namespace {
// Whether the second of `stan` has room for one more line, which it takes.
bool miejsceWSekundzie(qint64 &sekundaStanu, int &wSekundzie, int naSekunde, qint64 terazMs)
{
    const qint64 sekunda = terazMs / 1000;
    if (sekundaStanu != sekunda) {
        sekundaStanu = sekunda;
        wSekundzie = 0;
    }
    if (wSekundzie >= naSekunde)
        return false;
    ++wSekundzie;
    return true;
}
} // namespace

bool OgranicznikLinii::wolno(quint32 klucz, qint64 terazMs)
{
    Stan &stan = stany[klucz];
    if (miejsceWSekundzie(stan.sekunda, stan.wSekundzie, naSekunde, terazMs)
        && (wszystkichNaSekunde <= 0
            || miejsceWSekundzie(wszystkie.sekunda, wszystkie.wSekundzie, wszystkichNaSekunde,
                                 terazMs)))
        return true;
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
