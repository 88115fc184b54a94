#include "app/proces.h"
#include "app/sygnaly.h"
#include "grupa.h"
#include "opcjeKlienta.h"

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
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(QCoreApplication::applicationName()),
                     qUtf8Printable(tekst));
        return 2;
    case PolecenieKlienta::Uruchom:
        break;
    }
    if (!ustawienia.ziarnoPodane)
        ustawienia.ziarno = QRandomGenerator::global()->generate();
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
    QObject::connect(&sygnaly, &Sygnaly::zakoncz, &aplikacja, [] { QCoreApplication::exit(0); });
    Grupa grupa(ustawienia);
    grupa.uruchom();
    return QCoreApplication::exec();
}
