#ifndef DYSPOZYTOREPOLL_H
#define DYSPOZYTOREPOLL_H

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QHash>
#include <QList>
#include <QSet>

#include <cstdint>

#include <atomic>
#include <functional>
#include <memory>

class QSocketNotifier;
class QTimerInfoList;

// The event loop of a server with thousands of connections, on Linux. Qt's
// own loops ask the system about every socket on every pass (poll()), which
// costs as much per pass as there are clients; this one keeps the sockets in
// an epoll set and learns only of those that are ready. Timers, posted
// events and the rest behave as in Qt's loop, whose timer list it uses.
//
// It serves programs without a window system of their own (the client, the
// server without a window or offscreen); `poPrzebiegu`, when given, runs at
// the end of each pass, for the window system's queued events.
class DyspozytorEpoll final : public QAbstractEventDispatcher
{
public:
    using PoPrzebiegu = std::function<bool(QEventLoop::ProcessEventsFlags)>;

    explicit DyspozytorEpoll(PoPrzebiegu poPrzebiegu = {}, QObject *parent = nullptr);
    ~DyspozytorEpoll() override;

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;

    void registerSocketNotifier(QSocketNotifier *notifier) override;
    void unregisterSocketNotifier(QSocketNotifier *notifier) override;

    void registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                       QObject *object) override;
    bool unregisterTimer(int timerId) override;
    bool unregisterTimers(QObject *object) override;
    QList<TimerInfo> registeredTimers(QObject *object) const override;
    int remainingTime(int timerId) override;

    void wakeUp() override;
    void interrupt() override;

private:
    // The notifiers of one descriptor (read, write, exception), and the
    // events the epoll set has for it now.
    struct Deskryptor
    {
        QSocketNotifier *powiadamiacze[3] = {};
        uint32_t wZbiorze = 0;
    };
    void zmieniony(int fd);
    void uzgodnijZbior();
    void dodajOczekujacy(QSocketNotifier *powiadamiacz);

    int epoll = -1;
    int budzik = -1; // an eventfd: wakeUp() from any thread
    QHash<int, Deskryptor> deskryptory;
    // Descriptors whose notifiers changed since the set was last brought in
    // line. A socket that starts and stops waiting to write within one pass
    // (a frame written and flushed at once) costs the set nothing.
    QList<int> zmienione;
    std::unique_ptr<QTimerInfoList> zegary;
    // Notifiers ready in this pass, in order; one leaves the set when it is
    // unregistered before its turn.
    QList<QSocketNotifier *> oczekujace;
    QSet<QSocketNotifier *> wciazOczekujace;
    std::atomic<bool> przerwano {false};
    PoPrzebiegu poPrzebiegu;
};

#endif // DYSPOZYTOREPOLL_H
