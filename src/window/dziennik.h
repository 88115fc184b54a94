#ifndef DZIENNIK_H
#define DZIENNIK_H

#include <QString>
#include <QStringList>
#include <QTime>

// "HH:mm:ss" of the server clock: the form of every time-stamp and every time
// shown in the window.
QString godzina(QTime czas);

// A time-stamped log line: the server clock followed directly by the message,
// which brings its own leading " - ".
QString zeZnacznikiem(QTime czas, const QString &tresc);

class QAbstractSocket;
class QTextEdit;

// "<address>; Port:<port>" of the client's end of a connection.
QString opisKlienta(const QAbstractSocket &gniazdo);

// Appends each line as a paragraph of plain text at the end of the pane, in
// one edit, and keeps the pane scrolled to its end if it was there.
void dopiszLinie(QTextEdit *okno, const QStringList &linie);

#endif // DZIENNIK_H
