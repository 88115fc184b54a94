#ifndef OGRANICZNIK_H
#define OGRANICZNIK_H

#include <QHash>
#include <QList>

#include <utility>

// Lines that one peer can cause at will (connecting and disconnecting, a
// client's own lines) go where they can fill a disk at most `naSekunde` a
// second for each key (a peer's address, a client's number); the rest are
// counted, to be summed up now and then. Times are monotonic milliseconds,
// passed in, so that it can be tested without waiting.
class OgranicznikLinii
{
public:
    explicit OgranicznikLinii(int naSekunde = 10)
        : naSekunde(naSekunde)
    {
    }

    // Whether one more line about `klucz` may go out at `terazMs`.
    bool wolno(quint32 klucz, qint64 terazMs);

    // The lines held back since the last summary, by key in ascending
    // order; keys with nothing held back and quiet for a second are
    // forgotten, so that many peers over time cost nothing.
    QList<std::pair<quint32, qint64>> podsumuj(qint64 terazMs);

private:
    struct Stan
    {
        qint64 sekunda = -1;
        int wSekundzie = 0;
        qint64 pominietych = 0;
    };
    QHash<quint32, Stan> stany;
    int naSekunde;
};

#endif // OGRANICZNIK_H
