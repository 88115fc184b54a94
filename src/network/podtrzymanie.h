#ifndef PODTRZYMANIE_H
#define PODTRZYMANIE_H

class QAbstractSocket;

// TCP keep-alive on a connected socket, so that a peer whose machine vanished
// (power lost, cable pulled, laptop asleep) is reported as disconnected
// instead of staying connected for ever: a client the server would go on
// asking, or a server its client would wait for. On Linux the probes start
// after 60 s of silence and go out every 10 s; after 5 unanswered ones,
// about two minutes in all, the system gives the connection up; Windows 10
// the same. Frames sent to such a peer stay unacknowledged, and
// retransmitting them would keep the connection for a quarter of an hour;
// they are given the same two minutes.
void wlaczPodtrzymanie(QAbstractSocket &gniazdo);

namespace podtrzymanie {
constexpr int bezczynnoscS = 60;
constexpr int odstepS = 10;
constexpr int prob = 5;
constexpr int bezPotwierdzeniaMs = (bezczynnoscS + odstepS * prob) * 1000;
// Windows' numbers of TCP_KEEPALIVE (the idle time), TCP_KEEPINTVL,
// TCP_KEEPCNT and TCP_MAXRT, which MinGW's headers lack.
namespace windows {
constexpr int bezczynnosc = 3;
constexpr int odstep = 17;
constexpr int prob = 16;
constexpr int retransmisje = 5;
} // namespace windows
} // namespace podtrzymanie

#endif // PODTRZYMANIE_H
