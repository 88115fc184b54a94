#include "app/konsola.h"
#include "app/petlaEpoll.h"
#include "app/proces.h"
#include "app/sygnaly.h"
#include "app/tlumaczenia.h"
#include "app/usluga.h"
#include "grupa.h"
#include "opcjeKlienta.h"
#include "zegarSystemowy.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>

#include <cstdio>

#ifdef Q_OS_WIN
#include <shlobj.h>
#endif

namespace {

void blad(const QString &tekst)
{
    wypiszLinie(stderr, QCoreApplication::applicationName() + QStringLiteral(": ") + tekst,
                usluga::przedrostek(2, usluga::Blad));
}

// Where what was done to this machine's clock outlives the program: the
// folder systemd gives the service, or on Windows the client service's own
// folder among the program's data, which only it may write. Empty where
// there is none.
QString katalogStanu(const Ustawienia &ustawienia)
{
    const QString systemd = qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    if (!systemd.isEmpty() || !ustawienia.usluga)
        return systemd;
#ifdef Q_OS_WIN
    // %ProgramData%, which a service's environment need not name.
    wchar_t wspolne[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, wspolne)))
        return QString();
    const QString dane = QDir(QString::fromWCharArray(wspolne))
                             .filePath(QStringLiteral("Serwer Synchronizacji/klient"));
    QDir().mkpath(dane);
    return dane;
#else
    return QString();
#endif
}

// Run by the service manager, the client has no console: its lines go to a
// file beside its state, where an administrator looks. (Standard output
// cannot be reopened there: it was never open.)
bool doPlikuUslugi(const QString &katalog, QString &powod)
{
#ifdef Q_OS_WIN
    const QString sciezka = QDir(katalog).filePath(QStringLiteral("klient.log"));
    std::FILE *plik = _wfopen(reinterpret_cast<const wchar_t *>(sciezka.utf16()), L"ab");
    if (!plik) {
        powod = QStringLiteral("nie można pisać do %1").arg(sciezka);
        return false;
    }
    wypisujDo(plik); // open until the program ends
    return true;
#else
    Q_UNUSED(katalog);
    Q_UNUSED(powod);
    return true;
#endif
}

// This machine's clock: without the privilege to change it, measuring only
// is all a run by hand can do, while a service that cannot do what it is for
// stops (false), and is not started again; what was done to the clock
// outlives the program where the service has a folder for it, so that a
// restart grants no new steps.
bool przygotujZegarMaszyny(Ustawienia &ustawienia)
{
    if (!ustawienia.systemowy || ustawienia.polityka.bezZmian)
        return true;
    if (ZegarSystemowyMaszyny::mozeZmieniac() && !ZegarSystemowyMaszyny::maUprawnienie()) {
        const QString linia = QStringLiteral("brak uprawnienia do zmiany zegara systemowego (%1)")
                                  .arg(wskazowkaUprawnien());
        if (usluga::jakoUsluga()) {
            blad(linia + QStringLiteral("; usługa kończy pracę"));
            return false;
        }
        wypiszLinie(stdout, linia + QStringLiteral("; odtąd tylko pomiar"));
        ustawienia.polityka.bezZmian = true;
        return true;
    }
    const QString katalog = katalogStanu(ustawienia);
    if (!katalog.isEmpty())
        ustawienia.plikStanu = QDir(katalog).filePath(QStringLiteral("korekty"));
    else
        wypiszLinie(stdout,
                    QStringLiteral("bez katalogu stanu (daje go usługa) klient zaczyna od nowa: "
                                   "po każdym uruchomieniu znów %1 skoki na starcie i pełna "
                                   "godzina")
                        .arg(ustawienia.polityka.skokowNaStarcie));
    return true;
}

// The clients, until the system asks the program to end (SIGTERM, Ctrl+C;
// on Windows also taskkill, logoff, a service stopped): they end at once,
// and a slew of this machine's clock with them. The exit code.
int dzialaj(const Ustawienia &ustawienia)
{
    Sygnaly sygnaly(Sygnaly::Zakonczenie);
    if (!sygnaly.czynne()) {
        blad(QStringLiteral("nie można przyjmować próśb systemu o zakończenie (%1)")
                 .arg(sygnaly.blad()));
        return 1;
    }
    QObject::connect(&sygnaly, &Sygnaly::zakoncz, QCoreApplication::instance(), [] {
        usluga::powiadom("STOPPING=1");
        QCoreApplication::exit(0);
    });
    Grupa grupa(ustawienia);
    grupa.uruchom();
    usluga::powiadom("READY=1");
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    przygotujProces();
    oznaczUruchomiony(nazwaUslugiKlienta);
    // Thousands of simulated clients cost a pass what happens in it.
    zainstalujPetleEpoll(true);
    QCoreApplication aplikacja(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("klient-synchronizacji"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));
    tlumaczenia::zainstaluj(QCoreApplication::applicationFilePath());

    Ustawienia ustawienia;
    QString tekst;
    switch (czytajOpcjeKlienta(QCoreApplication::arguments(), ustawienia, tekst)) {
    case wierszPolecen::Polecenie::Pomoc:
    case wierszPolecen::Polecenie::Wersja:
        wypiszLinie(stdout, tekst);
        return 0;
    case wierszPolecen::Polecenie::Blad:
        blad(tekst);
        return 2;
    case wierszPolecen::Polecenie::Uruchom:
        break;
    }
    if (ustawienia.usluga
        && (!usluga::polaczZMenedzerem(QLatin1String(nazwaUslugiKlienta), tekst)
            || !doPlikuUslugi(katalogStanu(ustawienia), tekst))) {
        blad(QStringLiteral("--usluga: ") + tekst);
        usluga::zakonczono(2);
        return 2;
    }
    if (!ustawienia.ziarnoPodane)
        ustawienia.ziarno = QRandomGenerator::global()->generate();
    const int wynik = przygotujZegarMaszyny(ustawienia) ? dzialaj(ustawienia) : 2;
    usluga::zakonczono(wynik);
    return wynik;
}
