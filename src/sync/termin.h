#ifndef TERMIN_H
#define TERMIN_H

#include <QTime>

// The server clock advances by one tick of this length at a time.
constexpr int taktMs = 100;

// Whether a periodic synchronization armed for `nastepna` with a period of
// `okresMs` is due at clock time `czas`: the clock has run at least one
// period since the arming, counted around midnight.
bool synchNalezna(QTime czas, QTime nastepna, qint64 okresMs);

#endif // TERMIN_H
