#include "petlaEpoll.h"

#include <QCoreApplication>

#ifdef Q_OS_LINUX
#include <QSocketNotifier>
#include <QTimerEvent>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

qint64 terazNs()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// What epoll watches a descriptor for, from the notifiers it has.
uint32_t maska(const QSocketNotifier *const powiadamiacze[3])
{
    return (powiadamiacze[QSocketNotifier::Read] ? uint32_t(EPOLLIN) : 0u)
        | (powiadamiacze[QSocketNotifier::Write] ? uint32_t(EPOLLOUT) : 0u)
        | (powiadamiacze[QSocketNotifier::Exception] ? uint32_t(EPOLLPRI) : 0u);
}

// Which notifiers of a descriptor what epoll reported wakes, as poll()'s do
// in Qt's own loop: a hang-up or an error is read, an error written too.
bool budzi(QSocketNotifier::Type typ, uint32_t zdarzenia)
{
    switch (typ) {
    case QSocketNotifier::Read:
        return zdarzenia & (EPOLLIN | EPOLLHUP | EPOLLERR | EPOLLRDHUP);
    case QSocketNotifier::Write:
        return zdarzenia & (EPOLLOUT | EPOLLERR);
    case QSocketNotifier::Exception:
        return zdarzenia & EPOLLPRI;
    }
    return false;
}

// The notifiers of the passes under way, nested ones included.
std::vector<std::vector<QSocketNotifier *> *> wysylane;

} // namespace

PetlaEpoll::PetlaEpoll()
    : epoll(epoll_create1(EPOLL_CLOEXEC))
    , budzik(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (epoll < 0 || budzik < 0)
        return;
    epoll_event zdarzenie {};
    zdarzenie.events = EPOLLIN;
    zdarzenie.data.fd = budzik;
    if (epoll_ctl(epoll, EPOLL_CTL_ADD, budzik, &zdarzenie) != 0) {
        ::close(budzik);
        budzik = -1;
    }
}

PetlaEpoll::~PetlaEpoll()
{
    if (budzik >= 0)
        ::close(budzik);
    if (epoll >= 0)
        ::close(epoll);
}

bool PetlaEpoll::processEvents(QEventLoop::ProcessEventsFlags flags)
{
    przerwany = false;
    emit awake();
    QCoreApplication::sendPostedEvents();

    const bool zZegarami = !(flags & QEventLoop::X11ExcludeTimers);
    const bool zGniazdami = !(flags & QEventLoop::ExcludeSocketNotifiers);
    const bool mozeCzekac = (flags & QEventLoop::WaitForMoreEvents) && !przerwany;
    if (mozeCzekac)
        emit aboutToBlock();
    if (przerwany)
        return false;

    powiedzEpoll();
    constexpr int naRaz = 256; // the rest are ready at the next pass, as epoll keeps them
    epoll_event zdarzenia[naRaz];
    int gotowych = epoll_wait(epoll, zdarzenia, naRaz,
                              zZegarami ? czekajMs(mozeCzekac) : (mozeCzekac ? -1 : 0));
    if (gotowych < 0)
        gotowych = 0; // a signal: the pass ends, the next one looks again

    std::vector<QSocketNotifier *> doWyslania;
    for (int i = 0; i < gotowych; ++i) {
        const int deskryptor = zdarzenia[i].data.fd;
        if (deskryptor == budzik) {
            // Cleared before it is emptied, so that a wake-up from another
            // thread meanwhile writes again and is never lost.
            obudzony.store(false);
            uint64_t ile = 0;
            [[maybe_unused]] const auto przeczytano = ::read(budzik, &ile, sizeof ile);
            continue;
        }
        const auto opis = deskryptory.constFind(deskryptor);
        if (!zGniazdami || opis == deskryptory.cend())
            continue;
        for (QSocketNotifier *powiadamiacz : opis->powiadamiacze)
            if (powiadamiacz && budzi(powiadamiacz->type(), zdarzenia[i].events))
                doWyslania.push_back(powiadamiacz);
    }
    // Regular files, which epoll does not take, are always ready, as poll()
    // says they are.
    if (zGniazdami)
        for (const int deskryptor : std::as_const(zawszeGotowe))
            for (QSocketNotifier *powiadamiacz : deskryptory.value(deskryptor).powiadamiacze)
                if (powiadamiacz)
                    doWyslania.push_back(powiadamiacz);

    wysylane.push_back(&doWyslania);
    int wyslanych = 0;
    for (QSocketNotifier *&powiadamiacz : doWyslania) {
        if (!powiadamiacz)
            continue; // unregistered by an earlier handler of this pass
        QEvent zdarzenie(QEvent::SockAct);
        QCoreApplication::sendEvent(std::exchange(powiadamiacz, nullptr), &zdarzenie);
        ++wyslanych;
    }
    wysylane.pop_back();
    if (zZegarami)
        wyslanych += wyslijZegary();
    return wyslanych > 0;
}

// How long the pass may wait: until the nearest timer is due, rounded up so
// that it never wakes too early and spins; for ever without timers.
int PetlaEpoll::czekajMs(bool mozeCzekac) const
{
    if (!mozeCzekac)
        return 0;
    qint64 najblizszy = -1;
    for (const Zegar &zegar : zegary)
        if (!zegar.wTrakcie && (najblizszy < 0 || zegar.terminNs < najblizszy))
            najblizszy = zegar.terminNs;
    if (najblizszy < 0)
        return -1;
    const qint64 zostalo = najblizszy - terazNs();
    return zostalo <= 0 ? 0 : int(qMin<qint64>((zostalo + 999'999) / 1'000'000, 24 * 3600 * 1000));
}

// Every timer due fires once a pass, each re-armed a period on, or a period
// from now when it is later than that (a loop that stood still fires it
// once, not once for each period it missed).
int PetlaEpoll::wyslijZegary()
{
    const qint64 teraz = terazNs();
    std::vector<int> nalezne;
    for (const Zegar &zegar : zegary)
        if (!zegar.wTrakcie && zegar.terminNs <= teraz)
            nalezne.push_back(zegar.id);
    int wyslanych = 0;
    for (const int id : nalezne) {
        auto zegar = std::find_if(zegary.begin(), zegary.end(),
                                  [id](const Zegar &z) { return z.id == id; });
        if (zegar == zegary.end() || zegar->wTrakcie)
            continue; // unregistered by an earlier one's event, or inside its own
        const qint64 interwalNs = zegar->interwalMs * 1'000'000;
        zegar->terminNs += interwalNs;
        if (zegar->terminNs < teraz)
            zegar->terminNs = teraz + interwalNs;
        zegar->wTrakcie = true;
        QObject *obiekt = zegar->obiekt;
        QTimerEvent zdarzenie(id);
        QCoreApplication::sendEvent(obiekt, &zdarzenie);
        ++wyslanych;
        // Its event may have unregistered it, or registered others.
        zegar = std::find_if(zegary.begin(), zegary.end(),
                             [id](const Zegar &z) { return z.id == id; });
        if (zegar != zegary.end())
            zegar->wTrakcie = false;
    }
    return wyslanych;
}

void PetlaEpoll::registerSocketNotifier(QSocketNotifier *notifier)
{
    const int deskryptor = int(notifier->socket());
    deskryptory[deskryptor].powiadamiacze[notifier->type()] = notifier;
    zmienObserwowane(deskryptor);
}

void PetlaEpoll::unregisterSocketNotifier(QSocketNotifier *notifier)
{
    const int deskryptor = int(notifier->socket());
    const auto opis = deskryptory.find(deskryptor);
    if (opis != deskryptory.end() && opis->powiadamiacze[notifier->type()] == notifier) {
        opis->powiadamiacze[notifier->type()] = nullptr;
        zmienObserwowane(deskryptor);
    }
    for (std::vector<QSocketNotifier *> *lista : wysylane)
        std::replace(lista->begin(), lista->end(), notifier,
                     static_cast<QSocketNotifier *>(nullptr));
}

// What the descriptor's notifiers now want. A socket's write notifier is
// turned on for every write and off once it is written, a call of epoll's
// each: the changes wait for the end of the pass, where such a pair makes
// none. A descriptor that wants nothing is taken out at once, as its number
// may be closed and given to another socket before then.
void PetlaEpoll::zmienObserwowane(int deskryptor)
{
    const auto opis = deskryptory.find(deskryptor);
    if (opis == deskryptory.end())
        return;
    if (maska(opis->powiadamiacze) == 0) {
        if (opis->zawszeGotowy) {
            zawszeGotowe.removeOne(deskryptor);
        } else if (opis->wEpoll != 0) {
            epoll_event zdarzenie {};
            epoll_ctl(epoll, EPOLL_CTL_DEL, deskryptor, &zdarzenie);
        }
        deskryptory.erase(opis);
        return;
    }
    if (!std::exchange(opis->doZmiany, true))
        zmienione.push_back(deskryptor);
}

// epoll told what has changed since it was last asked.
void PetlaEpoll::powiedzEpoll()
{
    for (const int deskryptor : std::exchange(zmienione, {})) {
        const auto opis = deskryptory.find(deskryptor);
        if (opis == deskryptory.end() || !std::exchange(opis->doZmiany, false)
            || opis->zawszeGotowy)
            continue;
        epoll_event zdarzenie {};
        zdarzenie.events = maska(opis->powiadamiacze);
        zdarzenie.data.fd = deskryptor;
        if (zdarzenie.events == opis->wEpoll)
            continue;
        if (epoll_ctl(epoll, opis->wEpoll == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, deskryptor,
                      &zdarzenie)
            == 0) {
            opis->wEpoll = zdarzenie.events;
        } else if (errno == EPERM) { // a regular file
            opis->zawszeGotowy = true;
            zawszeGotowe.append(deskryptor);
        }
    }
}

void PetlaEpoll::registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                               QObject *object)
{
    zegary.push_back({timerId, qMax<qint64>(0, interval), timerType, object,
                      terazNs() + qMax<qint64>(0, interval) * 1'000'000, false});
}

bool PetlaEpoll::unregisterTimer(int timerId)
{
    const auto zegar = std::find_if(zegary.begin(), zegary.end(),
                                    [timerId](const Zegar &z) { return z.id == timerId; });
    if (zegar == zegary.end())
        return false;
    zegary.erase(zegar);
    return true;
}

bool PetlaEpoll::unregisterTimers(QObject *object)
{
    const auto przed = zegary.size();
    zegary.erase(std::remove_if(zegary.begin(), zegary.end(),
                                [object](const Zegar &z) { return z.obiekt == object; }),
                 zegary.end());
    return zegary.size() != przed;
}

QList<QAbstractEventDispatcher::TimerInfo> PetlaEpoll::registeredTimers(QObject *object) const
{
    QList<TimerInfo> wynik;
    for (const Zegar &zegar : zegary)
        if (zegar.obiekt == object)
            wynik.append(TimerInfo(zegar.id, int(zegar.interwalMs), zegar.typ));
    return wynik;
}

int PetlaEpoll::remainingTime(int timerId)
{
    for (const Zegar &zegar : zegary)
        if (zegar.id == timerId)
            return int(qMax<qint64>(0, (zegar.terminNs - terazNs() + 999'999) / 1'000'000));
    return -1;
}

void PetlaEpoll::wakeUp()
{
    // From any thread; a loop already woken is not woken again.
    if (obudzony.exchange(true))
        return;
    const uint64_t jeden = 1;
    [[maybe_unused]] const auto zapisano = ::write(budzik, &jeden, sizeof jeden);
}

void PetlaEpoll::interrupt()
{
    przerwany = true;
    wakeUp();
}

#endif

bool zainstalujPetleEpoll(bool domyslnie)
{
#ifndef Q_OS_LINUX
    Q_UNUSED(domyslnie);
    return false;
#else
    const QByteArray wybor = qgetenv("SERWER_PETLA");
    if (wybor != "epoll" && (!domyslnie || wybor == "qt"))
        return false;
    auto *petla = new PetlaEpoll;
    if (!petla->czynna()) {
        delete petla;
        return false;
    }
    QCoreApplication::setEventDispatcher(petla);
    return true;
#endif
}

bool naPetliEpoll()
{
#ifdef Q_OS_LINUX
    return dynamic_cast<PetlaEpoll *>(QAbstractEventDispatcher::instance()) != nullptr;
#else
    return false;
#endif
}
