#ifndef BURZA_H
#define BURZA_H

// A storm of short connections on loopback, from plain sockets and threads:
// `watkow` threads, for `sekund` seconds or until `najwiecej` connections,
// each opening connection after connection that sends `ramek` valid replies
// in one write and closes. Returns the connections that got their frames
// through.

#include "sync/termin.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

#include <atomic>
#include <limits>
#include <string>
#include <thread>
#include <vector>

inline long burza(uint16_t port, int watkow, double sekund, int ramek,
                  long najwiecej = std::numeric_limits<long>::max())
{
    const int64_t koniec = monotonicznyNs() + int64_t(sekund * 1e9);
    // A reply at 12:00:00.000, the same for every frame.
    const unsigned char ramka[10] = {0, 8, 0, 0, 0, 5, 0x02, 0x93, 0x2e, 0x00};
    std::string dane;
    for (int i = 0; i < ramek; ++i)
        dane.append(reinterpret_cast<const char *>(ramka), sizeof ramka);

    sockaddr_in adres {};
    adres.sin_family = AF_INET;
    adres.sin_port = htons(port);
    adres.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

    std::atomic<long> polaczen {0};
    std::vector<std::thread> watki;
    for (int w = 0; w < watkow; ++w)
        watki.emplace_back([&] {
            while (monotonicznyNs() < koniec && polaczen < najwiecej) {
                const auto g = socket(AF_INET, SOCK_STREAM, 0);
#ifdef _WIN32
                if (g == INVALID_SOCKET)
                    continue;
                // A server that stops accepting must not hold the storm past
                // its end.
                const DWORD sekunda = 1000;
                const int bezSygnalu = 0;
#else
                if (g < 0)
                    continue;
                const timeval sekunda {1, 0};
                const int bezSygnalu = MSG_NOSIGNAL;
#endif
                setsockopt(g, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char *>(&sekunda),
                           sizeof sekunda);
                if (connect(g, reinterpret_cast<const sockaddr *>(&adres), sizeof adres) == 0
                    && send(g, dane.data(), int(dane.size()), bezSygnalu) == int(dane.size()))
                    ++polaczen;
#ifdef _WIN32
                closesocket(g);
#else
                close(g);
#endif
            }
        });
    for (auto &w : watki)
        w.join();
    return polaczen;
}

#endif // BURZA_H
