#include "sygnaly.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {
int para[2] = {-1, -1};

#ifdef Q_OS_UNIX
void obsluz(int numer)
{
    // The interrupted code may be about to read errno.
    const int bladPrzed = errno;
    const char bajt = char(numer);
    [[maybe_unused]] const auto zapisano = ::write(para[0], &bajt, 1);
    errno = bladPrzed;
}
#endif
} // namespace

Sygnaly::Sygnaly(std::initializer_list<int> numery, QObject *parent)
    : QObject(parent)
    , numery(numery)
{
#ifdef Q_OS_UNIX
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, para) != 0)
        return;
    powiadamiacz = new QSocketNotifier(para[1], QSocketNotifier::Read, this);
    connect(powiadamiacz, &QSocketNotifier::activated, this, &Sygnaly::czytaj);
    struct sigaction dzialanie
    {
    };
    dzialanie.sa_handler = obsluz;
    sigemptyset(&dzialanie.sa_mask);
    dzialanie.sa_flags = SA_RESTART;
    for (int numer : numery)
        sigaction(numer, &dzialanie, nullptr);
#else
    Q_UNUSED(numery);
#endif
}

Sygnaly::~Sygnaly()
{
#ifdef Q_OS_UNIX
    for (int numer : std::as_const(numery))
        std::signal(numer, SIG_DFL);
    delete powiadamiacz;
    ::close(para[0]);
    ::close(para[1]);
    para[0] = para[1] = -1;
#endif
}

void Sygnaly::czytaj()
{
#ifdef Q_OS_UNIX
    char bajt = 0;
    if (::read(para[1], &bajt, 1) == 1)
        emit odebrano(int(bajt));
#endif
}
