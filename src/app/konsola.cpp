#include "konsola.h"

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#endif

namespace {
std::FILE *zamiastKonsoli = nullptr;
} // namespace

void wypisujDo(std::FILE *plik)
{
    zamiastKonsoli = plik;
}

bool wypiszLinie(std::FILE *strumien, const QString &linia, const QByteArray &przedrostek)
{
    if (zamiastKonsoli && (strumien == stdout || strumien == stderr))
        strumien = zamiastKonsoli;
    const QString calosc = linia.endsWith(QLatin1Char('\n')) ? linia : linia + QLatin1Char('\n');
#ifdef Q_OS_WIN
    const HANDLE uchwyt = HANDLE(_get_osfhandle(_fileno(strumien)));
    DWORD tryb = 0;
    if (uchwyt != INVALID_HANDLE_VALUE && GetConsoleMode(uchwyt, &tryb)) {
        std::fflush(strumien);
        const QString wiersz = QString::fromLatin1(przedrostek) + calosc;
        DWORD zapisano = 0;
        return WriteConsoleW(uchwyt, reinterpret_cast<const wchar_t *>(wiersz.utf16()),
                             DWORD(wiersz.size()), &zapisano, nullptr);
    }
#endif
    const QByteArray bajty = przedrostek + calosc.toUtf8();
    const bool calosciowo = std::fwrite(bajty.constData(), 1, std::size_t(bajty.size()), strumien)
        == std::size_t(bajty.size());
    return std::fflush(strumien) == 0 && calosciowo;
}
