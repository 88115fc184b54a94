#ifndef PETLA_H
#define PETLA_H

#include <QStringList>

// Chooses the event loop before the application object exists. Without a
// window system of its own (no window, offscreen): a loop on epoll, whose
// cost per pass does not grow with the clients. On a desktop, whose window
// system brings its own loop: Qt's plain one rather than GLib's, which pays
// for every socket each time a socket starts or stops waiting to write.
void wybierzPetle(const QStringList &argumenty, bool bezOkna);

#endif // PETLA_H
