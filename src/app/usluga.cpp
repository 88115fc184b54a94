#include "usluga.h"

#ifdef Q_OS_UNIX
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace usluga {

bool doDziennikaSystemu(int deskryptor)
{
#ifdef Q_OS_UNIX
    // "device:inode" of the stream systemd connected to the journal; a
    // descriptor redirected since is another file.
    const QByteArray strumien = qgetenv("JOURNAL_STREAM");
    struct stat o
    {
    };
    if (strumien.isEmpty() || fstat(deskryptor, &o) != 0)
        return false;
    return strumien
        == QByteArray::number(qulonglong(o.st_dev)) + ':'
        + QByteArray::number(qulonglong(o.st_ino));
#else
    Q_UNUSED(deskryptor);
    return false;
#endif
}

QByteArray przedrostek(int deskryptor, Waga waga)
{
    static const bool dziennik[] = {false, doDziennikaSystemu(1), doDziennikaSystemu(2)};
    if (deskryptor < 1 || deskryptor > 2 || !dziennik[deskryptor])
        return QByteArray();
    return '<' + QByteArray::number(int(waga)) + '>';
}

void powiadom(const char *stan)
{
#ifdef Q_OS_UNIX
    const QByteArray gniazdo = qgetenv("NOTIFY_SOCKET");
    if (gniazdo.isEmpty() || (gniazdo[0] != '/' && gniazdo[0] != '@')
        || size_t(gniazdo.size()) >= sizeof(sockaddr_un::sun_path))
        return;
    sockaddr_un adres {};
    adres.sun_family = AF_UNIX;
    std::memcpy(adres.sun_path, gniazdo.constData(), size_t(gniazdo.size()));
    if (adres.sun_path[0] == '@')
        adres.sun_path[0] = '\0'; // an abstract address
    const int d = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (d < 0)
        return;
    ::sendto(d, stan, std::strlen(stan), MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&adres),
             socklen_t(offsetof(sockaddr_un, sun_path) + size_t(gniazdo.size())));
    ::close(d);
#elif defined(Q_OS_WIN)
    powiadomMenedzera(stan);
#else
    Q_UNUSED(stan);
#endif
}

#ifndef Q_OS_WIN
namespace {
bool uslugaSystemd = false;
}

bool jakoUsluga()
{
    return uslugaSystemd;
}

// Only the unit says it, with --usluga, and systemd confirms it by the
// socket it waits on: a shell that a unit started (systemd-run --pty, a
// terminal of a session) has the unit's variables but is no service.
bool polaczZMenedzerem(const QString &, QString &blad)
{
    if (qEnvironmentVariableIsEmpty("NOTIFY_SOCKET")) {
        blad = QStringLiteral("program nie został uruchomiony przez systemd jako usługa "
                              "(Type=notify, brak NOTIFY_SOCKET); uruchomiony ręcznie, działa bez "
                              "--usluga");
        return false;
    }
    uslugaSystemd = true;
    return true;
}

void zakonczono(int) { }
#else
bool jakoUsluga()
{
    return podMenedzerem();
}
#endif

} // namespace usluga
