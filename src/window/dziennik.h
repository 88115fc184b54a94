#ifndef DZIENNIK_H
#define DZIENNIK_H

#include <QString>
#include <QTime>

// "HH:mm:ss" of the server clock: the form of every time-stamp and every time
// shown in the window.
QString godzina(QTime czas);

// A time-stamped log line: the server clock followed directly by the message,
// which brings its own leading " - ".
QString zeZnacznikiem(QTime czas, const QString &tresc);

#endif // DZIENNIK_H
