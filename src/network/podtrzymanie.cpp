#include "podtrzymanie.h"

#include <QAbstractSocket>
#include <QVariant>

#if defined(Q_OS_LINUX)
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#elif defined(Q_OS_WIN)
#include <winsock2.h>

#include <mstcpip.h>
#endif

void wlaczPodtrzymanie(QAbstractSocket &gniazdo)
{
    gniazdo.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
#ifdef Q_OS_LINUX
    const auto deskryptor = int(gniazdo.socketDescriptor());
    if (deskryptor < 0)
        return;
    for (const auto &[opcja, wartosc] :
         {std::pair {TCP_KEEPIDLE, podtrzymanie::bezczynnoscS},
          std::pair {TCP_KEEPINTVL, podtrzymanie::odstepS},
          std::pair {TCP_KEEPCNT, podtrzymanie::prob},
          std::pair {TCP_USER_TIMEOUT, podtrzymanie::bezPotwierdzeniaMs}})
        setsockopt(deskryptor, IPPROTO_TCP, opcja, &wartosc, sizeof wartosc);
#elif defined(Q_OS_WIN)
    const auto uchwyt = SOCKET(gniazdo.socketDescriptor());
    if (uchwyt == INVALID_SOCKET)
        return;
    // Windows 10 takes Linux's settings, under the numbers of ws2ipdef.h; the
    // retransmissions are bounded in seconds. Where the first is not known,
    // the older call sets the two times, and Windows probes 10 times.
    using namespace podtrzymanie;
    const std::pair<int, DWORD> opcje[] = {{windows::bezczynnosc, bezczynnoscS},
                                           {windows::odstep, odstepS},
                                           {windows::prob, prob},
                                           {windows::retransmisje, bezPotwierdzeniaMs / 1000}};
    if (setsockopt(uchwyt, IPPROTO_TCP, opcje[0].first,
                   reinterpret_cast<const char *>(&opcje[0].second), sizeof(DWORD))
        != 0) {
        tcp_keepalive ustawienia {1, bezczynnoscS * 1000, odstepS * 1000};
        DWORD zwrocono = 0;
        WSAIoctl(uchwyt, SIO_KEEPALIVE_VALS, &ustawienia, sizeof ustawienia, nullptr, 0, &zwrocono,
                 nullptr, nullptr);
        return;
    }
    for (const auto &[opcja, wartosc] : opcje)
        setsockopt(uchwyt, IPPROTO_TCP, opcja, reinterpret_cast<const char *>(&wartosc),
                   sizeof wartosc);
#endif
}
