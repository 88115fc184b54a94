#ifndef DZIENNIK_H
#define DZIENNIK_H

#include <QString>
#include <QStringList>
#include <QTime>

// Each pane keeps its newest lines, this many; older ones leave from the top,
// so that a server that runs for months, or a storm of connections, cannot
// fill the memory. They leave this many more at a time: taking lines from
// the top of a pane costs its layout some 60 ms however many go, so the
// pane holds up to that many more before they go together.
constexpr int maksLinii = 100'000;
constexpr int liniiZaRazem = 10'000;

// "HH:mm:ss" of the server clock: the form of every time-stamp and every time
// shown in the window.
QString godzina(QTime czas);

// A time-stamped log line: the server clock followed directly by the message,
// which brings its own leading " - ".
QString zeZnacznikiem(QTime czas, const QString &tresc);

class QTextEdit;

// "<address>; Port:<port>" of the client's end of a connection.
QString opisAdresu(quint32 adres, quint16 port);

// Appends each line as a paragraph of plain text at the end of the pane, in
// one edit, and keeps the pane scrolled to its end if it was there. Of more
// lines than a pane keeps, only those it keeps are added.
void dopiszLinie(QTextEdit *okno, const QStringList &linie);

#endif // DZIENNIK_H
