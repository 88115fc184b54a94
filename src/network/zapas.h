#ifndef ZAPAS_H
#define ZAPAS_H

#include <QtGlobal>

// A process that has run out of descriptors can neither take nor refuse the
// connections waiting to be accepted: they would hang, unanswered, until a
// descriptor freed. One descriptor is kept spare for that moment: let go, it
// makes room to accept each waiting connection and reset it at once, so that
// its client learns and tries again later.
class ZapasDeskryptora
{
public:
    ZapasDeskryptora();
    ~ZapasDeskryptora();
    ZapasDeskryptora(const ZapasDeskryptora &) = delete;
    ZapasDeskryptora &operator=(const ZapasDeskryptora &) = delete;

    // Refuses every connection waiting on the listening socket `nasluch`;
    // how many there were.
    int odrzucOczekujace(qintptr nasluch);

    // The descriptors this process may open (its soft limit), or -1 where
    // there is no such limit.
    static qint64 limit();

private:
    int zapas = -1;
};

#endif // ZAPAS_H
