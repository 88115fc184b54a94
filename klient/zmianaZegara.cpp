#include "zmianaZegara.h"

#include <cstdlib>

SekundyIMikro naSekundyIMikro(qint64 ms)
{
    qint64 sekundy = ms / 1000;
    qint64 reszta = ms % 1000;
    if (reszta < 0) {
        --sekundy;
        reszta += 1000;
    }
    return {sekundy, reszta * 1000};
}

SekundyINano przesunieta(SekundyINano chwila, qint64 ms)
{
    constexpr qint64 nsSekundy = 1'000'000'000;
    qint64 ns = chwila.nanosekundy + (ms % 1000) * 1'000'000;
    qint64 sekundy = chwila.sekundy + ms / 1000 + ns / nsSekundy;
    ns %= nsSekundy;
    if (ns < 0) {
        --sekundy;
        ns += nsSekundy;
    }
    return {sekundy, ns};
}

Nachylenie nachylenie(qint64 ms, quint64 okres)
{
    // At least one unit a period, or the clock would not move at all.
    const quint64 roznica = qMax<quint64>(1, (okres * plynnieNaMilion + 500'000) / 1'000'000);
    const quint64 dodawane = ms >= 0 ? okres + roznica : okres - roznica;
    // |ms| gained at roznica/okres of the time that passes.
    const qint64 czasMs = qint64((quint64(std::llabs(ms)) * okres + roznica / 2) / roznica);
    return {dodawane, czasMs};
}
