#include "app/proces.h"
#include "app/sygnaly.h"
#include "app/usluga.h"
#include "grupa.h"
#include "opcjeKlienta.h"
#include "zegarSystemowy.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>

#include <cstdio>

int main(int argc, char *argv[])
{
    przygotujProces();
    QCoreApplication aplikacja(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("klient-synchronizacji"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));

    Ustawienia ustawienia;
    QString tekst;
    switch (czytajOpcjeKlienta(QCoreApplication::arguments(), ustawienia, tekst)) {
    case PolecenieKlienta::Pomoc:
    case PolecenieKlienta::Wersja:
        std::fputs(qUtf8Printable(tekst), stdout);
        return 0;
    case PolecenieKlienta::Blad:
        std::fprintf(stderr, "%s%s: %s\n", usluga::przedrostek(2, usluga::Blad).constData(),
                     qUtf8Printable(QCoreApplication::applicationName()), qUtf8Printable(tekst));
        return 2;
    case PolecenieKlienta::Uruchom:
        break;
    }
    if (!ustawienia.ziarnoPodane)
        ustawienia.ziarno = QRandomGenerator::global()->generate();
    // Without the privilege to change the clock, measuring only is all a
    // run by hand can do; a service that cannot do what it is for stops,
    // and is not started again.
    if (ustawienia.systemowy && !ustawienia.polityka.bezZmian
        && ZegarSystemowyMaszyny::mozeZmieniac() && !ZegarSystemowyMaszyny::maUprawnienie()) {
        const QString linia = QStringLiteral("brak uprawnienia do zmiany zegara systemowego (%1)")
                                  .arg(wskazowkaUprawnien());
        if (usluga::jakoUsluga()) {
            std::fprintf(stderr, "%s%s: %s; usługa kończy pracę\n",
                         usluga::przedrostek(2, usluga::Blad).constData(),
                         qUtf8Printable(QCoreApplication::applicationName()),
                         qUtf8Printable(linia));
            return 2;
        }
        std::printf("%s; odtąd tylko pomiar\n", qUtf8Printable(linia));
        ustawienia.polityka.bezZmian = true;
    }
    // What was done to this machine's clock outlives the program where the
    // service has a folder for it, so that a restart grants no new steps.
    if (ustawienia.systemowy && !ustawienia.polityka.bezZmian) {
        const QString katalog
            = qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
        if (!katalog.isEmpty())
            ustawienia.plikStanu = QDir(katalog).filePath(QStringLiteral("korekty"));
        else
            std::printf("bez katalogu stanu (STATE_DIRECTORY, który daje usługa) klient zaczyna "
                        "od nowa: po każdym uruchomieniu znów %d skoki na starcie i pełna "
                        "godzina\n",
                        ustawienia.polityka.skokowNaStarcie);
    }

    // Told to end (SIGTERM, Ctrl+C; on Windows also taskkill, logoff), the
    // clients end at once, and a slew of this machine's clock with them.
    Sygnaly sygnaly(Sygnaly::Zakonczenie);
    if (!sygnaly.czynne()) {
        std::fprintf(stderr, "%s%s: nie można przyjmować próśb systemu o zakończenie (%s)\n",
                     usluga::przedrostek(2, usluga::Blad).constData(),
                     qUtf8Printable(QCoreApplication::applicationName()),
                     qUtf8Printable(sygnaly.blad()));
        return 1;
    }
    QObject::connect(&sygnaly, &Sygnaly::zakoncz, &aplikacja, [] {
        usluga::powiadom("STOPPING=1");
        QCoreApplication::exit(0);
    });
    Grupa grupa(ustawienia);
    grupa.uruchom();
    usluga::powiadom("READY=1");
    return QCoreApplication::exec();
}
