// Soak: the window serves a client process of well-behaved clients at the
// shortest period while hostile and faulty connections storm it on loopback.
// Bounded to well under a minute; every connection is closed at the end.

#include "narzedzia/burza.h"
#include "stanowisko.h"
#include "sync/doba.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <atomic>
#include <map>
#include <thread>

class TstObciazenie : public QObject
{
    Q_OBJECT

private slots:
    void burza();
};

namespace {

constexpr int uczciwych = 20;
constexpr int sekundBurzy = 20;
constexpr long krotkichPolaczen = 15'000; // three log lines each

// Every hostile and faulty connection of the storm, and what it did.
class Napastnicy : public QObject
{
public:
    explicit Napastnicy(quint16 portSerwera)
        : port(portSerwera)
        , los(2026)
    {
    }

    void zacznij()
    {
        for (int i = 0; i < 20; ++i)
            nowe([this](QTcpSocket *g) { smieci(g); });
        for (int dlugosc : {0, 1, 7, 9, 65535})
            nowe([dlugosc](QTcpSocket *g) {
                QByteArray b;
                QDataStream(&b, QIODevice::WriteOnly) << quint16(dlugosc);
                g->write(b + QByteArray(qMax(0, qMin(dlugosc, 1000) - 1), '\x05'));
            });
        nowe([this](QTcpSocket *g) { poBajcie = g; });
        nowe([this](QTcpSocket *g) {
            QByteArray zalew;
            const QByteArray r = zbudujRamke(5, QTime(12, 0));
            for (int i = 0; i < 1024 * 1024; ++i)
                zalew += r;
            g->write(zalew);
        });
        for (int i = 0; i < 10; ++i)
            nowe([this](QTcpSocket *g) { dowolne(g); });
        for (int i = 0; i < 300; ++i)
            nowe([](QTcpSocket *) {});
        for (int i = 0; i < 10; ++i)
            nowe([this](QTcpSocket *g) {
                connect(g, &QTcpSocket::readyRead, g, [this, g] {
                    ++zerwanychPrzedOdpowiedzia;
                    g->abort();
                });
            });

        connect(&takt, &QTimer::timeout, this, [this] {
            if (poBajcie) {
                const QByteArray r = zbudujRamke(9, QTime(1, 2, 3));
                poBajcie->write(r.mid(bajtow++ % r.size(), 1));
            }
            for (QTcpSocket *g : std::as_const(gniazda))
                if (g->property("smieci").toBool())
                    smieci(g);
                else if (g->property("dowolne").toBool())
                    dowolne(g);
            otwierajIZamykaj(50);
        });
        takt.start(1000);
        otwierajIZamykaj(50);
    }

    void zakoncz()
    {
        takt.stop();
        for (QTcpSocket *g : std::as_const(gniazda))
            g->abort();
        qDeleteAll(gniazda);
        gniazda.clear();
        poBajcie = nullptr;
    }

    qint64 wyslanychBajtow = 0;
    int polaczen = 0;
    int zerwanychPrzedOdpowiedzia = 0;

private:
    template<typename Zachowanie> void nowe(Zachowanie zachowanie)
    {
        auto *g = new QTcpSocket;
        gniazda.append(g);
        ++polaczen;
        connect(g, &QTcpSocket::bytesWritten, this, [this](qint64 n) { wyslanychBajtow += n; });
        connect(g, &QTcpSocket::connected, g, [g, zachowanie] { zachowanie(g); });
        g->connectToHost(QHostAddress::LocalHost, port);
    }

    void smieci(QTcpSocket *g)
    {
        g->setProperty("smieci", true);
        QByteArray b(4096, Qt::Uninitialized);
        for (char &c : b)
            c = char(los.bounded(256));
        g->write(b);
    }

    void dowolne(QTcpSocket *g)
    {
        g->setProperty("dowolne", true);
        QByteArray b;
        QDataStream s(&b, QIODevice::WriteOnly);
        for (int i = 0; i < 10; ++i)
            s << quint16(8) << qint32(los.generate()) << (i == 0 ? 0xffffffffu : los.generate());
        g->write(b);
    }

    // Connections that open and close at once, a batch a second.
    void otwierajIZamykaj(int ile)
    {
        for (int i = 0; i < ile && otwartychIZamknietych < 1000; ++i, ++otwartychIZamknietych) {
            auto *g = new QTcpSocket(this);
            ++polaczen;
            connect(g, &QTcpSocket::connected, g, &QTcpSocket::disconnectFromHost);
            connect(g, &QTcpSocket::disconnected, g, &QObject::deleteLater);
            connect(g, &QTcpSocket::errorOccurred, g, &QObject::deleteLater);
            g->connectToHost(QHostAddress::LocalHost, port);
        }
    }

    quint16 port;
    QRandomGenerator los;
    QList<QTcpSocket *> gniazda;
    QTcpSocket *poBajcie = nullptr;
    int bajtow = 0;
    int otwartychIZamknietych = 0;
    QTimer takt;
};

// Reply lines logged after each request, by the request's time-stamp.
std::map<QString, int> odpowiedziNaZadanie(const QStringList &linie)
{
    std::map<QString, int> wynik;
    QString zadanie;
    for (const QString &linia : linie) {
        if (linia.contains(QStringLiteral(" - Nadano żądanie wysłania godziny do ")))
            zadanie = linia.left(8);
        else if (!zadanie.isEmpty()
                 && linia.contains(QStringLiteral(" - Odebrano godzinę od klienta ")))
            ++wynik[zadanie];
    }
    return wynik;
}

} // namespace

void TstObciazenie::burza()
{
    Stanowisko s;
    s.zegar()->start();
    s.pole("poleOkresu")->setValue(10);
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");

    // The clients' output goes to a file: Wine 8 loses part of what a
    // program writes to a pipe of QProcess's while others run.
    QTemporaryDir katalog;
    QFile plikKlienta(katalog.filePath(QStringLiteral("klienci.txt")));
    const auto nowe = [&plikKlienta] {
        if (!plikKlienta.isOpen())
            plikKlienta.open(QIODevice::ReadOnly);
        return QString::fromUtf8(plikKlienta.readAll());
    };
    QProcess klient;
    klient.setStandardOutputFile(plikKlienta.fileName());
    QVERIFY(s.uruchomKlienta(klient,
                             {QStringLiteral("--count"), QString::number(uczciwych),
                              QStringLiteral("--spread"), QStringLiteral("30"),
                              QStringLiteral("--seed"), QStringLiteral("1")}));
    QTRY_COMPARE_WITH_TIMEOUT(
        s.linieSerwera().filter(QStringLiteral("Rozpoczęto połączenie")).size(), uczciwych, 10000);
    s.kliknij("przyciskSynchTeraz");
    QTRY_VERIFY_WITH_TIMEOUT(
        s.linieSerwera().contains(QStringLiteral("----Odebrano wszystkie odpowiedzi----")), 5000);
    const qint64 pamiecPrzed = pamiecKB();
    // Each has taken that agreed time before the storm, so that only those
    // taken during it count there.
    QString wyjscie;
    QTRY_COMPARE_WITH_TIMEOUT(
        (wyjscie += nowe()).count(QStringLiteral(": ustawiono czas uzgodniony")), uczciwych, 5000);
    // One more client, whose requests show the server clock against the
    // system clock.
    KlientTestowy *zegarowy = s.dolacz();
    QVERIFY(zegarowy);

    // The storm: the hostile connections, and for its first half 20 threads
    // (4 under Wine) opening connections that send 31 replies each and close,
    // at most as many as leave the log of the whole run in its pane. The
    // event loop is watched: no pass may hold it for a second.
    Napastnicy napastnicy(s.port());
    napastnicy.zacznij();
    // Under Wine every socket call of every thread queues at one server
    // process; a smaller storm keeps the test a measure of this program.
    const int watkowBurzy = podWine() ? 4 : 20;
    long burzy = 0;
    std::atomic<bool> burzaMinela {false};
    std::thread watekBurzy([&burzy, &burzaMinela, watkowBurzy, port = s.port()] {
        burzy = ::burza(port, watkowBurzy, sekundBurzy / 2, 31, krotkichPolaczen);
        burzaMinela = true;
    });
    QElapsedTimer odOstatniego;
    odOstatniego.start();
    qint64 najdluzszyPrzestoj = 0;
    QTimer straznik;
    connect(&straznik, &QTimer::timeout, &straznik,
            [&] { najdluzszyPrzestoj = qMax(najdluzszyPrzestoj, odOstatniego.restart()); });
    straznik.start(50);
    // The hostile connections last until the short ones are done and every
    // well-behaved client has taken an agreed time while they went on.
    static const QRegularExpression ustawiono(
        QStringLiteral("^klient (\\d+) \\[[^]]*\\]: ustawiono czas uzgodniony"),
        QRegularExpression::MultilineOption);
    QString wBurzy;
    QSet<QString> ustawieni;
    const auto wszyscyUstawili = [&] {
        wBurzy += nowe();
        ustawieni.clear();
        for (auto it = ustawiono.globalMatch(wBurzy); it.hasNext();)
            ustawieni.insert(it.next().captured(1));
        return burzaMinela && ustawieni.size() == uczciwych;
    };
    QTRY_VERIFY_WITH_TIMEOUT(wszyscyUstawili(), 3 * sekundBurzy * 1000);
    watekBurzy.join();
    napastnicy.zakoncz();
    straznik.stop();
    // About 130 ms is usual here, 0.5 to 1.5 s under Wine, which passes each
    // socket call through a server process of its own; the sanitizers slow
    // every call.
#ifdef __SANITIZE_ADDRESS__
    const qint64 dopuszczalnyPrzestoj = 1000;
#else
    const qint64 dopuszczalnyPrzestoj = podWine() ? 3000 : 500;
#endif
    QVERIFY2(najdluzszyPrzestoj < dopuszczalnyPrzestoj,
             qPrintable(QString::number(najdluzszyPrzestoj)));

    // The silent and hostile connections are asked too and never answer, yet
    // every well-behaved client received agreed times during the storm.
    wyjscie += wBurzy;

    // With the storm gone, the next request reaches exactly the well-behaved
    // clients and its exchange completes with an agreed time.
    const int przed = s.linieSerwera().size();
    // From the first request after the storm on: the exchange under way
    // when it ended may still complete after it.
    const auto odZadania = [&s, przed] {
        QStringList linie = s.linieSerwera().mid(przed);
        while (!linie.isEmpty()
               && !linie.constFirst().contains(QStringLiteral(" - Nadano żądanie")))
            linie.removeFirst();
        return linie;
    };
    QTRY_VERIFY_WITH_TIMEOUT(!odZadania().isEmpty(), 12000);
    QTRY_VERIFY_WITH_TIMEOUT(
        odZadania().contains(QStringLiteral("----Odebrano wszystkie odpowiedzi----")), 5000);
    const QStringList poBurzy = odZadania();
    QCOMPARE(
        tresc(poBurzy.constFirst()),
        QStringLiteral(" - Nadano żądanie wysłania godziny do %1 klientów").arg(uczciwych + 1));
    // The agreed time goes to every client registered by then: under Wine,
    // where accepting is slow, connections of the storm still come in.
    static const QRegularExpression wyslano(
        QStringLiteral(" - Wysłano godzinę synchronizacji \\S+ do (\\d+) klientów$"));
    const QStringList wyniki = poBurzy.filter(wyslano);
    QCOMPARE(wyniki.size(), 1);
    QVERIFY2(wyslano.match(wyniki[0]).captured(1).toInt() >= uczciwych + 1, qPrintable(wyniki[0]));
    const qint64 pamiecPo = pamiecKB();

    // The storm cost the clock no time: the last request carried the
    // server clock as it came. (An agreed time carries the average too,
    // which hostile replies within the threshold may move.)
    QTRY_VERIFY(!zegarowy->odebrane.isEmpty());
    const auto ostatnie
        = std::find_if(zegarowy->odebrane.crbegin(), zegarowy->odebrane.crend(),
                       [](const Odebrana &r) { return r.kod == ramka::kodZadania; });
    QVERIFY(ostatnie != zegarowy->odebrane.crend());
    const qint32 opoznienie = roznicaMs(ostatnie->odebrano, ostatnie->czas);
    // Lost ticks would add up to seconds in the storm; the frame's own way
    // through Wine's server takes up to a few hundred milliseconds.
    QVERIFY2(qAbs(opoznienie) < (podWine() ? 1000 : 300), qPrintable(QString::number(opoznienie)));

    // Every reply the well-behaved clients sent is in the log.
    klient.terminate();
    QVERIFY(klient.waitForFinished(5000));
    wyjscie += nowe();
    QVERIFY(!wyjscie.contains(QStringLiteral("rozłączono")));
    static const QRegularExpression odpowiedz(
        QStringLiteral(": żądanie serwera \\((\\d\\d:\\d\\d:\\d\\d)\\.\\d{3}\\), odpowiadam"));
    std::map<QString, int> wyslane;
    for (auto it = odpowiedz.globalMatch(wyjscie); it.hasNext();)
        ++wyslane[it.next().captured(1)];
    const std::map<QString, int> zalogowane = odpowiedziNaZadanie(s.linieSerwera());
    QVERIFY(wyslane.size() >= 3);
    for (const auto &[czas, ile] : wyslane) {
        QCOMPARE(ile, uczciwych);
        QVERIFY2(zalogowane.count(czas) && zalogowane.at(czas) >= ile, qPrintable(czas));
    }

    const int wymian = s.linieSerwera().filter(QStringLiteral(" - Wysłano godzinę")).size();
    qInfo("connections tried: %d, bytes sent by them: %lld, cut off between request and "
          "reply: %d, short connections of the storm: %ld, longest pass: %lld ms, server clock "
          "behind the system clock: %d ms, exchanges completed: %d, requests answered by the "
          "well-behaved: %zu, resident memory before: %lld KB, after: %lld KB",
          napastnicy.polaczen, napastnicy.wyslanychBajtow, napastnicy.zerwanychPrzedOdpowiedzia,
          burzy, najdluzszyPrzestoj, opoznienie, wymian, wyslane.size(), pamiecPrzed, pamiecPo);
#ifndef __SANITIZE_ADDRESS__ // its quarantine holds on to freed memory on purpose
    // About 90 MB is usual here.
    QVERIFY2(pamiecPo < 160 * 1024, "resident memory reached 160 MB");
#endif
}

TEST_SERWERA(TstObciazenie)
#include "tst_obciazenie.moc"
