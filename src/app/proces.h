#ifndef PROCES_H
#define PROCES_H

#include <QStringList>

// What a program with many connections sets up before its application
// object:
// - room for the descriptors: every connection is one, and desktops start
//   programs with a soft limit of about a thousand, so it is raised to the
//   hard limit;
// - Qt's own Unix event loop rather than GLib's, which pays for every socket
//   each time one starts or stops waiting to write, so that an exchange with
//   thousands of clients costs O(n²); an environment that already says which
//   loop to use is left alone;
// - a reader of standard output that went away, or a log file that reached
//   the size limit, fail the write instead of ending the program;
// - on Windows, a console that shows the programs' UTF-8.
void przygotujProces();

// The program's arguments before an application object exists, whole: on
// Windows as the system keeps them, in UTF-16, so that a path outside the
// ANSI code page arrives as it was typed; elsewhere in the locale's
// encoding, as QCoreApplication::arguments() takes them.
QStringList argumentyProcesu(int argc, char *argv[]);

// Windows: a named mutex held while the program runs, by which an installer
// finds it running ("SerwerSynchronizacji", "KlientSynchronizacji"), in the
// namespace of every session where the program may, else of its own.
void oznaczUruchomiony(const char *nazwa);

#endif // PROCES_H
