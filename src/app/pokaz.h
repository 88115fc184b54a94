#ifndef POKAZ_H
#define POKAZ_H

#include <QByteArray>
#include <QString>

// Bytes someone else chose, as a line may show them: printable ASCII as it
// is, the rest (control characters, which a terminal would obey, and bytes
// beyond ASCII) as \xNN, and no more than a few dozen.
QString pokazBajty(const QByteArray &bajty);

#endif // POKAZ_H
