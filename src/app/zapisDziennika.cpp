#include "zapisDziennika.h"

#include "konsola.h"
#include "usluga.h"

#include <QDateTime>

#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(Q_OS_UNIX)
#include <sys/stat.h>
#elif defined(Q_OS_WIN)
#include <QDir>

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

// Opens the log file to append to. On Windows a file that Qt opens cannot be
// moved or deleted while open, which a rotation does: it is opened with
// every kind of sharing. What is neither a file nor a device (a FIFO nobody
// reads would hold the start for ever, listening on nothing) is refused.
bool otworzDoDopisywania(QFile &plik, const QString &sciezka, QString &blad)
{
    plik.setFileName(sciezka);
#ifdef Q_OS_UNIX
    struct stat o
    {
    };
    if (stat(QFile::encodeName(sciezka).constData(), &o) == 0 && !S_ISREG(o.st_mode)
        && !S_ISCHR(o.st_mode)) {
        blad = QStringLiteral("to nie zwykły plik (kolejka FIFO, gniazdo albo katalog)");
        return false;
    }
#endif
#ifdef Q_OS_WIN
    const HANDLE uchwyt
        = CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(sciezka).utf16()),
                      GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (uchwyt == INVALID_HANDLE_VALUE) {
        blad = qt_error_string();
        return false;
    }
    const int deskryptor = _open_osfhandle(intptr_t(uchwyt), _O_APPEND | _O_BINARY);
    if (deskryptor < 0) {
        blad = qt_error_string();
        CloseHandle(uchwyt);
        return false;
    }
    if (plik.open(deskryptor, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered,
                  QFileDevice::AutoCloseHandle))
        return true;
    blad = plik.errorString();
    _close(deskryptor);
    return false;
#else
    if (plik.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return true;
    blad = plik.errorString();
    return false;
#endif
}

void naBledy(const QString &tekst, usluga::Waga waga = usluga::Blad)
{
    wypiszLinie(stderr, QStringLiteral("serwer-synchronizacji: ") + tekst,
                usluga::przedrostek(2, waga));
}

} // namespace

ZapisDziennika::ZapisDziennika()
{
    ponowienie.setInterval(1000);
    connect(&ponowienie, &QTimer::timeout, this, &ZapisDziennika::zapisz);
}

bool ZapisDziennika::otworz(const QString &nazwaPliku, QString &blad)
{
    sciezka = nazwaPliku;
    if (!otworzDoDopisywania(plik, sciezka, blad))
        return false;
    wlaczony = true;
    return true;
}

bool ZapisDziennika::otworzWyjscie()
{
    sciezka.clear();
    // The descriptor, not the stdio stream, whose buffer would hold the
    // lines back from a pipe.
    wlaczony = plik.open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered);
    // The journal dates its lines itself, and takes their weight.
    dziennikSystemu = usluga::doDziennikaSystemu(fileno(stdout));
    return wlaczony;
}

QString ZapisDziennika::nazwa() const
{
    return sciezka.isEmpty() ? QStringLiteral("standardowe wyjście")
                             : QStringLiteral("dziennik %1").arg(sciezka);
}

void ZapisDziennika::dopisz(QLatin1String okno, QDate data, const QString &linia, usluga::Waga waga)
{
    if (!wlaczony)
        return;
    if (zawodzi
        && (liniiOczekujacych >= maksOczekujacych || oczekujace.size() >= maksOczekujacychBajtow)) {
        ++pominietych;
        return;
    }
    // While writing fails, the retry does the writing.
    if (oczekujace.isEmpty() && !zawodzi)
        QMetaObject::invokeMethod(this, &ZapisDziennika::zapisz, Qt::QueuedConnection);
    if (dziennikSystemu) {
        oczekujace += usluga::przedrostek(fileno(stdout), waga) + '['
            + QByteArray(okno.data(), okno.size()) + "] " + linia.toUtf8() + '\n';
        ++liniiOczekujacych;
        return;
    }
    if (data != ostatniaData) {
        ostatniaData = data;
        ostatniaDataTekst = data.toString(Qt::ISODate).toLatin1();
    }
    oczekujace += '[' + QByteArray(okno.data(), okno.size()) + "] " + ostatniaDataTekst + ' '
        + linia.toUtf8() + '\n';
    ++liniiOczekujacych;
}

void ZapisDziennika::zapisz()
{
    if (!wlaczony || oczekujace.isEmpty())
        return;
    // Lines written after the move belong to the new file.
    if (!sciezka.isEmpty() && (!plik.isOpen() || przeniesiony()) && !otworzNaNowo())
        return;
    QString powod;
    if (!wypisz(oczekujace, powod)) {
        liniiOczekujacych = oczekujace.count('\n');
        zawiodlo(powod);
        return;
    }
    liniiOczekujacych = 0;
    if (pominietych > 0) {
        QByteArray linia = "[dziennik] "
            + QDateTime::currentDateTime()
                  .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                  .toLatin1()
            + " - Pominięto " + QByteArray::number(pominietych)
            + " linii dziennika, których nie było gdzie przechować, gdy nie dało się pisać\n";
        if (!wypisz(linia, powod)) {
            zawiodlo(powod);
            return;
        }
        pominietych = 0;
    }
    if (zawodzi) {
        zawodzi = false;
        ponowienie.stop();
        naBledy(QStringLiteral("%1 znów jest zapisywany").arg(nazwa()), usluga::Informacja);
    }
}

// Writes `dane` and takes what was written from its front. Of a line the
// system took only in part, the part is taken back out of the file.
bool ZapisDziennika::wypisz(QByteArray &dane, QString &powod)
{
    errno = 0;
    const qint64 zapisano = plik.write(dane);
    if (zapisano == dane.size()) {
        dane.clear();
        return true;
    }
    const int blad = errno;
    powod = blad != 0 ? QString::fromLocal8Bit(std::strerror(blad)) : plik.errorString();
    plik.unsetError();
    const qint64 calych = zapisano <= 0 ? 0 : dane.lastIndexOf('\n', zapisano - 1) + 1;
    if (zapisano > calych && !sciezka.isEmpty())
        plik.resize(plik.size() - (zapisano - calych));
    dane.remove(0, calych);
    return false;
}

void ZapisDziennika::zawiodlo(const QString &powod)
{
    if (sciezka.isEmpty()) {
        // Nobody reads it any more, or never will again.
        wlaczony = false;
        oczekujace.clear();
        naBledy(QStringLiteral("nie można pisać na standardowe wyjście (%1): linie dziennika "
                               "nie są już na nie wypisywane")
                    .arg(powod));
        return;
    }
    if (!zawodzi)
        naBledy(QStringLiteral("nie można pisać do dziennika %1 (%2): linie czekają w pamięci, "
                               "ponawiam co sekundę")
                    .arg(sciezka, powod));
    zawodzi = true;
    if (!ponowienie.isActive())
        ponowienie.start();
}

void ZapisDziennika::otworzPonownie()
{
    if (sciezka.isEmpty() || !wlaczony)
        return;
    QString powod;
    // What came before belongs to the old file.
    if (plik.isOpen() && !oczekujace.isEmpty()) {
        wypisz(oczekujace, powod);
        liniiOczekujacych = oczekujace.count('\n');
    }
    otworzNaNowo();
}

bool ZapisDziennika::otworzNaNowo()
{
    plik.close();
    QString blad;
    if (otworzDoDopisywania(plik, sciezka, blad))
        return true;
    zawiodlo(blad);
    return false;
}

bool ZapisDziennika::przeniesiony() const
{
#ifdef Q_OS_UNIX
    struct stat otwarty
    {
    };
    struct stat podNazwa
    {
    };
    if (fstat(plik.handle(), &otwarty) != 0)
        return false;
    return stat(QFile::encodeName(sciezka).constData(), &podNazwa) != 0
        || podNazwa.st_ino != otwarty.st_ino || podNazwa.st_dev != otwarty.st_dev;
#elif defined(Q_OS_WIN)
    BY_HANDLE_FILE_INFORMATION otwarty {};
    BY_HANDLE_FILE_INFORMATION podNazwa {};
    if (!GetFileInformationByHandle(HANDLE(_get_osfhandle(plik.handle())), &otwarty))
        return false;
    const HANDLE uchwyt
        = CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(sciezka).utf16()),
                      FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (uchwyt == INVALID_HANDLE_VALUE)
        return true; // gone, or deleted and waiting for the last handle
    const bool ten = GetFileInformationByHandle(uchwyt, &podNazwa)
        && podNazwa.dwVolumeSerialNumber == otwarty.dwVolumeSerialNumber
        && podNazwa.nFileIndexHigh == otwarty.nFileIndexHigh
        && podNazwa.nFileIndexLow == otwarty.nFileIndexLow;
    CloseHandle(uchwyt);
    return !ten;
#else
    return false;
#endif
}
