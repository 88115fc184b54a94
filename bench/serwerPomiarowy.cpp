// The real server window, offscreen, driven line by line from standard input
// by the benchmark: it presses the window's buttons and reports what the
// window logged, its memory and its processor time, one line per command.
// With --bez-okna, the server as its service runs it: no window, only a
// summary line per exchange, on the loop of the programs without a window
// (or Qt's, with SERWER_PETLA=qt).
//
//   start PORT      press "Rozpocznij", then "Uruchom Synchronizację"
//   okres S         set the period
//   teraz           press "Synchronizuj Teraz"; answers when the exchange ends
//   seria LINIE     exchanges back to back until the panes hold LINIE lines
//   klienci N       answers once N clients are registered
//   wypelnij N      fills the upper pane with N lines, as a long run leaves it
//   stan            lines in the panes, resident memory, processor time,
//                   peak resident memory
//   przestoj        the longest the event loop stood still since last asked, ms
//                   (watched from the first time it is asked)
//   koniec          press "Zakończ"

#include "app/petlaEpoll.h"
#include "app/proces.h"
#include "narzedzia/narzedzia.h"
#include "sync/termin.h"
#include "window/dziennik.h"
#include "window/serwer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <utility>

namespace {

qint64 cpuNs()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

void odpowiedz(const QString &linia)
{
    std::printf("%s\n", qPrintable(linia));
    std::fflush(stdout);
}

class Sterownik : public QObject
{
public:
    explicit Sterownik(bool bezOkna)
        : wejscie(0, QSocketNotifier::Read)
    {
        gorny = okno.findChild<QTextBrowser *>(QStringLiteral("oknoSerwera"));
        dolny = okno.findChild<QTextBrowser *>(QStringLiteral("oknoSynchronizacji"));
        connect(&wejscie, &QSocketNotifier::activated, this, &Sterownik::czytaj);
        // The longest the event loop stood still: the most time between two
        // shots of a 10 ms timer.
        connect(&proba, &QTimer::timeout, this,
                [this] { najdluzszyPrzestoj = qMax(najdluzszyPrzestoj, odProby.restart()); });
        if (bezOkna) {
            // As the service: the lines it passes on, the clients counted by
            // the registry, looked at while waited for.
            okno.bezWidoku();
            okno.tylkoPodsumowania();
            okno.przekazujLinie([this](QLatin1String, QDate, const QString &linia, usluga::Waga) {
                liniaUslugi(linia);
            });
            connect(&liczenie, &QTimer::timeout, this, [this] {
                klientow = int(okno.polaczonych());
                sprawdzKlientow();
            });
            return;
        }
        connect(gorny->document(), &QTextDocument::contentsChange, this, &Sterownik::noweLinie);
        okno.show();
    }

private:
    QPushButton *przycisk(const char *nazwa)
    {
        return okno.findChild<QPushButton *>(QLatin1String(nazwa));
    }
    QSpinBox *pole(const char *nazwa) { return okno.findChild<QSpinBox *>(QLatin1String(nazwa)); }
    int linii() const { return gorny->document()->blockCount() + dolny->document()->blockCount(); }

    void czytaj()
    {
        char bufor[256];
        const auto przeczytano = ::read(0, bufor, sizeof bufor);
        if (przeczytano <= 0) {
            QApplication::quit();
            return;
        }
        zaczete.append(bufor, przeczytano);
        qsizetype koniecLinii;
        while ((koniecLinii = zaczete.indexOf('\n')) >= 0) {
            wykonaj(QString::fromUtf8(zaczete.left(koniecLinii)));
            zaczete.remove(0, koniecLinii + 1);
        }
    }

    void wykonaj(const QString &linia)
    {
        const QStringList slowa = linia.simplified().split(QLatin1Char(' '));
        const QString polecenie = slowa.value(0);
        const int liczba = slowa.value(1).toInt();
        if (polecenie == QLatin1String("start")) {
            pole("polePortu")->setValue(liczba);
            przycisk("przyciskRozpocznij")->click();
            przycisk("przyciskSynch")->click();
            odpowiedz(QStringLiteral("ok"));
        } else if (polecenie == QLatin1String("okres")) {
            pole("poleOkresu")->setValue(liczba);
            odpowiedz(QStringLiteral("ok"));
        } else if (polecenie == QLatin1String("teraz")) {
            docelowychLinii = 0;
            nacisnij();
        } else if (polecenie == QLatin1String("seria")) {
            docelowychLinii = liczba;
            nacisnij();
        } else if (polecenie == QLatin1String("wypelnij")) {
            QStringList linie;
            for (int i = 0; i < liczba; ++i)
                linie << QStringLiteral("12:00:00 - Odebrano godzinę od klienta %1 - 12:00:00 "
                                        "różnica:0s")
                             .arg(i % 29 + 1);
            dopiszLinie(gorny, linie);
            odpowiedz(QStringLiteral("ok"));
        } else if (polecenie == QLatin1String("klienci")) {
            oczekiwanychKlientow = liczba;
            liczenie.start(20);
            sprawdzKlientow();
        } else if (polecenie == QLatin1String("stan")) {
            odpowiedz(QStringLiteral("stan %1 %2 %3 %4")
                          .arg(linii())
                          .arg(pamiecKB())
                          .arg(cpuNs())
                          .arg(szczytPamieciKB()));
        } else if (polecenie == QLatin1String("przestoj")) {
            if (!proba.isActive()) { // watched from the first time it is asked
                proba.start(10);
                odProby.start();
            }
            odpowiedz(QStringLiteral("przestoj %1").arg(std::exchange(najdluzszyPrzestoj, 0)));
        } else if (polecenie == QLatin1String("koniec")) {
            przycisk("przyciskKoniec")->click();
        }
    }

    void nacisnij()
    {
        nacisnieto = monotonicznyNs();
        cpuPrzed = cpuNs();
        wszystkie = false;
        trwa = true;
        przycisk("przyciskSynchTeraz")->click();
    }

    // Every line appended to the upper pane, in order. The oldest lines may
    // leave from the top at the same time; they were seen before.
    void noweLinie(int pozycja, int, int dodano)
    {
        if (dodano == 0)
            return;
        QTextBlock blok = gorny->document()->findBlock(pozycja);
        if (blok.position() < pozycja)
            blok = blok.next(); // the change began at the end of a line already seen
        for (; blok.isValid() && blok.position() < pozycja + dodano; blok = blok.next())
            nowaLinia(blok.text());
    }

    void nowaLinia(const QString &linia)
    {
        if (linia.contains(QStringLiteral(" - Rozpoczęto połączenie")))
            ++klientow;
        else if (linia.contains(QStringLiteral(" - Zakończono połączenie")))
            --klientow;
        else if (linia == QLatin1String("----Odebrano wszystkie odpowiedzi----"))
            wszystkie = true;
        else if (trwa && linia.contains(QStringLiteral(" - Wysłano godzinę synchronizacji ")))
            koniecWymiany();
        sprawdzKlientow();
    }

    // A line the service passes on: the exchange ends with its summary, which
    // says nothing of the window, and a line before it when it closed late.
    void liniaUslugi(const QString &linia)
    {
        if (linia.contains(QStringLiteral("----Nie odebrano wszystkich odpowiedzi----")))
            niewszystkie = true;
        else if (trwa && linia.contains(QStringLiteral(" - Wymiana: "))) {
            wszystkie = !std::exchange(niewszystkie, false);
            koniecWymiany();
        }
    }

    void koniecWymiany()
    {
        trwa = false;
        const qint64 teraz = monotonicznyNs();
        if (docelowychLinii > 0 && linii() < docelowychLinii) {
            // Back to back, but through the event loop, as a press would be.
            QMetaObject::invokeMethod(
                this, [this] { nacisnij(); }, Qt::QueuedConnection);
            return;
        }
        odpowiedz(QStringLiteral("wynik %1 %2 %3 %4 %5")
                      .arg(nacisnieto)
                      .arg(teraz)
                      .arg(wszystkie ? QStringLiteral("wszystkie") : QStringLiteral("niewszystkie"))
                      .arg(cpuNs() - cpuPrzed)
                      .arg(linii()));
    }

    void sprawdzKlientow()
    {
        if (oczekiwanychKlientow >= 0 && klientow == oczekiwanychKlientow) {
            oczekiwanychKlientow = -1;
            liczenie.stop();
            odpowiedz(QStringLiteral("klienci %1").arg(klientow));
        }
    }

    Serwer okno;
    QTextBrowser *gorny;
    QTextBrowser *dolny;
    QSocketNotifier wejscie;
    QByteArray zaczete;
    qint64 nacisnieto = 0;
    qint64 cpuPrzed = 0;
    int docelowychLinii = 0;
    QTimer proba;
    QElapsedTimer odProby;
    qint64 najdluzszyPrzestoj = 0;
    int klientow = 0;
    int oczekiwanychKlientow = -1;
    bool wszystkie = false;
    bool niewszystkie = false;
    bool trwa = false;
    QTimer liczenie;
};

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    przygotujProces();
    const bool bezOkna = argc > 1 && qstrcmp(argv[1], "--bez-okna") == 0;
    zainstalujPetleEpoll(bezOkna);
    QApplication aplikacja(argc, argv);
    Sterownik sterownik(bezOkna);
    odpowiedz(QStringLiteral("gotowy"));
    return QApplication::exec();
}
