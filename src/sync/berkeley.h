#ifndef BERKELEY_H
#define BERKELEY_H

#include <QTime>

// How far a client's clock is ahead of the server's, in whole seconds
// truncated toward zero. The two are times of day, so the difference is taken
// as the equivalent nearest zero (from -12 h to +12 h): a client at 00:00:01
// is 3 s ahead of a server at 23:59:58, not almost a day behind.
qint32 roznicaSekund(QTime klient, QTime serwer);

// A difference beyond the threshold in either direction is left out of the
// average; one of exactly the threshold counts.
bool czyOdrzucic(qint32 roznica, qint32 prog);

// The Berkeley average: the sum of the accepted differences over the replies
// plus the server itself, whose own difference is 0. Truncated toward zero.
qint32 srednia(qint32 sumaPrzyjetych, qint32 liczbaOdpowiedzi);

#endif // BERKELEY_H
