// The listening server, the client registry, the frames on a real connection
// and the broadcast, with QTcpSocket clients on 127.0.0.1.

#include "network/adres.h"
#include "stanowisko.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QNetworkInterface>
#include <QRegularExpression>

#if defined(Q_OS_WIN)
#include "network/podtrzymanie.h"

#include <winsock2.h>
#else
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

class TstSiec : public QObject
{
    Q_OBJECT

private slots:
    void uruchomienie();
    void zajetyPort();
    void zatrzymanieIPonowneUruchomienie();
    void zatrzymanieZKlientami();
    void polaczeniaIRozlaczenia();
    void zadanieDoWszystkich();
    void resetWTrakcieRozglaszania_data();
    void resetWTrakcieRozglaszania();
    void zalewRamek();
    void zerwanePrzedPrzyjeciem();
    void niedokonczonaRamka_data();
    void niedokonczonaRamka();
    void dostep_data();
    void dostep();
    void ograniczenieDziennika_data();
    void ograniczenieDziennika();
    void koniecNicNieWysyla();
    void zniszczenieZKlientami_data();
    void zniszczenieZKlientami();
};

static const QString startu = QStringLiteral(" - Uruchomiono serwer pod adresem: ");
static QTime czasZadaniaKlienta(KlientTestowy *k)
{
    return k->odebrane.constLast().czas;
}

static const QString liniaOdpowiedzi = QStringLiteral(" - Odebrano godzinę od klienta ");

void TstSiec::uruchomienie()
{
    Stanowisko s;
    s.kliknij("przyciskRozpocznij");

    const QString adres = wybierzAdres(QNetworkInterface::allAddresses());
    QCOMPARE(s.linieSerwera().size(), 2);
    QCOMPARE(tresc(s.ostatniaSerwera()),
             startu + adres + QStringLiteral("; Port:") + QString::number(s.port()));
    QCOMPARE(s.etykieta("wartoscIp")->text(), adres);
    QCOMPARE(s.czynne(), QStringLiteral("przyciskZatrzymaj przyciskSynch wartoscIp"));

    // IPv4 only: the loopback of IPv4 is served, that of IPv6 is not.
    QVERIFY(s.dolacz());
    QTcpSocket szostka;
    szostka.connectToHost(QHostAddress::LocalHostIPv6, s.port());
    QVERIFY(!szostka.waitForConnected(2000));
}

void TstSiec::zajetyPort()
{
    Stanowisko s;
    QTcpServer inny;
    QVERIFY(inny.listen(QHostAddress::AnyIPv4, s.port()));

    QString tytul, tekst;
    QMessageBox::StandardButtons przyciski;
    QTimer zamykacz;
    connect(&zamykacz, &QTimer::timeout, &zamykacz, [&] {
        if (auto *okienko = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            tytul = okienko->windowTitle();
            tekst = okienko->text();
            przyciski = okienko->standardButtons();
            okienko->close();
        }
    });
    zamykacz.start(10);
    s.kliknij("przyciskRozpocznij");
    zamykacz.stop();

    QCOMPARE(tytul, QStringLiteral("Błąd!"));
    QCOMPARE(tekst, QStringLiteral("Serwer nie może zostać uruchomionym"));
    QCOMPARE(przyciski, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(s.linieSerwera().size(), 2);
    QCOMPARE(tresc(s.ostatniaSerwera()),
             QStringLiteral(" - Nie uruchomiono serwera na porcie %1: port jest zajęty przez inny "
                            "program")
                 .arg(s.port()));
    QCOMPARE(s.czynne(), QStringLiteral("przyciskRozpocznij polePortu"));

    // The operator picks another port and starts again.
    s.pole("polePortu")->setValue(wolnyPort());
    s.kliknij("przyciskRozpocznij");
    QVERIFY(s.ostatniaSerwera().contains(startu));
}

// Stopping the server stops the synchronization with it. By the keyboard,
// a button that disables itself leaves the focus where a person goes next,
// never on the end of the program.
void TstSiec::zatrzymanieIPonowneUruchomienie()
{
    Stanowisko s;
    if (!s.aktywne())
        QSKIP("the keyboard needs a window system, which the loop of the programs without a "
              "window has not");
    const auto spacja = [&s](const char *przycisk) {
        s.przycisk(przycisk)->setFocus();
        QTest::keyClick(s.przycisk(przycisk), Qt::Key_Space);
    };
    spacja("przyciskRozpocznij");
    QCOMPARE(QApplication::focusWidget(), s.przycisk("przyciskZatrzymaj"));
    s.kliknij("przyciskSynch");
    spacja("przyciskZatrzymaj");
    QCOMPARE(QApplication::focusWidget(), s.przycisk("przyciskRozpocznij"));
    QVERIFY(s.okno.windowTitle().endsWith(QStringLiteral(" (serwer zatrzymany)")));

    QCOMPARE(tresc(s.ostatniaSerwera()), QStringLiteral(" - Zamknięto serwer"));
    QCOMPARE(tresc(s.linieSynchronizacji().constLast()),
             QStringLiteral(" - Zatrzymano Synchronizację"));
    QCOMPARE(s.przycisk("przyciskSynch")->text(), QStringLiteral("Uruchom\nSynchronizację"));
    QCOMPARE(s.czynne(), QStringLiteral("przyciskRozpocznij polePortu"));
    QTcpSocket odrzucony;
    odrzucony.connectToHost(QHostAddress::LocalHost, s.port());
    QVERIFY(!odrzucony.waitForConnected(2000));

    s.kliknij("przyciskRozpocznij");
    QCOMPARE(s.linieSerwera().filter(startu).size(), 2);
    QCOMPARE(s.czynne(), QStringLiteral("przyciskZatrzymaj przyciskSynch wartoscIp"));
    QCOMPARE(s.okno.windowTitle(), QStringLiteral("Aktywny Serwer Synchronizacji"));
}

void TstSiec::zatrzymanieZKlientami()
{
    Stanowisko s;
    s.kliknij("przyciskRozpocznij");
    KlientTestowy *pierwszy = s.dolacz(0, false);
    KlientTestowy *drugi = s.dolacz(0, false);
    QVERIFY(pierwszy && drugi);
    const int linii = s.linieSerwera().size();

    s.kliknij("przyciskZatrzymaj");
    QTRY_COMPARE(pierwszy->odebrane.size(), 1);
    QTRY_COMPARE(drugi->odebrane.size(), 1);
    for (KlientTestowy *k : {pierwszy, drugi}) {
        QCOMPARE(k->odebrane[0].kod, ramka::kodStopu);
        QCOMPARE(k->odebrane[0].bajty.toHex(), QByteArray("000800000007ffffffff"));
        QCOMPARE(k->gniazdo.state(), QAbstractSocket::ConnectedState);
    }
    QCOMPARE(s.linieSerwera().size(), linii + 1); // the stop line only

    // Still registered: after a restart they are asked again.
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");
    s.kliknij("przyciskSynchTeraz");
    QCOMPARE(tresc(s.ostatniaSerwera()),
             QStringLiteral(" - Nadano żądanie wysłania godziny do 2 klientów"));
    s.kliknij("przyciskZatrzymaj");

    // A client leaving a stopped server goes unlogged. It has read what came
    // (a request, a stop notice), so that it closes rather than resets.
    const int poStopie = s.linieSerwera().size();
    QTRY_COMPARE(pierwszy->odebrane.size(), 3);
    pierwszy->gniazdo.disconnectFromHost();
    // Its socket is deleted once the server has seen it go.
    QTRY_COMPARE(s.element<QTcpServer>("serwerTcp")->findChildren<QTcpSocket *>().size(), 1);
    QCOMPARE(s.linieSerwera().size(), poStopie);
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");
    s.kliknij("przyciskSynchTeraz");
    QCOMPARE(tresc(s.ostatniaSerwera()),
             QStringLiteral(" - Nadano żądanie wysłania godziny do 1 klientów"));
}

void TstSiec::polaczeniaIRozlaczenia()
{
    Stanowisko s;
    s.kliknij("przyciskRozpocznij");
    KlientTestowy *pierwszy = s.dolacz(0, false);
    KlientTestowy *drugi = s.dolacz(0, false);
    QVERIFY(pierwszy && drugi);

    const auto opis = [](KlientTestowy *k) {
        return QStringLiteral("127.0.0.1; Port:") + QString::number(k->gniazdo.localPort());
    };
    const QStringList linie = s.linieSerwera();
    QCOMPARE(tresc(linie[linie.size() - 2]),
             QStringLiteral(" - Rozpoczęto połączenie z klientem o adresie: ") + opis(pierwszy));
    QCOMPARE(tresc(linie.constLast()),
             QStringLiteral(" - Rozpoczęto połączenie z klientem o adresie: ") + opis(drugi));

    const QString zakonczenie
        = QStringLiteral(" - Zakończono połączenie z klientem o adresie: ") + opis(pierwszy);
    pierwszy->gniazdo.disconnectFromHost();
    QTRY_COMPARE(tresc(s.ostatniaSerwera()), zakonczenie);

    s.kliknij("przyciskSynch");
    s.kliknij("przyciskSynchTeraz");
    QCOMPARE(tresc(s.ostatniaSerwera()),
             QStringLiteral(" - Nadano żądanie wysłania godziny do 1 klientów"));
    QTRY_COMPARE(drugi->odebrane.size(), 1);

#if defined(Q_OS_LINUX) || defined(Q_OS_WIN)
    // The server's sockets probe a peer that vanishes: found dead within two
    // minutes (skrypty/zanik.sh tries it for real, with a vanished machine).
    const auto gniazda = s.element<QTcpServer>("serwerTcp")->findChildren<QTcpSocket *>();
    QVERIFY(!gniazda.isEmpty());
#ifdef Q_OS_WIN
    using namespace podtrzymanie::windows;
    const int TCP_KEEPIDLE = bezczynnosc, TCP_KEEPINTVL = odstep, TCP_KEEPCNT = prob;
    using socklen_t = int;
#endif
    for (QTcpSocket *gniazdo : gniazda) {
        if (gniazdo->state() != QAbstractSocket::ConnectedState)
            continue; // the one that left, on its way out
        const auto deskryptor = gniazdo->socketDescriptor();
        const auto opcja = [deskryptor](int poziom, int nazwa) {
            int wartosc = 0; // a flag may come back in fewer bytes
            socklen_t dlugosc = sizeof wartosc;
            return getsockopt(decltype(socket(0, 0, 0))(deskryptor), poziom, nazwa,
                              reinterpret_cast<char *>(&wartosc), &dlugosc)
                    == 0
                ? wartosc
                : -1;
        };
        QCOMPARE(opcja(SOL_SOCKET, SO_KEEPALIVE), 1);
#ifdef Q_OS_WIN
        if (opcja(IPPROTO_TCP, TCP_KEEPIDLE) == -1)
            QSKIP("older Windows, and Wine 8, set only the two times, and cannot tell them");
#endif
        QCOMPARE(opcja(IPPROTO_TCP, TCP_KEEPIDLE), 60);
        QCOMPARE(opcja(IPPROTO_TCP, TCP_KEEPINTVL), 10);
        QCOMPARE(opcja(IPPROTO_TCP, TCP_KEEPCNT), 5);
#ifdef Q_OS_LINUX
        QCOMPARE(opcja(IPPROTO_TCP, TCP_USER_TIMEOUT), 110'000);
#else
        if (podWine() && opcja(IPPROTO_TCP, retransmisje) == -1)
            QSKIP("Wine 10 takes the keep-alive times but not the retransmission limit");
        QCOMPARE(opcja(IPPROTO_TCP, retransmisje), 110);
#endif
    }
#endif
}

void TstSiec::zadanieDoWszystkich()
{
    Stanowisko s;
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");
    for (int i = 0; i < 3; ++i)
        QVERIFY(s.dolacz(0, false));
    QVERIFY(s.tyknij());

    s.kliknij("przyciskSynchTeraz");
    QCOMPARE(s.ostatniaSerwera(),
             s.etykieta("wartoscCzasu")->text()
                 + QStringLiteral(" - Nadano żądanie wysłania godziny do 3 klientów"));
    for (const auto &k : s.klienci)
        QTRY_COMPARE(k->odebrane.size(), 1);
    const QByteArray bajty = s.klienci[0]->odebrane[0].bajty;
    QCOMPARE(bajty.size(), 10);
    QCOMPARE(bajty.left(6).toHex(), QByteArray("000800000005"));
    QCOMPARE(s.klienci[0]->odebrane[0].czas.toString(QStringLiteral("HH:mm:ss")),
             s.etykieta("wartoscCzasu")->text());
    for (const auto &k : s.klienci)
        QCOMPARE(k->odebrane[0].bajty, bajty);
}

void TstSiec::resetWTrakcieRozglaszania_data()
{
    QTest::addColumn<int>("zerwany");
    QTest::newRow("the first") << 0;
    QTest::newRow("a middle one") << 2;
    QTest::newRow("the last") << 4;
}

// A peer resets its connection just before a request, and the server finds
// out only as it writes to it: every other client still gets exactly one
// frame of each broadcast, and the line counts the frames written.
void TstSiec::resetWTrakcieRozglaszania()
{
    QFETCH(int, zerwany);
    Stanowisko s;
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");
    for (int i = 0; i < 5; ++i)
        QVERIFY(s.dolacz(0, false));

    // Linger 0: closing sends a reset, which loopback delivers at once. No
    // event is processed before the broadcast.
    QTcpSocket &gniazdo = s.klienci[zerwany]->gniazdo;
    const linger natychmiast {1, 0};
    QCOMPARE(setsockopt(decltype(socket(0, 0, 0))(gniazdo.socketDescriptor()), SOL_SOCKET,
                        SO_LINGER, reinterpret_cast<const char *>(&natychmiast),
                        sizeof natychmiast),
             0);
    gniazdo.abort();
    s.przycisk("przyciskSynchTeraz")->click();
    QCOMPARE(s.linieSerwera().filter(QStringLiteral(" - Nadano żądanie")).size(), 1);
    QCOMPARE(tresc(s.linieSerwera().filter(QStringLiteral(" - Nadano żądanie")).constFirst()),
             QStringLiteral(" - Nadano żądanie wysłania godziny do 4 klientów"));

    // The stop notice, sent after, shows that nothing else came before it.
    s.kliknij("przyciskZatrzymaj");
    for (int i = 0; i < 5; ++i) {
        if (i == zerwany)
            continue;
        QTRY_COMPARE(s.klienci[i]->odebrane.size(), 2);
        QCOMPARE(s.klienci[i]->odebrane[0].kod, ramka::kodZadania);
        QCOMPARE(s.klienci[i]->odebrane[1].kod, ramka::kodStopu);
    }
}

void TstSiec::zalewRamek()
{
    Stanowisko s;
    s.kliknij("przyciskRozpocznij");
    KlientTestowy *zalewajacy = s.dolacz(0, false);
    KlientTestowy *uczciwy = s.dolacz(0, false);
    QVERIFY(zalewajacy && uczciwy);
    s.kliknij("przyciskSynch");
    s.kliknij("przyciskSynchTeraz");
    QTRY_COMPARE(uczciwy->odebrane.size(), 1);

    // A thousand replies to one request: the first 32 frames are read, the
    // first of them as the answer, then the connection is cut and the client
    // forgotten.
    QByteArray zalew;
    for (int i = 0; i < 1000; ++i)
        zalew += zbudujRamke(5, czasZadaniaKlienta(uczciwy).addSecs(100));
    zalewajacy->gniazdo.write(zalew);
    QTRY_VERIFY(s.ostatniaSerwera().contains(
        QStringLiteral(" - Zakończono połączenie z klientem o adresie: ")));
    QCOMPARE(s.linieSerwera().filter(liniaOdpowiedzi).size(), 1);
    // The other 31 are left out, and only the first of them is shown.
    QCOMPARE(s.linieSerwera().filter(QStringLiteral(" - Pominięto godzinę od klienta ")).size(), 1);

    // The honest client goes on being served.
    s.kliknij("przyciskSynchTeraz");
    QCOMPARE(tresc(s.ostatniaSerwera()),
             QStringLiteral(" - Nadano żądanie wysłania godziny do 1 klientów"));
    uczciwy->odpowiedz(5, czasZadaniaKlienta(uczciwy));
    QTRY_VERIFY(s.linieSerwera().contains(QStringLiteral("----Odebrano wszystkie odpowiedzi----")));
}

// Connections reset before the server took them in have no address any
// more: they are counted in the summary, never named 0.0.0.0, never judged
// against the networks allowed.
void TstSiec::zerwanePrzedPrzyjeciem()
{
    Stanowisko s;
    QStringList doPliku; // each with its weight, as the journal takes it
    s.okno.przekazujLinie(
        [&doPliku](QLatin1String, QDate, const QString &linia, usluga::Waga waga) {
            doPliku << QStringLiteral("<%1>").arg(waga) + linia;
        });
    Dostep tylkoTenKomputer;
    QString blad;
    QVERIFY(tylkoTenKomputer.ustawSieci(QStringLiteral("127.0.0.0/8"), blad));
    s.okno.ustawDostep(tylkoTenKomputer);
    s.kliknij("przyciskRozpocznij");
    constexpr int zerwanych = 5;
    for (int i = 0; i < zerwanych; ++i) {
        // The system takes the connection; the server has not yet.
        QTcpSocket gniazdo;
        gniazdo.connectToHost(QHostAddress::LocalHost, s.port());
        QVERIFY(gniazdo.waitForConnected(2000));
        const linger natychmiast {1, 0};
        setsockopt(decltype(socket(0, 0, 0))(gniazdo.socketDescriptor()), SOL_SOCKET, SO_LINGER,
                   reinterpret_cast<const char *>(&natychmiast), sizeof natychmiast);
    }
    QVERIFY(s.dolacz());
    s.kliknij("przyciskZatrzymaj");
    QCOMPARE(doPliku.filter(QStringLiteral("0.0.0.0")).size(), 0);
    QCOMPARE(s.linieSerwera().filter(QStringLiteral("Rozpoczęto połączenie")).size(), 1);
    QVERIFY2(!doPliku
                  .filter(QRegularExpression(
                      QStringLiteral("^<4>[0-9:]{8} - Zerwano przed przyjęciem %1 połączeń")
                          .arg(zerwanych)))
                  .isEmpty(),
             qPrintable(doPliku.join(QLatin1Char('\n'))));
    QCOMPARE(doPliku.filter(QStringLiteral("<6>")).size(), doPliku.size() - 1);
}

void TstSiec::niedokonczonaRamka_data()
{
    QTest::addColumn<bool>("kolejne"); // frames finished one by one while the next is begun
    QTest::newRow("one frame held unfinished") << false;
    QTest::newRow("each frame finished as the next begins") << true;
}

// A connection that holds a frame unfinished is cut off once the deadline
// has passed since its first byte, though every frame is finished in time,
// but the next is begun in the same piece; a client sending whole frames is
// not.
void TstSiec::niedokonczonaRamka()
{
    QFETCH(bool, kolejne);
    constexpr qint64 terminMs = 300;
    Stanowisko s;
    s.okno.ustawTerminRamki(terminMs);
    s.kliknij("przyciskRozpocznij");
    KlientTestowy *zwlekajacy = s.dolacz(0, false);
    KlientTestowy *uczciwy = s.dolacz(0, false);
    QVERIFY(zwlekajacy && uczciwy);

    const QByteArray ramki = zbudujRamke(5, QTime(12, 0)).repeated(10);
    zwlekajacy->gniazdo.write(ramki.left(9));
    QElapsedTimer czas;
    czas.start();
    qsizetype wyslanych = 9;
    const QString przerwano = QStringLiteral(" - Przerwano połączenie z klientem o adresie: ");
    while (s.linieSerwera().filter(przerwano).isEmpty() && czas.elapsed() < 20 * terminMs) {
        QTest::qWait(int(terminMs / 3));
        if (kolejne && wyslanych + ramka::dlugoscRamki <= ramki.size()) {
            zwlekajacy->gniazdo.write(ramki.mid(wyslanych, ramka::dlugoscRamki));
            wyslanych += ramka::dlugoscRamki;
        }
        uczciwy->gniazdo.write(zbudujRamke(5, QTime(12, 0)));
        QVERIFY(s.tyknij());
    }
    // Not before its deadline; the loop above bounds how long after.
    QVERIFY2(czas.elapsed() >= terminMs, qPrintable(QString::number(czas.elapsed())));
    const QStringList linie = s.linieSerwera().filter(przerwano);
    QCOMPARE(linie.size(), 1);
    QVERIFY(linie[0].contains(QStringLiteral("Port:%1: ramka niedokończona od 0.3 s")
                                  .arg(zwlekajacy->gniazdo.localPort())));
    QTRY_VERIFY(tresc(s.ostatniaSerwera())
                    .startsWith(QStringLiteral(" - Zakończono połączenie z klientem")));
    QTRY_COMPARE(s.element<QTcpServer>("serwerTcp")->findChildren<QTcpSocket *>().size(), 1);
}

void TstSiec::dostep_data()
{
    QTest::addColumn<QString>("sieci");
    QTest::addColumn<int>("maksZAdresu");
    QTest::addColumn<int>("przyjetych"); // of three from 127.0.0.1
    QTest::addColumn<QString>("powod");
    QTest::newRow("not in the networks") << QStringLiteral("10.0.0.0/8, 192.168.1.7") << 0 << 0
                                         << QStringLiteral(" (spoza --dozwolone)");
    QTest::newRow("in the networks, two an address")
        << QStringLiteral("127.0.0.0/8") << 2 << 2
        << QStringLiteral(" (za wiele połączeń z tego adresu, --maks-z-adresu)");
}

// Connections from elsewhere, or more than an address may hold, are closed
// at once and never registered, asked or counted.
void TstSiec::dostep()
{
    QFETCH(QString, sieci);
    QFETCH(int, maksZAdresu);
    QFETCH(int, przyjetych);
    QFETCH(QString, powod);
    Stanowisko s;
    Dostep dostep;
    QString blad;
    QVERIFY2(dostep.ustawSieci(sieci, blad), qPrintable(blad));
    dostep.ustawMaksZAdresu(maksZAdresu);
    s.okno.ustawDostep(dostep);
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");

    for (int i = 0; i < 3; ++i)
        QVERIFY(s.dolacz(0, false));
    for (int i = 0; i < 3; ++i)
        QTRY_COMPARE(s.klienci[i]->gniazdo.state(),
                     i < przyjetych ? QAbstractSocket::ConnectedState
                                    : QAbstractSocket::UnconnectedState);
    const QStringList odrzucone
        = s.linieSerwera().filter(QStringLiteral(" - Odrzucono połączenie z adresu: 127.0.0.1; "));
    QCOMPARE(odrzucone.size(), 3 - przyjetych);
    for (const QString &linia : odrzucone)
        QVERIFY2(linia.endsWith(powod), qPrintable(linia));
    QCOMPARE(s.linieSerwera().filter(QStringLiteral("Rozpoczęto połączenie")).size(), przyjetych);
    s.kliknij("przyciskSynchTeraz");
    QCOMPARE(tresc(s.ostatniaSerwera()),
             QStringLiteral(" - Nadano żądanie wysłania godziny do %1 klientów").arg(przyjetych));
    if (przyjetych == 0)
        return;

    // One leaves, once it has the request, and its place can be taken.
    QTRY_COMPARE(s.klienci[0]->odebrane.size(), 1);
    s.klienci[0]->gniazdo.disconnectFromHost();
    QTRY_VERIFY2(tresc(s.ostatniaSerwera()).startsWith(QStringLiteral(" - Zakończono połączenie")),
                 qPrintable(s.ostatniaSerwera()));
    KlientTestowy *nastepny = s.dolacz(0, false);
    QVERIFY(nastepny);
    QVERIFY(tresc(s.ostatniaSerwera()).startsWith(QStringLiteral(" - Rozpoczęto połączenie")));
}

// A peer that connects and leaves as fast as it can: the pane shows it all,
// a log file at most ten lines a second about its address.
void TstSiec::ograniczenieDziennika_data()
{
    QTest::addColumn<int>("adresow");
    QTest::addColumn<int>("naSekunde"); // lines of them that may go to the file
    QTest::newRow("one address") << 1 << Serwer::liniiZAdresuNaSekunde;
    QTest::newRow("300 addresses") << 300 << Serwer::liniiNaSekunde;
}

// Connections come and go faster than lines may go to a file: from one
// address, or each from an address of its own. The pane has them all.
void TstSiec::ograniczenieDziennika()
{
    QFETCH(int, adresow);
    QFETCH(int, naSekunde);
    Stanowisko s;
    QStringList doPliku;
    s.okno.przekazujLinie(
        [&doPliku](QLatin1String, QDate, const QString &linia, usluga::Waga) { doPliku << linia; });
    s.kliknij("przyciskRozpocznij");
    const auto oPolaczeniach = [](const QStringList &linie) {
        return linie.filter(QStringLiteral("połączenie z klientem o adresie: 127.0.")).size();
    };

    QElapsedTimer czas;
    czas.start();
    constexpr int polaczen = 300;
    for (int i = 0; i < polaczen; ++i) {
        QTcpSocket k;
        if (adresow > 1)
            QVERIFY(k.bind(QHostAddress(QHostAddress(QHostAddress::LocalHost).toIPv4Address() + 1
                                        + quint32(i % adresow))));
        k.connectToHost(QHostAddress::LocalHost, s.port());
        QVERIFY(k.waitForConnected(2000));
        k.disconnectFromHost();
    }
    QTRY_COMPARE(oPolaczeniach(s.linieSerwera()), 2 * polaczen);
    // The seconds the connections came in, counted as the limit counts them.
    const qint64 sekund = czas.elapsed() / 1000 + 2;
    qInfo("%d connections from %d addresses in %lld ms: %d lines of them for the file", polaczen,
          adresow, czas.elapsed(), int(oPolaczeniach(doPliku)));
    QVERIFY(oPolaczeniach(doPliku) >= naSekunde);
    QVERIFY(oPolaczeniach(doPliku) <= naSekunde * sekund);
    // Other lines are not held back, and those left out are summed up in one.
    s.kliknij("przyciskZatrzymaj");
    QCOMPARE(tresc(doPliku.constLast()), QStringLiteral(" - Zamknięto serwer"));
    // Every line is in the file or counted in the one line that sums them.
    const QStringList suma = doPliku.filter(QStringLiteral(" - Pominięto w dzienniku "));
    QCOMPARE(suma.size(), 1);
    static const QRegularExpression ile(
        QStringLiteral(" - Pominięto w dzienniku (\\d+) linii \\(o połączeniach \\1\\) z (adresu "
                       "127\\.0\\.0\\.1|\\d+ adresów)"));
    const auto dopasowanie = ile.match(suma[0]);
    QVERIFY2(dopasowanie.hasMatch(), qPrintable(suma[0]));
    QCOMPARE(dopasowanie.captured(1).toInt() + oPolaczeniach(doPliku), 2 * polaczen);
    QCOMPARE(dopasowanie.captured(2).startsWith(QLatin1String("adresu")), adresow == 1);
}

void TstSiec::koniecNicNieWysyla()
{
    Stanowisko s;
    s.okno.show();
    s.kliknij("przyciskRozpocznij");
    KlientTestowy *k = s.dolacz();
    QVERIFY(k);
    const int linii = s.linieSerwera().size();

    s.kliknij("przyciskKoniec");
    QVERIFY(!s.okno.isVisible());
    QVERIFY(!s.element<QTcpServer>("serwerTcp")->isListening());
    // A marker written on the server's end after the end comes first: the
    // end sent nothing.
    const auto gniazda = s.element<QTcpServer>("serwerTcp")->findChildren<QTcpSocket *>();
    QCOMPARE(gniazda.size(), 1);
    gniazda[0]->write(zbudujRamke(99, QTime(1, 2, 3)));
    QTRY_COMPARE(k->odebrane.size(), 1);
    QCOMPARE(k->odebrane[0].kod, 99);
    QCOMPARE(s.linieSerwera().size(), linii);
}

void TstSiec::zniszczenieZKlientami_data()
{
    QTest::addColumn<QString>("sposob");
    QTest::newRow("the end button") << QStringLiteral("przycisk");
    QTest::newRow("the window closed") << QStringLiteral("zamkniecie");
    QTest::newRow("destroyed") << QStringLiteral("zniszczenie");
}

// Sockets destroyed with the window emit disconnected() on their way out;
// none of it may reach the window's slots.
void TstSiec::zniszczenieZKlientami()
{
    QFETCH(QString, sposob);
    auto *okno = new Serwer;
    okno->show();
    okno->findChild<QTimer *>(QStringLiteral("zegar"))->stop();
    const quint16 port = wolnyPort();
    okno->findChild<QSpinBox *>(QStringLiteral("polePortu"))->setValue(port);
    QTest::mouseClick(okno->findChild<QPushButton *>(QStringLiteral("przyciskRozpocznij")),
                      Qt::LeftButton);
    QTest::mouseClick(okno->findChild<QPushButton *>(QStringLiteral("przyciskSynch")),
                      Qt::LeftButton);

    constexpr int ile = 200;
    std::vector<std::unique_ptr<KlientTestowy>> klienci;
    for (int i = 0; i < ile; ++i)
        klienci.push_back(std::make_unique<KlientTestowy>(port, 0, i % 2 == 0));
    auto *dziennik = okno->findChild<QTextBrowser *>(QStringLiteral("oknoSerwera"));
    QTRY_COMPARE(dziennik->toPlainText().count(QStringLiteral("Rozpoczęto połączenie")), ile);

    // An exchange open, half of the replies in, data on the way and clients
    // leaving as the window goes.
    QTest::mouseClick(okno->findChild<QPushButton *>(QStringLiteral("przyciskSynchTeraz")),
                      Qt::LeftButton);
    QTRY_COMPARE(dziennik->toPlainText().count(QStringLiteral("Odebrano godzinę")), ile / 2);
    for (int i = 1; i < ile; i += 4)
        klienci[i]->odpowiedz(5, QTime(1, 2, 3));
    for (int i = 3; i < ile; i += 4)
        klienci[i]->gniazdo.disconnectFromHost();

    // Every server socket still wired to the window when it emits its last
    // disconnected(), on its way out with the window, is a slot of a
    // half-destroyed window that may run.
    QObject obserwator;
    int ostatnich = 0;
    int wciazPodlaczonych = 0;
    const auto gniazda
        = okno->findChild<QTcpServer *>(QStringLiteral("serwerTcp"))->findChildren<QTcpSocket *>();
    for (QTcpSocket *gniazdo : gniazda)
        connect(gniazdo, &QTcpSocket::disconnected, &obserwator, [&, gniazdo, okno] {
            ++ostatnich;
            if (QObject::disconnect(gniazdo, nullptr, okno, nullptr))
                ++wciazPodlaczonych;
        });

    if (sposob == QLatin1String("przycisk"))
        QTest::mouseClick(okno->findChild<QPushButton *>(QStringLiteral("przyciskKoniec")),
                          Qt::LeftButton);
    else if (sposob == QLatin1String("zamkniecie"))
        okno->close();
    QVERIFY(sposob == QLatin1String("zniszczenie") || !okno->isVisible());
    delete okno;
    QVERIFY(ostatnich > 0);
    QCOMPARE(wciazPodlaczonych, 0);
    for (const auto &k : klienci)
        QTRY_COMPARE(k->gniazdo.state(), QAbstractSocket::UnconnectedState);
}

TEST_SERWERA(TstSiec)
#include "tst_siec.moc"
