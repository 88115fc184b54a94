#ifndef BERKELEY_H
#define BERKELEY_H

#include <QList>
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

// The averaging of one exchange over ordinals 1 to `ile` of the two arrays:
// every outlier is marked as not accepted in `przyjete` and its ordinal
// appended to `odrzucone`, in ascending order; the accepted differences are
// summed in roznice[0], which is left holding the average and returned.
qint32 usrednijRoznice(qint32 roznice[], qint32 przyjete[], qint32 ile, qint32 prog,
                       QList<qint32> &odrzucone);

#endif // BERKELEY_H
