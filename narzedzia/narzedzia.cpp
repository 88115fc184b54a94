#include "narzedzia.h"

#include <QFile>
#include <QTcpServer>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

qint64 pamiecKB()
{
#ifdef Q_OS_UNIX
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (statm.open(QIODevice::ReadOnly))
        return statm.readAll().split(' ').value(1).toLongLong() * (sysconf(_SC_PAGESIZE) / 1024);
#endif
    return 0;
}

qint64 szczytPamieciKB()
{
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
    QTcpServer proba;
    proba.listen(QHostAddress::LocalHost, 0);
    return proba.serverPort();
}
