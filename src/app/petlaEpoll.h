#ifndef PETLAEPOLL_H
#define PETLAEPOLL_H

#include <QAbstractEventDispatcher>
#include <QHash>
#include <QList>

#include <atomic>
#include <cstdint>
#include <vector>

class QSocketNotifier;

#ifdef Q_OS_LINUX
// Linux: an event loop that asks the system only about the sockets that are
// ready (epoll), so that a pass costs what happens in it, not the number of
// connections: Qt's own loop hands the kernel every watched socket on every
// pass (ppoll), which with thousands of idle clients costs O(n) for each
// tick of the clock. Built on Qt's public interface for event dispatchers,
// so that it ties the build to no Qt release; it keeps what the programs
// rely on: posted and deferred events, socket notifiers (level-triggered, as
// poll's are), timers to the millisecond. It has no window system: a window
// keeps Qt's own loop.
class PetlaEpoll final : public QAbstractEventDispatcher
{
public:
    PetlaEpoll();
    ~PetlaEpoll() override;

    // Whether the system gave what the loop needs.
    bool czynna() const { return epoll >= 0 && budzik >= 0; }

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
    struct Deskryptor
    {
        QSocketNotifier *powiadamiacze[3] = {}; // read, write, exception
        uint32_t wEpoll = 0; // what epoll was last told to watch it for
        bool doZmiany = false; // its notifiers changed since
        bool zawszeGotowy = false; // a regular file, which epoll does not take
    };
    struct Zegar
    {
        int id;
        qint64 interwalMs;
        Qt::TimerType typ;
        QObject *obiekt;
        qint64 terminNs;
        bool wTrakcie; // its event is being delivered: not again inside it
    };

    void zmienObserwowane(int deskryptor);
    void powiedzEpoll();
    int czekajMs(bool mozeCzekac) const;
    int wyslijGotowe(int gotowych);
    int wyslijZegary();

    int epoll = -1;
    int budzik = -1; // an eventfd that wakeUp() writes
    std::atomic<bool> obudzony {false};
    std::atomic<bool> przerwany {false};
    QHash<int, Deskryptor> deskryptory;
    QList<int> zawszeGotowe;
    std::vector<int> zmienione;
    std::vector<Zegar> zegary;
};

#endif

// Installs the loop for the application about to be made (before its
// object), unless the environment asks for Qt's own (SERWER_PETLA=qt); the
// environment may ask for it (SERWER_PETLA=epoll) where the program would
// not, as the tests do. Whether it was installed. Elsewhere than on Linux it
// does nothing.
bool zainstalujPetleEpoll(bool domyslnie);

// Whether the application runs on it: then no window is ever shown.
bool naPetliEpoll();

#endif // PETLAEPOLL_H
