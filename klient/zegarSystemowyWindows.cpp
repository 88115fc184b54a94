#include "zegarSystemowy.h"

#include "zmianaZegara.h"

#include <QDateTime>

#include <cerrno>
#include <limits>

#include <windows.h>

const QLatin1String wywolaniePlynne("SetSystemTimeAdjustment");
const QLatin1String wywolanieSkoku("SetSystemTime");

namespace {

// 100 ns units since 1601 of the system time (UTC), read to the tenth of a
// microsecond.
quint64 odczytUtc()
{
    FILETIME teraz {};
    GetSystemTimePreciseAsFileTime(&teraz);
    return (quint64(teraz.dwHighDateTime) << 32) | teraz.dwLowDateTime;
}

constexpr quint64 setekNsDoEpoki = 116'444'736'000'000'000ULL; // 1601 to 1970

// The system's own words for an error, in the language of its messages.
QString tekstBledu(DWORD blad)
{
    wchar_t *tekst = nullptr;
    const DWORD dlugosc = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, blad, 0, reinterpret_cast<wchar_t *>(&tekst), 0, nullptr);
    QString wynik
        = dlugosc > 0 ? QString::fromWCharArray(tekst, int(dlugosc)).trimmed() : QString();
    LocalFree(tekst);
    return QStringLiteral("błąd %1%2")
        .arg(blad)
        .arg(wynik.isEmpty() ? QString() : QStringLiteral(": ") + wynik);
}

// The precise calls came with Windows 10; the older ones take 32 bits.
template<typename T> T funkcja(const char *nazwa)
{
    return reinterpret_cast<T>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), nazwa)));
}
using PobierzPrecyzyjnie = BOOL(WINAPI *)(PDWORD64, PDWORD64, PBOOL);
using UstawPrecyzyjnie = BOOL(WINAPI *)(DWORD64, BOOL);

// The period in which the clock gains `dodawane`, and whether that is off
// (the clock runs at its own rate).
bool pobierzNachylenie(quint64 &dodawane, quint64 &okres, bool &wylaczone)
{
    static const auto precyzyjnie = funkcja<PobierzPrecyzyjnie>("GetSystemTimeAdjustmentPrecise");
    BOOL wylaczoneW = TRUE;
    if (precyzyjnie) {
        DWORD64 d = 0, p = 0;
        if (!precyzyjnie(&d, &p, &wylaczoneW))
            return false;
        dodawane = d;
        okres = p;
    } else {
        DWORD d = 0, p = 0;
        if (!GetSystemTimeAdjustment(&d, &p, &wylaczoneW))
            return false;
        dodawane = d;
        okres = p;
    }
    wylaczone = wylaczoneW;
    return okres > 0;
}

bool ustawNachylenie(quint64 dodawane, bool wylacz)
{
    static const auto precyzyjnie = funkcja<UstawPrecyzyjnie>("SetSystemTimeAdjustmentPrecise");
    if (precyzyjnie)
        return precyzyjnie(dodawane, wylacz);
    return SetSystemTimeAdjustment(DWORD(dodawane), wylacz);
}

} // namespace

ZegarSystemowyMaszyny::ZegarSystemowyMaszyny()
{
    koniecNachylenia.setSingleShot(true);
    koniecNachylenia.setTimerType(Qt::PreciseTimer);
    QObject::connect(&koniecNachylenia, &QTimer::timeout, [this] { zakonczNachylenie(); });
}

ZegarSystemowyMaszyny::~ZegarSystemowyMaszyny()
{
    // A slew left on would go on for ever.
    if (koniecNachylenia.isActive())
        zakonczNachylenie();
}

QTime ZegarSystemowyMaszyny::czas() const
{
    return QDateTime::fromMSecsSinceEpoch(qint64((odczytUtc() - setekNsDoEpoki) / 10'000)).time();
}

bool ZegarSystemowyMaszyny::mozeZmieniac()
{
    return true;
}

QString ZegarSystemowyMaszyny::innaUslugaCzasu()
{
    const SC_HANDLE menedzer = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!menedzer)
        return QString();
    const SC_HANDLE czas = OpenServiceW(menedzer, L"W32Time", SERVICE_QUERY_STATUS);
    SERVICE_STATUS stan {};
    const bool dziala
        = czas && QueryServiceStatus(czas, &stan) && stan.dwCurrentState == SERVICE_RUNNING;
    if (czas)
        CloseServiceHandle(czas);
    CloseServiceHandle(menedzer);
    return dziala ? QStringLiteral("usługa Czas systemu Windows (W32Time)") : QString();
}

// Administrators hold the privilege to change the time, off until a
// program turns it on.
bool ZegarSystemowyMaszyny::maUprawnienie()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    TOKEN_PRIVILEGES nowe {};
    nowe.PrivilegeCount = 1;
    nowe.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    const bool jest
        = LookupPrivilegeValueW(nullptr, L"SeSystemtimePrivilege", &nowe.Privileges[0].Luid)
        && AdjustTokenPrivileges(token, FALSE, &nowe, 0, nullptr, nullptr)
        && GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return jest;
}

bool ZegarSystemowyMaszyny::wlaczUprawnienie()
{
    if (uprawnienie < 0)
        uprawnienie = maUprawnienie() ? 1 : 0;
    return uprawnienie == 1;
}

void ZegarSystemowyMaszyny::zakonczNachylenie()
{
    koniecNachylenia.stop();
    ustawNachylenie(0, true);
}

// Windows keeps a rate it was given after the program that gave it has gone:
// one that a run ended by force left behind would run the clock 500 parts in
// a million off until the machine restarts. Each start ends it.
bool ZegarSystemowyMaszyny::zakonczPozostawione()
{
    quint64 dodawane = 0, okres = 0;
    bool wylaczone = true;
    if (!pobierzNachylenie(dodawane, okres, wylaczone) || wylaczone || !wlaczUprawnienie())
        return false;
    return ustawNachylenie(0, true);
}

// Refused after the privilege was turned on: what the system said, named
// after the call that it refused.
int ZegarSystemowyMaszyny::odmowiono(const char *wywolanie)
{
    odmowa = QLatin1String(wywolanie) + QStringLiteral(": ") + tekstBledu(GetLastError());
    return EIO;
}

int ZegarSystemowyMaszyny::przesun(qint64 ms, qint64 &pozostalo)
{
    if (!wlaczUprawnienie())
        return EPERM;
    // What the slew under way has not made yet: it runs at an even rate.
    pozostalo = koniecNachylenia.isActive() && nachylenieCzasMs > 0
        ? nachylenieMs * koniecNachylenia.remainingTime() / nachylenieCzasMs
        : 0;
    quint64 dodawane = 0, okres = 0;
    bool wylaczone = true;
    if (!pobierzNachylenie(dodawane, okres, wylaczone))
        return odmowiono("GetSystemTimeAdjustment");
    const Nachylenie n = nachylenie(ms, okres);
    if (n.czasMs == 0) {
        zakonczNachylenie();
        return 0;
    }
    if (!ustawNachylenie(n.dodawane, false)) {
        const int blad = odmowiono("SetSystemTimeAdjustment");
        zakonczNachylenie();
        return blad;
    }
    // A system that says yes and runs the clock as before (Wine) has not
    // taken it.
    if (!pobierzNachylenie(dodawane, okres, wylaczone) || wylaczone || dodawane != n.dodawane) {
        zakonczNachylenie();
        odmowa = QStringLiteral("SetSystemTimeAdjustment: system przyjął zmianę tempa zegara, "
                                "ale jej nie wprowadził");
        return EIO;
    }
    nachylenieMs = ms;
    nachylenieCzasMs = qMin<qint64>(n.czasMs, std::numeric_limits<int>::max());
    koniecNachylenia.start(int(nachylenieCzasMs));
    return 0;
}

int ZegarSystemowyMaszyny::przestaw(qint64 ms)
{
    if (!wlaczUprawnienie())
        return EPERM;
    // A slew still under way would move the clock again after the step.
    zakonczNachylenie();
    const quint64 nowa = quint64(qint64(odczytUtc()) + ms * 10'000);
    FILETIME plik {DWORD(nowa & 0xffffffffU), DWORD(nowa >> 32)};
    SYSTEMTIME czas {};
    if (!FileTimeToSystemTime(&plik, &czas) || !SetSystemTime(&czas))
        return odmowiono("SetSystemTime");
    return 0;
}

QString ZegarSystemowyMaszyny::opisBledu(int blad) const
{
    return blad == EPERM ? QStringLiteral("brak uprawnienia SeSystemtimePrivilege") : odmowa;
}

QString wskazowkaUprawnien()
{
    return QStringLiteral("potrzebne uprawnienie do zmiany czasu (SeSystemtimePrivilege): "
                          "uruchom jako administrator albo jako usługa KlientSynchronizacji");
}
