#include "sygnaly.h"

#include <QSocketNotifier>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <windows.h>
#endif

namespace {
Sygnaly *jedyne = nullptr;
int prosby = 0;

#if defined(Q_OS_UNIX)
// The handler only writes the signal's number into a socket pair, which the
// event loop reads.
int para[2] = {-1, -1};
QSocketNotifier *powiadamiacz = nullptr;

void obsluz(int numer)
{
    // The interrupted code may be about to read errno.
    const int bladPrzed = errno;
    const char bajt = char(numer);
    [[maybe_unused]] const auto zapisano = ::write(para[0], &bajt, 1);
    errno = bladPrzed;
}

QList<int> numery()
{
    QList<int> wynik;
    if (prosby & Sygnaly::Zakonczenie)
        wynik << SIGTERM << SIGINT;
    if (prosby & Sygnaly::Rotacja)
        wynik << SIGHUP;
    if (prosby & Sygnaly::Stan)
        wynik << SIGUSR1;
    return wynik;
}
#elif defined(Q_OS_WIN)
HANDLE zakonczone = nullptr; // set once the program has done what it does before it ends
HWND okno = nullptr;
constexpr DWORD czekajNaKoniecMs = 4000; // Windows allows five seconds

void popros()
{
    QMetaObject::invokeMethod(jedyne, &Sygnaly::zakoncz, Qt::QueuedConnection);
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
        if (w)
            emit jedyne->zakoncz();
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
    ::prosby = prosby;
#if defined(Q_OS_UNIX)
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, para) != 0) {
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
    if (prosby & Zakonczenie) {
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
    if (jedyne)
        QMetaObject::invokeMethod(jedyne, &Sygnaly::zakoncz, Qt::QueuedConnection);
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
    char bajt = 0;
    if (::read(para[1], &bajt, 1) != 1)
        return;
    if (bajt == SIGHUP)
        emit otworzPonownie();
    else if (bajt == SIGUSR1)
        emit podajStan();
    else
        emit zakoncz();
#endif
}
