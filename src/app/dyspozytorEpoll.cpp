#include "dyspozytorEpoll.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <private/qtimerinfo_unix_p.h>

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

constexpr uint32_t zdarzeniaTypu[3] = {EPOLLIN, EPOLLOUT, EPOLLPRI};

// What wakes each kind of notifier: a closed or failed socket must be read
// (and written) to be noticed, as poll() reports it.
constexpr uint32_t budziTyp[3]
    = {EPOLLIN | EPOLLHUP | EPOLLERR | EPOLLRDHUP, EPOLLOUT | EPOLLHUP | EPOLLERR, EPOLLPRI};

} // namespace

DyspozytorEpoll::DyspozytorEpoll(PoPrzebiegu poPrzebiegu, QObject *parent)
    : QAbstractEventDispatcher(parent)
    , zegary(std::make_unique<QTimerInfoList>())
    , poPrzebiegu(std::move(poPrzebiegu))
{
    epoll = epoll_create1(EPOLL_CLOEXEC);
    budzik = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epoll < 0 || budzik < 0)
        qFatal("epoll: %s", strerror(errno));
    epoll_event zdarzenie {};
    zdarzenie.events = EPOLLIN;
    zdarzenie.data.fd = budzik;
    epoll_ctl(epoll, EPOLL_CTL_ADD, budzik, &zdarzenie);
}

DyspozytorEpoll::~DyspozytorEpoll()
{
    ::close(budzik);
    ::close(epoll);
    qDeleteAll(*zegary);
}

bool DyspozytorEpoll::processEvents(QEventLoop::ProcessEventsFlags flags)
{
    przerwano.store(false, std::memory_order_relaxed);
    emit awake();
    QCoreApplication::sendPostedEvents();

    // Anything posted meanwhile, from any thread, wakes the wait below.
    int limitMs = 0;
    const bool czeka = flags.testFlag(QEventLoop::WaitForMoreEvents)
        && !przerwano.load(std::memory_order_relaxed);
    if (czeka) {
        timespec doZegara {};
        limitMs = zegary->timerWait(doZegara)
            ? int(doZegara.tv_sec * 1000 + (doZegara.tv_nsec + 999'999) / 1'000'000)
            : -1;
        emit aboutToBlock();
    }
    uzgodnijZbior();
    epoll_event gotowe[1024];
    int ile = epoll_wait(epoll, gotowe, int(std::size(gotowe)), limitMs);
    if (ile < 0)
        ile = 0; // a signal came; the next pass goes on
    if (czeka)
        emit awake();

    bool cos = false;
    for (int i = 0; i < ile; ++i) {
        const int fd = gotowe[i].data.fd;
        if (fd == budzik) {
            eventfd_t licznik;
            eventfd_read(budzik, &licznik);
            continue;
        }
        const auto deskryptor = deskryptory.constFind(fd);
        if (deskryptor == deskryptory.cend())
            continue;
        for (int typ = 0; typ < 3; ++typ)
            if (deskryptor->powiadamiacze[typ] && (gotowe[i].events & budziTyp[typ]))
                dodajOczekujacy(deskryptor->powiadamiacze[typ]);
    }
    if (!flags.testFlag(QEventLoop::ExcludeSocketNotifiers)) {
        for (qsizetype i = 0; i < oczekujace.size(); ++i) {
            QSocketNotifier *powiadamiacz = oczekujace[i];
            if (!wciazOczekujace.remove(powiadamiacz))
                continue; // unregistered by an earlier one
            QEvent zdarzenie(QEvent::SockAct);
            QCoreApplication::sendEvent(powiadamiacz, &zdarzenie);
            cos = true;
        }
        oczekujace.clear();
        wciazOczekujace.clear();
    }
    if (!flags.testFlag(QEventLoop::X11ExcludeTimers))
        cos |= zegary->activateTimers() > 0;
    if (poPrzebiegu)
        cos |= poPrzebiegu(flags);
    return cos;
}

void DyspozytorEpoll::dodajOczekujacy(QSocketNotifier *powiadamiacz)
{
    if (!wciazOczekujace.contains(powiadamiacz)) {
        wciazOczekujace.insert(powiadamiacz);
        oczekujace.append(powiadamiacz);
    }
}

void DyspozytorEpoll::zmieniony(int fd)
{
    zmienione.append(fd);
}

void DyspozytorEpoll::uzgodnijZbior()
{
    for (int fd : std::as_const(zmienione)) {
        const auto deskryptor = deskryptory.find(fd);
        if (deskryptor == deskryptory.end())
            continue; // already brought in line, or gone
        uint32_t chciane = 0;
        for (int typ = 0; typ < 3; ++typ)
            if (deskryptor->powiadamiacze[typ])
                chciane |= zdarzeniaTypu[typ];
        if (chciane != deskryptor->wZbiorze) {
            epoll_event zdarzenie {};
            zdarzenie.events = chciane;
            zdarzenie.data.fd = fd;
            if (chciane == 0)
                epoll_ctl(epoll, EPOLL_CTL_DEL, fd, nullptr);
            else if (deskryptor->wZbiorze == 0
                     || epoll_ctl(epoll, EPOLL_CTL_MOD, fd, &zdarzenie) != 0)
                // New, or closed and opened again under the same number
                // while out of the set.
                epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &zdarzenie);
            deskryptor->wZbiorze = chciane;
        }
        if (chciane == 0)
            deskryptory.erase(deskryptor);
    }
    zmienione.clear();
}

void DyspozytorEpoll::registerSocketNotifier(QSocketNotifier *notifier)
{
    const int fd = int(notifier->socket());
    deskryptory[fd].powiadamiacze[int(notifier->type())] = notifier;
    zmieniony(fd);
}

void DyspozytorEpoll::unregisterSocketNotifier(QSocketNotifier *notifier)
{
    wciazOczekujace.remove(notifier);
    const int fd = int(notifier->socket());
    const auto deskryptor = deskryptory.find(fd);
    if (deskryptor == deskryptory.end())
        return;
    QSocketNotifier *&miejsce = deskryptor->powiadamiacze[int(notifier->type())];
    if (miejsce != notifier)
        return;
    miejsce = nullptr;
    zmieniony(fd);
}

void DyspozytorEpoll::registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                                    QObject *object)
{
    zegary->registerTimer(timerId, interval, timerType, object);
}

bool DyspozytorEpoll::unregisterTimer(int timerId)
{
    return zegary->unregisterTimer(timerId);
}

bool DyspozytorEpoll::unregisterTimers(QObject *object)
{
    return zegary->unregisterTimers(object);
}

QList<QAbstractEventDispatcher::TimerInfo> DyspozytorEpoll::registeredTimers(QObject *object) const
{
    return zegary->registeredTimers(object);
}

int DyspozytorEpoll::remainingTime(int timerId)
{
    return zegary->timerRemainingTime(timerId);
}

void DyspozytorEpoll::wakeUp()
{
    eventfd_write(budzik, 1);
}

void DyspozytorEpoll::interrupt()
{
    przerwano.store(true, std::memory_order_relaxed);
    wakeUp();
}
