// The client program: its clock arithmetic, and a whole exchange between the
// server window and a real `klient` process.

#include "grupa.h"
#include "stanowisko.h"
#include "zegarSymulowany.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>

class TstKlient : public QObject
{
    Q_OBJECT

private slots:
    void zegar_data();
    void zegar();
    void rozrzutWartosci();
    void wymianaZProcesem();
    void zawieszonyKlient();
};

static constexpr qint64 sekundaNs = 1'000'000'000;

void TstKlient::zegar_data()
{
    QTest::addColumn<QTime>("start");
    QTest::addColumn<qint64>("przesuniecieMs");
    QTest::addColumn<double>("dryfPpm");
    QTest::addColumn<qint64>("poNs");
    QTest::addColumn<QTime>("odczyt");

    const QTime poludnie(12, 0);
    QTest::newRow("offset") << poludnie << qint64(-30'000) << 0.0 << qint64(0) << QTime(11, 59, 30);
    QTest::newRow("runs on") << poludnie << qint64(0) << 0.0 << 90 * sekundaNs << QTime(12, 1, 30);
    QTest::newRow("fast by 1000 ppm")
        << poludnie << qint64(0) << 1000.0 << 1000 * sekundaNs << QTime(12, 16, 41);
    QTest::newRow("slow by 1000 ppm")
        << poludnie << qint64(0) << -1000.0 << 1000 * sekundaNs << QTime(12, 16, 39);
    QTest::newRow("offset past midnight")
        << QTime(23, 59, 50) << qint64(20'000) << 0.0 << qint64(0) << QTime(0, 0, 10);
    QTest::newRow("runs past midnight")
        << QTime(23, 59, 59) << qint64(0) << 0.0 << 2 * sekundaNs << QTime(0, 0, 1);
    QTest::newRow("offset back over midnight")
        << QTime(0, 0, 5) << qint64(-10'000) << 0.0 << qint64(0) << QTime(23, 59, 55);
}

void TstKlient::zegar()
{
    QFETCH(QTime, start);
    QFETCH(qint64, przesuniecieMs);
    QFETCH(double, dryfPpm);
    QFETCH(qint64, poNs);
    QFETCH(QTime, odczyt);
    const qint64 poczatek = 5 * sekundaNs;
    const ZegarSymulowany z = nowyZegar(start, przesuniecieMs, dryfPpm, poczatek);
    QCOMPARE(::odczyt(z, poczatek + poNs), odczyt);
}

void TstKlient::rozrzutWartosci()
{
    QCOMPARE(rozrzut({}), qint64(0));
    QCOMPARE(rozrzut({7}), qint64(0));
    QCOMPARE(rozrzut({-3000, 12000, 40}), qint64(15000));

    // An agreed time replaces the reading; the rate stays.
    ZegarSymulowany z = nowyZegar(QTime(8, 0), 0, 500.0, 0);
    ustaw(z, QTime(9, 0), 10 * sekundaNs);
    QCOMPARE(odczyt(z, 10 * sekundaNs), QTime(9, 0));
    QCOMPARE(odczyt(z, 2010 * sekundaNs), QTime(9, 33, 21));
}

void TstKlient::wymianaZProcesem()
{
    Stanowisko s;
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");

    QProcess klient;
    QVERIFY(s.uruchomKlienta(klient,
                             {QStringLiteral("--count"), QStringLiteral("5"),
                              QStringLiteral("--spread"), QStringLiteral("30"),
                              QStringLiteral("--seed"), QStringLiteral("7"),
                              QStringLiteral("--exchanges"), QStringLiteral("1")}));
    QTRY_COMPARE_WITH_TIMEOUT(
        s.linieSerwera().filter(QStringLiteral("Rozpoczęto połączenie")).size(), 5, 10000);

    s.kliknij("przyciskSynchTeraz");
    QTRY_COMPARE_WITH_TIMEOUT(klient.state(), QProcess::NotRunning, 10000);
    QCOMPARE(klient.exitStatus(), QProcess::NormalExit);
    QCOMPARE(klient.exitCode(), 0);

    QCOMPARE(s.linieSerwera().filter(QStringLiteral(" - Odebrano godzinę od klienta ")).size(), 5);
    QCOMPARE(s.linieSerwera()
                 .filter(QRegularExpression(QStringLiteral(" - Wysłano godzinę synchronizacji "
                                                           "\\d\\d:\\d\\d:\\d\\d do 5 klientów$")))
                 .size(),
             1);

    const QString wyjscie = QString::fromUtf8(klient.readAllStandardOutput());
    QCOMPARE(wyjscie.count(QStringLiteral(": żądanie serwera (")), 5);
    static const QRegularExpression podsumowanie(
        QStringLiteral("Wymiana 1: odpowiedziało 5 klientów, czas uzgodniony otrzymało 5; "
                       "rozrzut zegarów przed: (\\d+\\.\\d{3}) s, po: (\\d+\\.\\d{3}) s"));
    const auto dopasowanie = podsumowanie.match(wyjscie);
    QVERIFY2(dopasowanie.hasMatch(), qPrintable(wyjscie));
    QVERIFY(dopasowanie.captured(1).toDouble() > 1.0);
    QVERIFY(dopasowanie.captured(2).toDouble() < 0.1);
}

// A client that hangs (a stopped process, a machine asleep) is asked like
// the others and never answers; the rest are synchronized all the same, a
// reply window after their answers.
void TstKlient::zawieszonyKlient()
{
    Stanowisko s;
    s.zegar()->start();
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");
    const auto polaczonych = [&s] {
        return s.linieSerwera().filter(QStringLiteral("Rozpoczęto połączenie")).size();
    };

    QProcess zawieszony;
    QVERIFY(s.uruchomKlienta(zawieszony, {QStringLiteral("--quiet")}));
    QTRY_COMPARE_WITH_TIMEOUT(polaczonych(), 1, 10000);
    QCOMPARE(::kill(pid_t(zawieszony.processId()), SIGSTOP), 0);
    QProcess klienci;
    QVERIFY(s.uruchomKlienta(klienci,
                             {QStringLiteral("--count"), QStringLiteral("5"),
                              QStringLiteral("--spread"), QStringLiteral("30"),
                              QStringLiteral("--exchanges"), QStringLiteral("1")}));
    QTRY_COMPARE_WITH_TIMEOUT(polaczonych(), 6, 10000);

    QElapsedTimer zegar;
    zegar.start();
    s.kliknij("przyciskSynchTeraz");
    QTRY_COMPARE_WITH_TIMEOUT(klienci.state(), QProcess::NotRunning, 4000);
    qInfo("agreed time received %lld ms after the press", zegar.elapsed());
    QCOMPARE(klienci.exitCode(), 0);
    QCOMPARE(s.linieSerwera().filter(QStringLiteral(" - Odebrano godzinę od klienta ")).size(), 5);
    QVERIFY(
        s.linieSerwera().contains(QStringLiteral("----Nie odebrano wszystkich odpowiedzi----")));
    QCOMPARE(s.linieSerwera()
                 .filter(QRegularExpression(QStringLiteral(" - Wysłano godzinę synchronizacji "
                                                           "\\d\\d:\\d\\d:\\d\\d do 6 klientów$")))
                 .size(),
             1);
    ::kill(pid_t(zawieszony.processId()), SIGCONT);
}

QTEST_MAIN(TstKlient)
#include "tst_klient.moc"
