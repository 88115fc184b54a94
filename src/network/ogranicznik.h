#ifndef OGRANICZNIK_H
#define OGRANICZNIK_H

#include <QHash>
#include <QList>

#include <utility>

// Lines that one peer can cause at will (connecting and disconnecting, a
// client's own lines) go where they can fill a disk at most `naSekunde` a
// second for each key (a peer's address, a client's number), and, when
// `wszystkichNaSekunde` is given, at most that many a second of all keys
// together, so that many peers cannot do what one may not; the rest are
// counted by key, to be summed up now and then. Times are monotonic
// milliseconds, passed in, so that it can be tested without waiting.
class OgranicznikLinii
{
public:
    explicit OgranicznikLinii(int zKluczaNaSekunde = 10, int razemNaSekunde = 0)
        : naSekunde(zKluczaNaSekunde)
        , wszystkichNaSekunde(razemNaSekunde)
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
    Stan wszystkie;
    int naSekunde;
    int wszystkichNaSekunde;
};

#endif // OGRANICZNIK_H
