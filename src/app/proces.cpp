#include "proces.h"

#include <QByteArray>
#include <QString>

#if defined(Q_OS_UNIX)
#include <csignal>
#include <sys/resource.h>
#elif defined(Q_OS_WIN)
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <shellapi.h>

namespace {
UINT stronaKodowa = 0; // the console's, before the program changed it
}
#endif

void przygotujProces()
{
#ifdef Q_OS_UNIX
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
#elif defined(Q_OS_WIN)
    // The programs write UTF-8 lines ended by "\n", as on Linux, whatever
    // reads them; a console shows UTF-8 once told to, and is given its own
    // code page back at the end.
    for (std::FILE *strumien : {stdout, stderr})
        _setmode(_fileno(strumien), _O_BINARY);
    stronaKodowa = GetConsoleOutputCP();
    if (stronaKodowa != 0 && stronaKodowa != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
        std::atexit([] { SetConsoleOutputCP(stronaKodowa); });
#endif
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
}

QStringList argumentyProcesu(int argc, char *argv[])
{
    QStringList argumenty;
#ifdef Q_OS_WIN
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    int ile = 0;
    if (LPWSTR *wszystkie = CommandLineToArgvW(GetCommandLineW(), &ile)) {
        for (int i = 0; i < ile; ++i)
            argumenty << QString::fromWCharArray(wszystkie[i]);
        LocalFree(wszystkie);
    }
#else
    for (int i = 0; i < argc; ++i)
        argumenty << QString::fromLocal8Bit(argv[i]);
#endif
    return argumenty;
}

void oznaczUruchomiony(const char *nazwa)
{
#ifdef Q_OS_WIN
    for (const char *przestrzen : {"Global\\", "Local\\"}) {
        const QString pelna = QLatin1String(przestrzen) + QLatin1String(nazwa);
        if (CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t *>(pelna.utf16())))
            return; // held until the process ends
    }
#else
    Q_UNUSED(nazwa);
#endif
}
