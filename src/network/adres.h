#ifndef ADRES_H
#define ADRES_H

#include <QHostAddress>
#include <QList>
#include <QString>

// The address the window shows for a started server: the first of the host's
// addresses that is neither the IPv4 loopback nor without an IPv4 value,
// or 127.0.0.1 when there is none.
QString wybierzAdres(const QList<QHostAddress> &adresy);

#endif // ADRES_H
