#include "app/konsola.h"
#include "app/opcje.h"
#include "app/petlaEpoll.h"
#include "app/proces.h"
#include "app/sygnaly.h"
#include "app/tlumaczenia.h"
#include "app/usluga.h"
#include "app/zapisDziennika.h"
#include "window/serwer.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// Help and mistakes: on the console, or where the output goes; for the
// program made for windows, which Windows gives no console, in a message box
// when its output goes nowhere.
void wypisz(std::FILE *dokad, const QString &tekst)
{
#if defined(Q_OS_WIN) && !defined(SERWER_KONSOLA)
    const HANDLE wyjscie = GetStdHandle(dokad == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (!wyjscie || wyjscie == INVALID_HANDLE_VALUE) {
        MessageBoxW(nullptr, reinterpret_cast<const wchar_t *>(tekst.utf16()),
                    L"Serwer Synchronizacji",
                    MB_OK | (dokad == stderr ? MB_ICONERROR : MB_ICONINFORMATION));
        return;
    }
#endif
    wypiszLinie(dokad, tekst,
                dokad == stderr ? usluga::przedrostek(2, usluga::Blad) : QByteArray());
}

// The spin boxes and the ways of the server that the options set.
void ustawPola(Serwer &okno, const Opcje &opcje)
{
    okno.ustawPola(opcje.port, opcje.okres, opcje.prog);
    okno.ustawDostep(opcje.dostep);
    okno.ustawMiejscaZAdresu(opcje.miejscZAdresu.value_or(0));
    if (opcje.zegarSystemowy)
        okno.podazajZaZegaremSystemowym();
    if (opcje.podsumowanie)
        okno.tylkoPodsumowania();
}

// "Rozpocznij", and "Uruchom Synchronizację" when asked and started.
bool uruchom(Serwer &okno, const Opcje &opcje)
{
    if (!okno.uruchomSerwer())
        return false;
    if (opcje.synch)
        okno.wlaczSynchronizacje();
    return true;
}

// Whether a window can open: a display to show it on, or a platform that
// needs none, named in the environment or by -platform.
bool maEkran(const Opcje &opcje)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    return !opcje.platforma.isEmpty() || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
        || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    Q_UNUSED(opcje);
    return true;
#endif
}

// Without a window the toolkit still looks for a runtime folder it will not
// use, and says so on every start; a service should say nothing unless
// something is wrong.
QtMessageHandler poprzedniaObsluga = nullptr;
void bezZbednychOstrzezen(QtMsgType typ, const QMessageLogContext &kontekst, const QString &tresc)
{
    if (typ == QtWarningMsg
        && tresc.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    poprzedniaObsluga(typ, kontekst, tresc);
}

// Before the toolkit starts: without a window it paints offscreen, and a
// window asked for where there is no display is one line, not Qt's abort.
bool przygotujEkran(const Opcje &opcje)
{
    if (opcje.bezOkna) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef Q_OS_WIN
        // Painting offscreen, Qt looks for fonts in its own folder, which an
        // installation does not have, and says so; Windows has them.
        if (!qEnvironmentVariableIsSet("QT_QPA_FONTDIR"))
            qputenv("QT_QPA_FONTDIR", qgetenv("WINDIR") + "\\Fonts");
#endif
        poprzedniaObsluga = qInstallMessageHandler(bezZbednychOstrzezen);
        return true;
    }
    if (maEkran(opcje))
        return true;
    wypisz(stderr,
           QStringLiteral("serwer-synchronizacji: brak ekranu (nie ustawiono DISPLAY ani "
                          "WAYLAND_DISPLAY), więc okno nie może się otworzyć; serwer bez "
                          "okna: serwer-synchronizacji --bez-okna --start"));
    return false;
}

// The server, its log file and standard output, and the system's requests,
// until it ends; its exit code.
int dzialaj(const Opcje &opcje)
{
    QString tekst;
    ZapisDziennika plik;
    if (!opcje.dziennik.isEmpty() && !plik.otworz(opcje.dziennik, tekst)) {
        wypisz(stderr,
               QStringLiteral("serwer-synchronizacji: nie można otworzyć dziennika %1: %2")
                   .arg(opcje.dziennik, tekst));
        return 2;
    }
    ZapisDziennika wyjscie;
    if (opcje.bezOkna)
        wyjscie.otworzWyjscie();

    Serwer okno;
    for (ZapisDziennika *zapis : {&plik, &wyjscie})
        if (zapis->czynny())
            okno.przekazujLinie(
                [zapis](QLatin1String nazwa, QDate data, const QString &linia, usluga::Waga waga) {
                    zapis->dopisz(nazwa, data, linia, waga);
                });
    ustawPola(okno, opcje);

    // The system's request to end is the operator's: without a window, as
    // the stop of the server; with one (a desktop's logout), as its close
    // button, the server stopped first. A rotated log file is opened again,
    // and the status is said, whatever the settings: no request the service
    // manager or logrotate sends ends the server unasked.
    Sygnaly sygnaly(Sygnaly::Zakonczenie | Sygnaly::Stan | Sygnaly::Rotacja);
    if (!sygnaly.czynne()) {
        wypisz(stderr,
               QStringLiteral("serwer-synchronizacji: nie można przyjmować próśb systemu o "
                              "zakończenie (%1), więc serwer nie mógłby powiadomić klientów")
                   .arg(sygnaly.blad()));
        return 1;
    }
    const auto zapisz = [&plik, &wyjscie] {
        plik.zapisz();
        wyjscie.zapisz();
    };
    QObject::connect(&sygnaly, &Sygnaly::otworzPonownie, &okno, [&] {
        if (plik.czynny())
            plik.otworzPonownie();
        else
            okno.dopiszZdarzenie(QStringLiteral(" - Prośba o ponowne otwarcie dziennika "
                                                "(SIGHUP): bez --dziennik nie ma pliku do "
                                                "otwarcia, serwer działa dalej"));
        zapisz();
    });
    QObject::connect(&sygnaly, &Sygnaly::podajStan, &okno, [&] {
        // Where lines go nowhere but to the panes (a window without a log
        // file), the status goes to standard output.
        if (plik.czynny() || wyjscie.czynny())
            okno.wypiszStan();
        else
            for (const QString &linia : okno.stan())
                wypiszLinie(stdout, QStringLiteral("[stan] ") + linia);
        zapisz();
    });
    QObject::connect(&sygnaly, &Sygnaly::zakoncz, &okno, [&] {
        usluga::powiadom("STOPPING=1");
        okno.zatrzymajSerwer();
        zapisz();
        sygnaly.zakonczono();
        if (opcje.bezOkna)
            QApplication::exit(0);
        else
            okno.close();
    });

    if (opcje.bezOkna) {
        okno.bezWidoku();
        if (!uruchom(okno, opcje)) {
            // The reason goes where the administrator looks: the log file
            // and the journal have the line, and standard error says it too.
            zapisz();
            wypisz(stderr,
                   QStringLiteral("serwer-synchronizacji: nie można uruchomić serwera na "
                                  "porcie %1: %2")
                       .arg(okno.port())
                       .arg(okno.powodNieuruchomienia()));
            return 1;
        }
        // systemd, or Windows' service manager, starts what waits for the
        // service only now, and a start that failed above fails.
        usluga::powiadom("READY=1");
    } else {
        okno.show();
        if (opcje.start)
            QTimer::singleShot(0, &okno, [&okno, &opcje] { uruchom(okno, opcje); });
    }
    const int wynik = QApplication::exec();
    zapisz();
    return wynik;
}

} // namespace

int main(int argc, char *argv[])
{
    przygotujProces();
    oznaczUruchomiony(nazwaUslugiSerwera);
    QApplication::setApplicationName(QStringLiteral("serwer-synchronizacji"));
    QApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));

    // The program's own options are read before the toolkit starts, so that
    // help and mistakes need no display. Options it does not know may be
    // the toolkit's, which the application object takes out.
    const QStringList argumenty = argumentyProcesu(argc, argv);
    tlumaczenia::qtPolski(argumenty.value(0));
    Opcje opcje;
    QString tekst;
    switch (czytajOpcje(argumenty, opcje, tekst)) {
    case wierszPolecen::Polecenie::Pomoc:
    case wierszPolecen::Polecenie::Wersja:
        wypisz(stdout, tekst);
        return 0;
    case wierszPolecen::Polecenie::Blad:
        wypisz(stderr, QStringLiteral("serwer-synchronizacji: %1").arg(tekst));
        return 2;
    case wierszPolecen::Polecenie::Uruchom:
        break;
    }
    if (opcje.usluga && !usluga::polaczZMenedzerem(QLatin1String(nazwaUslugiSerwera), tekst)) {
        wypisz(stderr, QStringLiteral("serwer-synchronizacji: --usluga: %1").arg(tekst));
        return 2;
    }
    if (!przygotujEkran(opcje)) {
        usluga::zakonczono(1);
        return 1;
    }

    // Without a window, a loop whose passes cost what happens, not the number
    // of clients; a window needs Qt's, which knows its window system.
    zainstalujPetleEpoll(opcje.bezOkna);
    QApplication aplikacja(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Serwer Synchronizacji"));
    tlumaczenia::zainstaluj(argumenty.value(0));
    const int wynik = dzialaj(opcje);
    usluga::zakonczono(wynik);
    return wynik;
}
