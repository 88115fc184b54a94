#ifndef NARZEDZIA_H
#define NARZEDZIA_H

// Helpers of the tests and the benchmark.

#include <QtGlobal>

// Resident memory of this process, in KB; 0 where it cannot be read.
qint64 pamiecKB();

// The most resident memory this process has had, in KB; 0 where it cannot
// be read.
qint64 szczytPamieciKB();

// A TCP port that nobody listens on at the moment, nor is likely to take
// for an outgoing connection.
quint16 wolnyPort();

#endif // NARZEDZIA_H
