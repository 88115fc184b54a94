#include "narzedzia.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTcpServer>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <windows.h>

#include <psapi.h>

namespace {
PROCESS_MEMORY_COUNTERS liczniki()
{
    PROCESS_MEMORY_COUNTERS wynik {};
    GetProcessMemoryInfo(GetCurrentProcess(), &wynik, sizeof wynik);
    return wynik;
}
} // namespace
#endif

qint64 pamiecKB()
{
#if defined(Q_OS_UNIX)
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (statm.open(QIODevice::ReadOnly))
        return statm.readAll().split(' ').value(1).toLongLong() * (sysconf(_SC_PAGESIZE) / 1024);
#elif defined(Q_OS_WIN)
    return qint64(liczniki().WorkingSetSize / 1024);
#endif
    return 0;
}

qint64 szczytPamieciKB()
{
#ifdef Q_OS_WIN
    return qint64(liczniki().PeakWorkingSetSize / 1024);
#endif
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &linia : status.readAll().split('\n'))
        if (linia.startsWith("VmHWM:"))
            return linia.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

quint16 wolnyPort()
{
    // Below the systems' ranges of ports for outgoing connections (Linux:
    // from 32768, Windows: from 49152), which could take it before the
    // server listens; free on every address, as the server listens.
    for (;;) {
        const auto port = quint16(20'000 + QRandomGenerator::global()->bounded(12'000));
        QTcpServer proba;
        if (proba.listen(QHostAddress::AnyIPv4, port))
            return port;
    }
}
