#ifndef ZEGARKLIENTA_H
#define ZEGARKLIENTA_H

#include <QTime>

// The clock a client reports in its replies and sets when an agreed time
// comes: a simulated one, or this machine's own.
class ZegarKlienta
{
public:
    virtual ~ZegarKlienta() = default;
    virtual QTime czas() const = 0;
    // Whether the clock took the agreed time.
    virtual bool ustaw(QTime uzgodniony) = 0;
};

#endif // ZEGARKLIENTA_H
