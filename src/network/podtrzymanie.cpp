#include "podtrzymanie.h"

#include <QAbstractSocket>
#include <QVariant>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
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
#endif
}
