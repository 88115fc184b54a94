#ifndef HARMONOGRAM_H
#define HARMONOGRAM_H

#include <QTime>

// Whether a periodic synchronization armed for `nastepna` with a period of
// `okresMs` is due at clock time `czas`: the clock has run at least one
// period since the arming, counted around midnight.
bool synchNalezna(QTime czas, QTime nastepna, qint64 okresMs);

#endif // HARMONOGRAM_H
