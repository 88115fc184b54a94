#include "zegarSystemowy.h"

#include "app/usluga.h"
#include "sync/termin.h"
#include "zmianaZegara.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <ctime>
#include <sys/time.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/capability.h>
#endif

qint64 ZegarSystemowyMaszyny::monotonicznyMs() const
{
    return ::monotonicznyMs();
}

// Windows has nothing like it: the monotonic clock, begun again, tells.
QByteArray ZegarSystemowyMaszyny::rozruch() const
{
#ifdef Q_OS_LINUX
    QFile plik(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    if (plik.open(QIODevice::ReadOnly))
        return plik.readAll().trimmed();
#endif
    return podanyRozruch;
}

#ifndef Q_OS_WIN
const QLatin1String wywolaniePlynne("adjtime");
const QLatin1String wywolanieSkoku("clock_settime");

ZegarSystemowyMaszyny::ZegarSystemowyMaszyny() = default;
ZegarSystemowyMaszyny::~ZegarSystemowyMaszyny() = default;

QTime ZegarSystemowyMaszyny::czas() const
{
    return QTime::currentTime();
}

bool ZegarSystemowyMaszyny::mozeZmieniac()
{
#ifdef Q_OS_UNIX
    return true;
#else
    return false;
#endif
}

QString ZegarSystemowyMaszyny::innaUslugaCzasu()
{
    return QString();
}

bool ZegarSystemowyMaszyny::zakonczPozostawione()
{
    return false; // the kernel ends a slew by itself, whoever asked for it
}

bool ZegarSystemowyMaszyny::maUprawnienie()
{
#if defined(Q_OS_LINUX)
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &linia : status.readAll().split('\n'))
            if (linia.startsWith("CapEff:"))
                return (linia.mid(7).trimmed().toULongLong(nullptr, 16) >> CAP_SYS_TIME) & 1;
    return false;
#elif defined(Q_OS_UNIX)
    return geteuid() == 0;
#else
    return false;
#endif
}

int ZegarSystemowyMaszyny::przesun(qint64 ms, qint64 &pozostalo)
{
#ifdef Q_OS_UNIX
    const SekundyIMikro o = naSekundyIMikro(ms);
    const timeval korekta {time_t(o.sekundy), suseconds_t(o.mikrosekundy)};
    timeval poprzednia {0, 0};
    if (adjtime(&korekta, &poprzednia) != 0)
        return errno;
    pozostalo = qint64(poprzednia.tv_sec) * 1000 + qint64(poprzednia.tv_usec) / 1000;
    return 0;
#else
    Q_UNUSED(ms);
    Q_UNUSED(pozostalo);
    return ENOSYS;
#endif
}

int ZegarSystemowyMaszyny::przestaw(qint64 ms)
{
#ifdef Q_OS_UNIX
    // A slew still under way would move the clock again after the step.
    const timeval zero {0, 0};
    if (adjtime(&zero, nullptr) != 0)
        return errno;
    timespec teraz {};
    if (clock_gettime(CLOCK_REALTIME, &teraz) != 0)
        return errno;
    const SekundyINano nowa = przesunieta({qint64(teraz.tv_sec), qint64(teraz.tv_nsec)}, ms);
    const timespec nowy {time_t(nowa.sekundy), long(nowa.nanosekundy)};
    return clock_settime(CLOCK_REALTIME, &nowy) == 0 ? 0 : errno;
#else
    Q_UNUSED(ms);
    return ENOSYS;
#endif
}

QString ZegarSystemowyMaszyny::opisBledu(int blad) const
{
    return QString::fromLocal8Bit(std::strerror(blad));
}

QString wskazowkaUprawnien()
{
    // Run as the service, the service already is what the hint would offer.
    if (usluga::jakoUsluga())
        return QStringLiteral("usługa działa bez CAP_SYS_TIME: systemd go nie przyznał (w "
                              "kontenerze zwykle nie może)");
    return QStringLiteral("potrzebny root albo CAP_SYS_TIME: użyj usługi klient-systemowy (sudo "
                          "systemctl enable --now klient-systemowy, adres serwera w "
                          "/etc/default/klient-systemowy), która ma tylko to uprawnienie, albo "
                          "uruchom jako root");
}
#endif
