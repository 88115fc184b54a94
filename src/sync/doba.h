#ifndef DOBA_H
#define DOBA_H

#include <QTime>

constexpr qint32 msDoby = 24 * 60 * 60 * 1000;

// How far time of day `a` is ahead of `b`, in milliseconds, taken as the
// equivalent nearest zero (from -12 h to +12 h): 00:00:01 is 3 s ahead of
// 23:59:58, not almost a day behind.
qint32 roznicaMs(QTime a, QTime b);

#endif // DOBA_H
