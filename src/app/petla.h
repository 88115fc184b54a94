#ifndef PETLA_H
#define PETLA_H

// Chooses the event loop before the application object exists: Qt's own
// Unix loop rather than GLib's, which pays for every socket each time one
// starts or stops waiting to write, so that an exchange with thousands of
// clients costs O(n²). An environment that already says which loop to use
// is left alone.
void wybierzPetle();

#endif // PETLA_H
