#include "sygnaly.h"

#include <QSocketNotifier>

#include <atomic>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <windows.h>
#endif

namespace {
// Read by the threads Windows starts for its console and service requests.
std::atomic<Sygnaly *> jedyne {nullptr};
int prosbyProcesu = 0; // what this process takes

#if defined(Q_OS_UNIX)
// The handler marks the request and wakes the event loop through a socket
// pair. It never blocks: both ends are non-blocking, and a full pair already
// holds a byte that wakes the loop, which then reads every request marked,
// so that a storm of one signal never hides another.
int para[2] = {-1, -1};
QSocketNotifier *powiadamiacz = nullptr;
std::atomic<int> oznaczone {0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

int prosbaSygnalu(int numer)
{
    switch (numer) {
    case SIGHUP:
        return Sygnaly::Rotacja;
    case SIGUSR1:
        return Sygnaly::Stan;
    default:
        return Sygnaly::Zakonczenie;
    }
}

void obsluz(int numer)
{
    // The interrupted code may be about to read errno.
    const int bladPrzed = errno;
    oznaczone.fetch_or(prosbaSygnalu(numer));
    const char bajt = 0;
    [[maybe_unused]] const auto zapisano = ::write(para[0], &bajt, 1);
    errno = bladPrzed;
}

QList<int> numery()
{
    QList<int> wynik;
    if (prosbyProcesu & Sygnaly::Zakonczenie)
        wynik << SIGTERM << SIGINT;
    if (prosbyProcesu & Sygnaly::Rotacja)
        wynik << SIGHUP;
    if (prosbyProcesu & Sygnaly::Stan)
        wynik << SIGUSR1;
    return wynik;
}
#elif defined(Q_OS_WIN)
HANDLE zakonczone = nullptr; // set once the program has done what it does before it ends
HWND okno = nullptr;
constexpr DWORD czekajNaKoniecMs = 4000; // Windows allows five seconds

void popros()
{
    Sygnaly::poprosOZakonczenie();
}

// Runs on a thread of its own that the system starts.
BOOL WINAPI obsluzKonsole(DWORD zdarzenie)
{
    popros();
    // After these the process ends as soon as this returns.
    if (zdarzenie == CTRL_CLOSE_EVENT || zdarzenie == CTRL_LOGOFF_EVENT
        || zdarzenie == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(zakonczone, czekajNaKoniecMs);
    return TRUE;
}

// A hidden window of the process: Windows tells windows, not processes, of a
// request to close and of the end of a session.
LRESULT CALLBACK obsluzOkno(HWND hwnd, UINT komunikat, WPARAM w, LPARAM l)
{
    switch (komunikat) {
    case WM_CLOSE:
        popros();
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The session ends once this returns: the end runs here and now.
        if (Sygnaly *odbiorca = jedyne; w && odbiorca)
            emit odbiorca->zakoncz();
        return 0;
    default:
        return DefWindowProcW(hwnd, komunikat, w, l);
    }
}
#endif
} // namespace

Sygnaly::Sygnaly(int prosby, QObject *parent)
    : QObject(parent)
{
    jedyne = this;
    prosbyProcesu = prosby;
#if defined(Q_OS_UNIX)
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, para) != 0) {
        powod = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    powiadamiacz = new QSocketNotifier(para[1], QSocketNotifier::Read, this);
    connect(powiadamiacz, &QSocketNotifier::activated, this, &Sygnaly::czytaj);
    struct sigaction dzialanie
    {
    };
    dzialanie.sa_handler = obsluz;
    sigemptyset(&dzialanie.sa_mask);
    dzialanie.sa_flags = SA_RESTART;
    for (int numer : numery())
        if (sigaction(numer, &dzialanie, nullptr) != 0)
            powod = QString::fromLocal8Bit(std::strerror(errno));
#elif defined(Q_OS_WIN)
    if (!(prosby & Zakonczenie))
        return;
    zakonczone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!zakonczone || !SetConsoleCtrlHandler(obsluzKonsole, TRUE))
        powod = qt_error_string();
    WNDCLASSW klasa {};
    klasa.lpfnWndProc = obsluzOkno;
    klasa.hInstance = GetModuleHandleW(nullptr);
    klasa.lpszClassName = L"SerwerSynchronizacjiSygnaly";
    RegisterClassW(&klasa);
    okno = CreateWindowExW(0, klasa.lpszClassName, L"Serwer Synchronizacji", WS_OVERLAPPED, 0, 0, 0,
                           0, nullptr, nullptr, klasa.hInstance, nullptr);
#endif
}

Sygnaly::~Sygnaly()
{
#if defined(Q_OS_UNIX)
    for (int numer : numery())
        std::signal(numer, SIG_DFL);
    delete powiadamiacz;
    powiadamiacz = nullptr;
    ::close(para[0]);
    ::close(para[1]);
    para[0] = para[1] = -1;
#elif defined(Q_OS_WIN)
    if (prosbyProcesu & Zakonczenie) {
        SetConsoleCtrlHandler(obsluzKonsole, FALSE);
        DestroyWindow(okno);
        UnregisterClassW(L"SerwerSynchronizacjiSygnaly", GetModuleHandleW(nullptr));
        zakonczono();
        CloseHandle(zakonczone);
        zakonczone = nullptr;
    }
#endif
    jedyne = nullptr;
}

void Sygnaly::poprosOZakonczenie()
{
    if (Sygnaly *odbiorca = jedyne)
        QMetaObject::invokeMethod(odbiorca, &Sygnaly::zakoncz, Qt::QueuedConnection);
}

void Sygnaly::zakonczono()
{
#ifdef Q_OS_WIN
    if (zakonczone)
        SetEvent(zakonczone);
#endif
}

void Sygnaly::czytaj()
{
#ifdef Q_OS_UNIX
    char bajty[64];
    while (::read(para[1], bajty, sizeof bajty) > 0) { }
    // The end comes last: what was asked before it is done first.
    const int zadane = oznaczone.exchange(0);
    if (zadane & Rotacja)
        emit otworzPonownie();
    if (zadane & Stan)
        emit podajStan();
    if (zadane & Zakonczenie)
        emit zakoncz();
#endif
}
