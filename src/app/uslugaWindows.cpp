// A program run by Windows' service manager: the manager's dispatcher runs on
// a thread of its own, as the manager wants it, while the program goes on
// on its main thread with Qt's event loop. A stop or the machine's shutdown
// is a request to end (Sygnaly), as SIGTERM is under systemd; the program
// says when it is running (it listens), when it stops, and with what code
// it ended, so that the manager restarts a failed service.

#include "sygnaly.h"
#include "usluga.h"

#include <QString>

#include <cstring>
#include <string>
#include <thread>

#include <windows.h>

namespace {

std::wstring nazwaUslugi;
SERVICE_STATUS_HANDLE uchwyt = nullptr;
HANDLE zarejestrowana = nullptr; // the manager has called the service in
DWORD bladDyspozytora = 0;
std::thread dyspozytor;
constexpr DWORD czekajNaStartMs = 30'000;
constexpr DWORD czekajNaKoniecMs = 10'000;

void ustawStan(DWORD stan, DWORD kod = 0, DWORD czekajMs = 0)
{
    static DWORD punkt = 0;
    SERVICE_STATUS s {};
    s.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    s.dwCurrentState = stan;
    s.dwControlsAccepted
        = stan == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    s.dwWin32ExitCode = kod == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    s.dwServiceSpecificExitCode = kod;
    const bool trwa = stan == SERVICE_START_PENDING || stan == SERVICE_STOP_PENDING;
    s.dwCheckPoint = trwa ? ++punkt : 0;
    s.dwWaitHint = czekajMs;
    SetServiceStatus(uchwyt, &s);
}

DWORD WINAPI obsluz(DWORD polecenie, DWORD, void *, void *)
{
    switch (polecenie) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        ustawStan(SERVICE_STOP_PENDING, 0, czekajNaKoniecMs);
        Sygnaly::poprosOZakonczenie();
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI glowna(DWORD, wchar_t **)
{
    uchwyt = RegisterServiceCtrlHandlerExW(nazwaUslugi.c_str(), obsluz, nullptr);
    if (uchwyt)
        ustawStan(SERVICE_START_PENDING, 0, czekajNaStartMs);
    else
        bladDyspozytora = GetLastError();
    SetEvent(zarejestrowana);
}

} // namespace

namespace usluga {

bool polaczZMenedzerem(const QString &nazwa, QString &blad)
{
    nazwaUslugi = nazwa.toStdWString();
    zarejestrowana = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    dyspozytor = std::thread([] {
        SERVICE_TABLE_ENTRYW tablica[]
            = {{const_cast<wchar_t *>(nazwaUslugi.c_str()), glowna}, {nullptr, nullptr}};
        if (!StartServiceCtrlDispatcherW(tablica)) {
            bladDyspozytora = GetLastError();
            SetEvent(zarejestrowana);
        }
    });
    WaitForSingleObject(zarejestrowana, INFINITE);
    if (uchwyt)
        return true;
    dyspozytor.join();
    blad = bladDyspozytora == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT
        ? QStringLiteral("program nie został uruchomiony przez menedżera usług (sc start, net "
                         "start); uruchomiony ręcznie, działa bez --usluga")
        : QStringLiteral("menedżer usług odmówił (błąd %1)").arg(bladDyspozytora);
    return false;
}

void powiadomMenedzera(const char *stan)
{
    if (!uchwyt)
        return;
    if (std::strcmp(stan, "READY=1") == 0)
        ustawStan(SERVICE_RUNNING);
    else if (std::strcmp(stan, "STOPPING=1") == 0)
        ustawStan(SERVICE_STOP_PENDING, 0, czekajNaKoniecMs);
}

void zakonczono(int kod)
{
    if (!uchwyt)
        return;
    ustawStan(SERVICE_STOPPED, DWORD(kod));
    uchwyt = nullptr;
    dyspozytor.join();
}

bool podMenedzerem()
{
    return uchwyt != nullptr;
}

} // namespace usluga
