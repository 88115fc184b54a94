#include "adres.h"

QString wybierzAdres(const QList<QHostAddress> &adresy)
{
    for (const QHostAddress &adres : adresy) {
        if (adres == QHostAddress::LocalHost || adres.toIPv4Address() == 0)
            continue;
        return adres.toString();
    }
    return QHostAddress(QHostAddress::LocalHost).toString();
}
