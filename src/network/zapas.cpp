#include "zapas.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int otworzZapas()
{
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}
} // namespace

ZapasDeskryptora::ZapasDeskryptora()
    : zapas(otworzZapas())
{
}

ZapasDeskryptora::~ZapasDeskryptora()
{
    if (zapas >= 0)
        ::close(zapas);
}

int ZapasDeskryptora::odrzucOczekujace(qintptr nasluch)
{
    if (zapas >= 0)
        ::close(zapas);
    int odrzuconych = 0;
    // The listening socket does not block: accept() fails once none wait.
    for (int gniazdo; (gniazdo = ::accept(int(nasluch), nullptr, nullptr)) >= 0; ++odrzuconych) {
        const linger odRazu {1, 0};
        ::setsockopt(gniazdo, SOL_SOCKET, SO_LINGER, &odRazu, sizeof odRazu);
        ::close(gniazdo);
    }
    zapas = otworzZapas();
    return odrzuconych;
}

qint64 ZapasDeskryptora::limit()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return -1;
    return qint64(limit.rlim_cur);
}
#else
ZapasDeskryptora::ZapasDeskryptora() = default;
ZapasDeskryptora::~ZapasDeskryptora() = default;

int ZapasDeskryptora::odrzucOczekujace(qintptr)
{
    return 0;
}

qint64 ZapasDeskryptora::limit()
{
    return -1;
}
#endif
