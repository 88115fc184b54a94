// The client program: its clock arithmetic, and a whole exchange between the
// server window and a real client process.

#include "grupa.h"
#include "klient.h"
#include "korekta.h"
#include "opcjeKlienta.h"
#include "stanowisko.h"
#include "zegarSymulowany.h"
#include "zegarSystemowy.h"
#include "zmianaZegara.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cerrno>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

class TstKlient : public QObject
{
    Q_OBJECT

private slots:
    void zegar_data();
    void zegar();
    void rozrzutWartosci();
    void wymianaZProcesem_data();
    void wymianaZProcesem();
    void wieleZadanWJednejWymianie();
    void zawieszonyKlient();
    void korektaZegara_data();
    void korektaZegara();
    void arytmetykaZmian_data();
    void arytmetykaZmian();
    void wrogiSerwer();
    void serwerZawodzi_data();
    void serwerZawodzi();
    void wrogiSerwerPrzezDobe_data();
    void wrogiSerwerPrzezDobe();
    void stanPoRestarcie_data();
    void stanPoRestarcie();
    void stanOgraniczony();
    void zegarSystemowyZProcesem_data();
    void zegarSystemowyZProcesem();
    void bledneWywolania_data();
    void bledneWywolania();
};

namespace {

// The machine's clock as the tests see it: a full local date and time (noon
// to begin with) that only this object changes, and every change asked of
// it. A slew goes at the system's rate, 500 parts in a million of the
// monotonic time: one replaced before it is done gives back what it had
// still to make, as the system's own slew does, and a step ends it.
class FalszywyZegar : public ZegarSystemowy
{
public:
    QTime czas() const override { return teraz.time(); }
    int przesun(qint64 ms, qint64 &pozostalo) override
    {
        pozostalo = zostaloPlynnie();
        return zmien(QStringLiteral("przesun"), ms, pozostalo, ms);
    }
    int przestaw(qint64 ms) override
    {
        return zmien(QStringLiteral("przestaw"), ms, zostaloPlynnie(), 0);
    }
    qint64 monotonicznyMs() const override { return monotonicznie; }
    QByteArray rozruch() const override { return rozruchMaszyny; }
    QString opisBledu(int) const override { return QStringLiteral("odmowa"); }

    QDateTime teraz {QDate(2026, 12, 7), QTime(12, 0)};
    qint64 monotonicznie = 0;
    QByteArray rozruchMaszyny = "testowy";
    int blad = 0;
    QStringList zmiany;

private:
    qint64 zostaloPlynnie() const
    {
        const qint64 zrobiono
            = qMin(qAbs(plynnie), (monotonicznie - plynnieOd) * plynnieNaMilion / 1'000'000);
        return plynnie < 0 ? -(qAbs(plynnie) - zrobiono) : plynnie - zrobiono;
    }
    // A change is taken whole at once, less what the slew before it is
    // not to make now.
    int zmien(const QString &jak, qint64 ms, qint64 niezrobione, qint64 plynneTeraz)
    {
        zmiany << QStringLiteral("%1 %2").arg(jak).arg(ms);
        if (blad != 0)
            return blad;
        teraz = teraz.addMSecs(ms - niezrobione);
        plynnie = plynneTeraz;
        plynnieOd = monotonicznie;
        return 0;
    }
    qint64 plynnie = 0;
    qint64 plynnieOd = 0;
};

} // namespace

static constexpr qint64 sekundaNs = 1'000'000'000;

void TstKlient::zegar_data()
{
    QTest::addColumn<QTime>("start");
    QTest::addColumn<qint64>("przesuniecieMs");
    QTest::addColumn<double>("dryfPpm");
    QTest::addColumn<qint64>("poNs");
    QTest::addColumn<qint32>("zmianaStrefyS"); // of the local offset from UTC meanwhile
    QTest::addColumn<QTime>("odczyt");

    const QTime poludnie(12, 0);
    QTest::newRow("offset") << poludnie << qint64(-30'000) << 0.0 << qint64(0) << 0
                            << QTime(11, 59, 30);
    QTest::newRow("runs on") << poludnie << qint64(0) << 0.0 << 90 * sekundaNs << 0
                             << QTime(12, 1, 30);
    QTest::newRow("fast by 1000 ppm")
        << poludnie << qint64(0) << 1000.0 << 1000 * sekundaNs << 0 << QTime(12, 16, 41);
    QTest::newRow("slow by 1000 ppm")
        << poludnie << qint64(0) << -1000.0 << 1000 * sekundaNs << 0 << QTime(12, 16, 39);
    QTest::newRow("offset past midnight")
        << QTime(23, 59, 50) << qint64(20'000) << 0.0 << qint64(0) << 0 << QTime(0, 0, 10);
    QTest::newRow("runs past midnight")
        << QTime(23, 59, 59) << qint64(0) << 0.0 << 2 * sekundaNs << 0 << QTime(0, 0, 1);
    QTest::newRow("offset back over midnight")
        << QTime(0, 0, 5) << qint64(-10'000) << 0.0 << qint64(0) << 0 << QTime(23, 59, 55);
    QTest::newRow("daylight saving time begins")
        << QTime(1, 59, 58) << qint64(0) << 0.0 << 3 * sekundaNs << 3600 << QTime(3, 0, 1);
    QTest::newRow("daylight saving time ends")
        << QTime(2, 59, 58) << qint64(0) << 0.0 << 3 * sekundaNs << -3600 << QTime(2, 0, 1);
}

void TstKlient::zegar()
{
    QFETCH(QTime, start);
    QFETCH(qint64, przesuniecieMs);
    QFETCH(double, dryfPpm);
    QFETCH(qint64, poNs);
    QFETCH(qint32, zmianaStrefyS);
    QFETCH(QTime, odczyt);
    const qint64 poczatek = 5 * sekundaNs;
    const qint32 strefa = 3600;
    const ZegarSymulowany z = nowyZegar(start, przesuniecieMs, dryfPpm, poczatek, strefa);
    QCOMPARE(::odczyt(z, poczatek + poNs, strefa + zmianaStrefyS), odczyt);
}

void TstKlient::rozrzutWartosci()
{
    QCOMPARE(rozrzut({}), qint64(0));
    QCOMPARE(rozrzut({7}), qint64(0));
    QCOMPARE(rozrzut({-3000, 12000, 40}), qint64(15000));

    // An agreed time replaces the reading; the rate stays.
    ZegarSymulowany z = nowyZegar(QTime(8, 0), 0, 500.0, 0, 0);
    ustaw(z, QTime(9, 0), 10 * sekundaNs, 0);
    QCOMPARE(odczyt(z, 10 * sekundaNs, 0), QTime(9, 0));
    QCOMPARE(odczyt(z, 2010 * sekundaNs, 0), QTime(9, 33, 21));
}

void TstKlient::wymianaZProcesem_data()
{
    QTest::addColumn<bool>("przedSerwerem");
    QTest::newRow("the server first") << false;
    // The clients retry after 1 s, then 2 s (a fifth more or less), each
    // time on a new socket, which usually gets the descriptor of the one
    // before.
    QTest::newRow("the clients first") << true;
}

void TstKlient::wymianaZProcesem()
{
    QFETCH(bool, przedSerwerem);
    Stanowisko s;
    if (!przedSerwerem) {
        s.kliknij("przyciskRozpocznij");
        s.kliknij("przyciskSynch");
    }

    QProcess klient;
    QVERIFY(s.uruchomKlienta(klient,
                             {QStringLiteral("--count"), QStringLiteral("5"),
                              QStringLiteral("--spread"), QStringLiteral("30"),
                              QStringLiteral("--seed"), QStringLiteral("7"),
                              QStringLiteral("--exchanges"), QStringLiteral("1")}));
    if (przedSerwerem) {
        // Each client's first attempt has failed.
        QTRY_COMPARE_WITH_TIMEOUT(klient.peek(1 << 20).count("serwer niedostępny"), 5, 10000);
        QElapsedTimer odStartu;
        odStartu.start();
        s.kliknij("przyciskRozpocznij");
        s.kliknij("przyciskSynch");
        QTRY_COMPARE_WITH_TIMEOUT(
            s.linieSerwera().filter(QStringLiteral("Rozpoczęto połączenie")).size(), 5, 3000);
        qInfo("all five connected %lld ms after the server started", odStartu.elapsed());
    }
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
    QCOMPARE(wyjscie.count(QStringLiteral(": serwer niedostępny (")), przedSerwerem ? 5 : 0);
    QCOMPARE(wyjscie.count(QStringLiteral(": żądanie serwera (")), 5);
    static const QRegularExpression podsumowanie(
        QStringLiteral("Wymiana 1: odpowiedziało 5 klientów, czas uzgodniony otrzymało 5; "
                       "rozrzut zegarów przed: (\\d+\\.\\d{3}) s, po: (\\d+\\.\\d{3}) s"));
    const auto dopasowanie = podsumowanie.match(wyjscie);
    QVERIFY2(dopasowanie.hasMatch(), qPrintable(wyjscie));
    QVERIFY(dopasowanie.captured(1).toDouble() > 1.0);
    QVERIFY(dopasowanie.captured(2).toDouble() < 0.1);
}

// Requests that an exchange took before its agreed time are counted once
// per client: three clients asked twice are three that answered.
void TstKlient::wieleZadanWJednejWymianie()
{
    Stanowisko s;
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");
    QVERIFY(s.dolacz(0, false)); // keeps each exchange open
    QProcess klient;
    QVERIFY(s.uruchomKlienta(klient,
                             {QStringLiteral("--count"), QStringLiteral("3"),
                              QStringLiteral("--exchanges"), QStringLiteral("1")}));
    QTRY_COMPARE_WITH_TIMEOUT(
        s.linieSerwera().filter(QStringLiteral("Rozpoczęto połączenie")).size(), 4, 10000);

    for (int zadanie = 1; zadanie <= 2; ++zadanie) {
        s.kliknij("przyciskSynchTeraz");
        QTRY_COMPARE(s.linieSerwera().filter(QStringLiteral(" - Odebrano godzinę")).size(),
                     3 * zadanie);
        QVERIFY(s.tyknij()); // a tick apart: requests at different times
    }
    QVERIFY(s.tyknij(11));
    QTRY_COMPARE_WITH_TIMEOUT(klient.state(), QProcess::NotRunning, 5000);
    QCOMPARE(klient.exitCode(), 0);
    const QString wyjscie = QString::fromUtf8(klient.readAllStandardOutput());
    QVERIFY2(wyjscie.contains(QStringLiteral(
                 "Wymiana 1 (żądań: 2): odpowiedziało 3 klientów, czas uzgodniony otrzymało 3; ")),
             qPrintable(wyjscie));
}

// A client that hangs (a stopped process, a machine asleep) keeps its
// connection, is asked like the others and never answers; the rest are
// synchronized all the same, a reply window after their answers.
void TstKlient::zawieszonyKlient()
{
    Stanowisko s;
    s.zegar()->start();
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");
    const auto polaczonych = [&s] {
        return s.linieSerwera().filter(QStringLiteral("Rozpoczęto połączenie")).size();
    };

    QVERIFY(s.dolacz(0, false));
    QProcess klienci;
    QVERIFY(s.uruchomKlienta(klienci,
                             {QStringLiteral("--count"), QStringLiteral("5"),
                              QStringLiteral("--spread"), QStringLiteral("30"),
                              QStringLiteral("--exchanges"), QStringLiteral("1")}));
    QTRY_COMPARE_WITH_TIMEOUT(polaczonych(), 6, 10000);

    QElapsedTimer zegar;
    zegar.start();
    s.kliknij("przyciskSynchTeraz");
    QTRY_COMPARE_WITH_TIMEOUT(klienci.state(), QProcess::NotRunning, 10000);
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
}

void TstKlient::korektaZegara_data()
{
    QTest::addColumn<QDateTime>("teraz");
    QTest::addColumn<QList<int>>("korekty"); // asked by each agreed time in turn, ms
    QTest::addColumn<int>("minutMiedzy"); // of monotonic time between them
    QTest::addColumn<QString>("tryb"); // "bez-zmian", "szybko" (fast convergence) or ""
    QTest::addColumn<int>("blad");
    QTest::addColumn<QStringList>("zmiany");
    QTest::addColumn<QDateTime>("po");
    QTest::addColumn<QStringList>("linie"); // the start of each line printed

    const QDateTime poludnie(QDate(2026, 12, 7), QTime(12, 0));
    const auto plynnie = [](const char *ile) {
        return QStringLiteral("korekta %1 s: wprowadzana płynnie (%2)")
            .arg(QLatin1String(ile), wywolaniePlynne);
    };
    const auto skokiem = [](const char *ile) {
        return QStringLiteral("korekta %1 s: zegar przestawiony (%2)")
            .arg(QLatin1String(ile), wywolanieSkoku);
    };
    const auto czeka = [](const char *ile, int zgodnych) {
        return QStringLiteral("korekta %1 s: odrzucono na razie: po pierwszych 3 czasach "
                              "uzgodnionych zegar jest przestawiany (o 1 s i więcej, --prog-skoku) "
                              "dopiero, gdy zgodzą się na to 3 kolejne wymiany; zgodnych dotąd: %2")
            .arg(QLatin1String(ile))
            .arg(zgodnych);
    };
    const QString zwykle, szybko = QStringLiteral("szybko");
    using L = QList<int>;
    using S = QStringList;
    const auto z = [](const char *tekst) {
        return QString::fromUtf8(tekst);
    };
    QTest::newRow("+0.3 s is slewed")
        << poludnie << L {300} << 0 << zwykle << 0 << S {z("przesun 300")} << poludnie.addMSecs(300)
        << S {plynnie("+0.300")};
    QTest::newRow("-0.3 s is slewed")
        << poludnie << L {-300} << 0 << zwykle << 0 << S {z("przesun -300")}
        << poludnie.addMSecs(-300) << S {plynnie("-0.300")};
    QTest::newRow("0 s is nothing to do") << poludnie << L {0} << 0 << zwykle << 0 << S {}
                                          << poludnie << S {z("korekta +0.000 s: zegar zgodny")};
    QTest::newRow("+5 s is stepped")
        << poludnie << L {5000} << 0 << zwykle << 0 << S {z("przestaw 5000")} << poludnie.addSecs(5)
        << S {skokiem("+5.000")};
    QTest::newRow("-5000 s is beyond the limit")
        << poludnie << L {-5'000'000} << 0 << zwykle << 0 << S {} << poludnie
        << S {z("korekta -5000.000 s: odrzucono, większa niż 1200 s (--maks-korekta): ")};
    QTest::newRow("back across midnight, the date too")
        << QDateTime(QDate(2026, 12, 8), QTime(0, 0, 1)) << L {-2000} << 0 << zwykle << 0
        << S {z("przestaw -2000")} << QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59))
        << S {skokiem("-2.000")};
    QTest::newRow("measure only") << poludnie << L {5000} << 0 << QStringLiteral("bez-zmian") << 0
                                  << S {} << poludnie
                                  << S {z("korekta +5.000 s: nie zastosowano, tylko pomiar")};
    // Tried again after a minute, two, four, eight; the fifth failure in a
    // row ends the client.
    const auto nieZmienil = [](int za) {
        return QStringLiteral("korekta +0.300 s: nie zastosowano: system nie zmienił zegara "
                              "(odmowa); ponowię nie wcześniej niż za %1 s")
            .arg(za);
    };
    const auto ponowi = [](int za) {
        return QStringLiteral("korekta +0.300 s: nie zastosowano: zegara nie dało się zmienić, "
                              "ponowię za %1 s")
            .arg(za);
    };
    QTest::newRow("refused: tried again later, then given up")
        << poludnie << L(8, 300) << 3 << zwykle << EIO << S(5, z("przesun 300")) << poludnie
        << S {nieZmienil(60),
              nieZmienil(120),
              nieZmienil(240),
              ponowi(60),
              nieZmienil(480),
              ponowi(300),
              ponowi(120),
              z("korekta +0.300 s: nie zastosowano: system nie zmienił zegara (odmowa); to 5. "
                "nieudana próba z rzędu, kończę pracę")};
    QTest::newRow("agreed times closer than 5 s: the later left out, said once")
        << poludnie << L {300, 300, 300} << 0 << zwykle << 0 << S {z("przesun 300")}
        << poludnie.addMSecs(300)
        << S {plynnie("+0.300"),
              z("korekta +0.300 s: pominięta: czas uzgodniony przyjmuję najwyżej co 5 s, "
                "poprzedni przyjęto 0.0 s temu")};
    QTest::newRow("steps at start")
        << poludnie << L {5000, -3000, 2000} << 1 << zwykle << 0
        << S {z("przestaw 5000"), z("przestaw -3000"), z("przestaw 2000")} << poludnie.addSecs(4)
        << S {skokiem("+5.000"), skokiem("-3.000"), skokiem("+2.000")};
    // After the start only slews, of what the hour still allows: 1.8 s. A
    // slew replaced a minute on has made 30 ms of it, which alone count.
    QTest::newRow("later, a large one slewed, cut to the hour's bound")
        << poludnie << L {100, 100, 100, 5000, 5000} << 1 << zwykle << 0
        << S {z("przesun 100"), z("przesun 100"), z("przesun 100"), z("przesun 1640"),
              z("przesun 70")}
        << poludnie.addMSecs(30 + 30 + 30 + 30 + 70)
        << S {plynnie("+0.100"), plynnie("+0.100"), plynnie("+0.100"),
              plynnie("+5.000") + z(" w części +1.640 s"),
              plynnie("+5.000") + z(" w części +0.070 s")};
    QTest::newRow("and as much again an hour later")
        << poludnie << L {100, 100, 100, 5000, 5000} << 60 << zwykle << 0
        << S {z("przesun 100"), z("przesun 100"), z("przesun 100"), z("przesun 1800"),
              z("przesun 1800")}
        << poludnie.addMSecs(3900)
        << S {plynnie("+0.100"), plynnie("+0.100"), plynnie("+0.100"),
              plynnie("+5.000") + z(" w części +1.800 s"),
              plynnie("+5.000") + z(" w części +1.800 s")};
    QTest::newRow("fast convergence: a step once three in a row agree")
        << poludnie << L {100, 100, 100, 5000, 5900, 4950} << 1 << szybko << 0
        << S {z("przesun 100"), z("przesun 100"), z("przesun 100"), z("przestaw 4950")}
        << poludnie.addMSecs(30 + 30 + 90 + 4950)
        << S {plynnie("+0.100"),  plynnie("+0.100"),  plynnie("+0.100"),
              czeka("+5.000", 1), czeka("+5.900", 2), skokiem("+4.950")};
    QTest::newRow("fast convergence: a step the next ones do not confirm")
        << poludnie << L {100, 100, 100, 5000, 100, 5000, 7000, 7000} << 1 << szybko << 0
        << S {z("przesun 100"), z("przesun 100"), z("przesun 100"), z("przesun 100")}
        << poludnie.addMSecs(30 + 30 + 60 + 100)
        << S {plynnie("+0.100"), plynnie("+0.100"),  plynnie("+0.100"),  czeka("+5.000", 1),
              plynnie("+0.100"), czeka("+5.000", 1), czeka("+7.000", 1), czeka("+7.000", 2)};
    QTest::newRow("fast convergence: no more than 1200 s within an hour")
        << poludnie
        << L {1000, 1000, 1000, 1'000'000, 1'000'000, 1'000'000, 300'000, 300'000, 300'000} << 1
        << szybko << 0
        << S {z("przestaw 1000"), z("przestaw 1000"), z("przestaw 1000"), z("przestaw 1000000")}
        << poludnie.addSecs(1003)
        << S {skokiem("+1.000"),
              skokiem("+1.000"),
              skokiem("+1.000"),
              czeka("+1000.000", 1),
              czeka("+1000.000", 2),
              skokiem("+1000.000"),
              czeka("+300.000", 1),
              czeka("+300.000", 2),
              z("korekta +300.000 s: odrzucono: w ciągu ostatniej godziny zegar przesunięto już "
                "o 1000.000 s, a wolno najwyżej o 1200 s (--maks-na-godzine)")};
}

void TstKlient::korektaZegara()
{
    QFETCH(QDateTime, teraz);
    QFETCH(QList<int>, korekty);
    QFETCH(int, minutMiedzy);
    QFETCH(QString, tryb);
    QFETCH(int, blad);
    QFETCH(QStringList, zmiany);
    QFETCH(QDateTime, po);
    QFETCH(QStringList, linie);
    FalszywyZegar systemowy;
    systemowy.teraz = teraz;
    systemowy.blad = blad;
    PolitykaKorekty polityka;
    polityka.bezZmian = tryb == QLatin1String("bez-zmian");
    polityka.szybkaZbieznosc = tryb == QLatin1String("szybko");
    if (polityka.szybkaZbieznosc)
        polityka.maksNaGodzineMs = PolitykaKorekty::maksNaGodzineSzybkoMs;
    QStringList wypisane;
    int zmianWypisanych = 0; // lines of changes made, a notice in the journal
    int poddal = 0;
    ZegarMaszyny zegar(
        systemowy, polityka,
        [&](const QString &l, usluga::Waga waga) {
            wypisane << l;
            zmianWypisanych += waga == usluga::Uwaga;
        },
        QString(), [&poddal] { ++poddal; });

    QCOMPARE(zegar.czas(), teraz.time());
    for (int korekta : korekty) {
        const auto zmian = systemowy.zmiany.size();
        const bool wzial = zegar.ustaw(systemowy.teraz.time().addMSecs(korekta));
        QCOMPARE(wzial,
                 blad == 0
                     && (systemowy.zmiany.size() > zmian || (korekta == 0 && tryb.isEmpty())));
        systemowy.monotonicznie += qint64(minutMiedzy) * 60'000;
    }
    QCOMPARE(systemowy.zmiany, zmiany);
    QCOMPARE(systemowy.teraz, po);
    QCOMPARE(zmianWypisanych, blad == 0 ? zmiany.size() : 0);
    QCOMPARE(poddal, blad != 0 && zmiany.size() >= PolitykaKorekty::bledowNajwyzej ? 1 : 0);
    QCOMPARE(wypisane.size(), linie.size());
    for (int i = 0; i < linie.size(); ++i)
        QVERIFY2(wypisane[i].startsWith(linie[i]), qPrintable(wypisane[i]));
}

void TstKlient::arytmetykaZmian_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<qint64>("nsPrzed"); // of the clock at 1000 s
    QTest::addColumn<qint64>("sekundy"); // of the slew asked of the system
    QTest::addColumn<qint64>("mikrosekundy");
    QTest::addColumn<qint64>("sekundyPo"); // the clock stepped
    QTest::addColumn<qint64>("nsPo");
    QTest::newRow("-1 ms") << qint64(-1) << qint64(0) << qint64(-1) << qint64(999'000)
                           << qint64(999) << qint64(999'000'000);
    QTest::newRow("-999 ms") << qint64(-999) << qint64(0) << qint64(-1) << qint64(1'000)
                             << qint64(999) << qint64(1'000'000);
    QTest::newRow("-1000 ms") << qint64(-1000) << qint64(0) << qint64(-1) << qint64(0)
                              << qint64(999) << qint64(0);
    QTest::newRow("-1001 ms") << qint64(-1001) << qint64(0) << qint64(-2) << qint64(999'000)
                              << qint64(998) << qint64(999'000'000);
    QTest::newRow("+1500 ms") << qint64(1500) << qint64(0) << qint64(1) << qint64(500'000)
                              << qint64(1001) << qint64(500'000'000);
    QTest::newRow("+1 ms a nanosecond short of a second")
        << qint64(1) << qint64(999'999'999) << qint64(0) << qint64(1'000) << qint64(1001)
        << qint64(999'999);
    QTest::newRow("-1500 ms a nanosecond short of a second")
        << qint64(-1500) << qint64(999'999'999) << qint64(-2) << qint64(500'000) << qint64(999)
        << qint64(499'999'999);
}

// A sign slip or a lost carry would move a real clock the wrong way: a slew
// is asked in microseconds from 0 up, a step in nanoseconds below a second,
// and on Windows as a rate at which the clock gains what is asked. Only the
// pure arithmetic is run here; no clock is touched.
void TstKlient::arytmetykaZmian()
{
    QFETCH(qint64, ms);
    QFETCH(qint64, nsPrzed);
    QFETCH(qint64, sekundy);
    QFETCH(qint64, mikrosekundy);
    QFETCH(qint64, sekundyPo);
    QFETCH(qint64, nsPo);
    const SekundyIMikro o = naSekundyIMikro(ms);
    QCOMPARE(o.sekundy, sekundy);
    QCOMPARE(o.mikrosekundy, mikrosekundy);
    const SekundyINano po = przesunieta({1000, nsPrzed}, ms);
    QCOMPARE(po.sekundy, sekundyPo);
    QCOMPARE(po.nanosekundy, nsPo);

    // Windows' usual period of 15.625 ms, and a fine one of 1 ms: the clock
    // gains 78 and 5 units of 100 ns a period, 500 parts in a million, for as
    // long as the correction takes.
    for (const auto &[okres, naOkres] :
         {std::pair {quint64(156'250), qint64(78)}, std::pair {quint64(10'000), qint64(5)}}) {
        const Nachylenie n = nachylenie(ms, okres);
        QCOMPARE(qint64(n.dodawane) - qint64(okres), ms > 0 ? naOkres : -naOkres);
        QVERIFY2(qAbs(n.czasMs * naOkres / qint64(okres) - qAbs(ms)) <= 1,
                 qPrintable(QString::number(n.czasMs)));
    }
}

// A server, or whoever stands in for it, that sends agreed times of its own
// accord: the client takes one only as the answer to an exchange it
// answered in, and then within the bounds of the policy.
void TstKlient::wrogiSerwer()
{
    QTcpServer serwer;
    QVERIFY(serwer.listen(QHostAddress::LocalHost, 0));
    FalszywyZegar systemowy;
    QStringList wypisane;
    Klient klient(1, QStringLiteral("127.0.0.1"), serwer.serverPort(),
                  std::make_unique<ZegarMaszyny>(
                      systemowy, PolitykaKorekty(),
                      [&wypisane](const QString &l, usluga::Waga) { wypisane << l; }));
    klient.polacz();
    QVERIFY(serwer.waitForNewConnection(5000));
    QTcpSocket *gniazdo = serwer.nextPendingConnection();
    int odpowiedzi = 0;
    connect(gniazdo, &QTcpSocket::readyRead, gniazdo, [&] {
        for (; gniazdo->bytesAvailable() >= ramka::dlugoscRamki; ++odpowiedzi)
            gniazdo->read(ramka::dlugoscRamki);
    });
    const auto wynik = [&systemowy](qint64 korektaMs) {
        return zbudujRamke(ramka::kodWyniku, systemowy.teraz.time().addMSecs(int(korektaMs)));
    };
    // A request, an exchange apart from the last; once the client's answer
    // is back, all sent before it has been read.
    const auto zadanie = [&] {
        systemowy.monotonicznie += 10'000;
        const int przed = odpowiedzi;
        gniazdo->write(zbudujRamke(ramka::kodZadania, QTime(12, 0)));
        return QTest::qWaitFor([&] { return odpowiedzi > przed; });
    };

    QByteArray zalew;
    for (int i = 0; i < 1000; ++i)
        zalew += wynik(1'199'000);
    gniazdo->write(zalew);
    QVERIFY(zadanie());
    QCOMPARE(systemowy.zmiany, QStringList());

    zalew.clear();
    for (int i = 0; i < 1000; ++i)
        zalew += wynik(300);
    gniazdo->write(zalew); // the first answers the request
    QVERIFY(zadanie());
    QCOMPARE(systemowy.zmiany, QStringList {QStringLiteral("przesun 300")});

    gniazdo->write(zbudujRamke(ramka::kodStopu, QTime()) + wynik(200));
    QVERIFY(zadanie());
    QCOMPARE(systemowy.zmiany.size(), 1);
    // Taken once: a second for the same answer, even 6 s later, is not.
    gniazdo->write(wynik(200));
    QTRY_COMPARE(systemowy.zmiany.last(), QStringLiteral("przesun 200"));
    systemowy.monotonicznie += 6'000;
    gniazdo->write(wynik(150));
    QVERIFY(zadanie());
    QCOMPARE(systemowy.zmiany.last(), QStringLiteral("przesun 200"));

    // An agreed time comes within 30 s of the answer, or not at all.
    qint64 monotoniczny = 0;
    klient.teraz = [&monotoniczny] {
        return monotoniczny;
    };
    for (const qint64 poMs : {qint64(29'000), qint64(31'000)}) {
        QVERIFY(zadanie());
        monotoniczny += poMs;
        gniazdo->write(wynik(100 + poMs / 1000));
    }
    QVERIFY(zadanie());
    QCOMPARE(systemowy.zmiany.mid(systemowy.zmiany.size() - 2),
             (QStringList {QStringLiteral("przesun 200"), QStringLiteral("przesun 129")}));

    // A flood of requests is answered with the latest, not each: the
    // client holds one, whatever comes.
    const int przed = odpowiedzi;
    QByteArray zadania;
    for (int i = 0; i < 10'000; ++i)
        zadania += zbudujRamke(ramka::kodZadania, QTime(12, 0).addMSecs(i));
    gniazdo->write(zadania);
    QVERIFY(zadanie());
    QVERIFY2(odpowiedzi - przed < 100, qPrintable(QString::number(odpowiedzi - przed)));
}

void TstKlient::serwerZawodzi_data()
{
    QTest::addColumn<QString>("jak");
    // One that fails on every client, or a proxy in its way, is backed off
    // from as one that refuses: the third attempt comes a second and then
    // two after the first, a fifth more or less, not a second after each.
    QTest::newRow("sends a frame and closes") << QStringLiteral("zrywa");
    // Refused twice, then kept for 2.5 s: the next attempt a second after the
    // drop again, not four.
    QTest::newRow("a connection that lasted starts the attempts again") << QStringLiteral("trwa");
    // Its process stopped, its system still takes connections and answers
    // keep-alive: the client leaves it and connects again, and says so once.
    QTest::newRow("keeps the connection, never asks") << QStringLiteral("milczy");
    // Asked every 200 ms, the client waits three such gaps, not the longest
    // bound, and says once more when the server speaks again.
    QTest::newRow("asks, then falls silent") << QStringLiteral("milknie");
    // Stopped by its operator, a server asks nothing: the connection stays.
    QTest::newRow("stops, asks again later") << QStringLiteral("zatrzymany");
}

void TstKlient::serwerZawodzi()
{
    QFETCH(QString, jak);
    QTcpServer serwer;
    QVERIFY(serwer.listen(QHostAddress::LocalHost, 0));
    QElapsedTimer czas;
    czas.start();
    QList<qint64> proby;
    qint64 zerwano = -1; // when a connection that lasted was dropped
    int odpowiedzi = 0; // bytes of the client's answers
    connect(&serwer, &QTcpServer::newConnection, &serwer, [&] {
        while (QTcpSocket *gniazdo = serwer.nextPendingConnection()) {
            proby << czas.elapsed();
            if (jak == QLatin1String("zrywa")) {
                gniazdo->write(zbudujRamke(ramka::kodStopu, QTime()));
                gniazdo->disconnectFromHost();
            }
            if (jak == QLatin1String("trwa"))
                QTimer::singleShot(proby.size() < 3 ? 0 : 2500, gniazdo,
                                   [gniazdo, &zerwano, &czas] {
                                       zerwano = czas.elapsed();
                                       gniazdo->disconnectFromHost();
                                   });
            for (int i = 0; jak == QLatin1String("milknie") && i < (proby.size() == 1 ? 3 : 1); ++i)
                QTimer::singleShot(200 * i, gniazdo, [gniazdo] {
                    gniazdo->write(zbudujRamke(ramka::kodZadania, QTime(12, 0)));
                });
            if (jak == QLatin1String("zatrzymany")) {
                gniazdo->write(zbudujRamke(ramka::kodZadania, QTime(12, 0))
                               + zbudujRamke(ramka::kodStopu, QTime()));
                QTimer::singleShot(1000, gniazdo, [gniazdo] {
                    gniazdo->write(zbudujRamke(ramka::kodZadania, QTime(12, 1)));
                });
                connect(gniazdo, &QTcpSocket::readyRead, gniazdo,
                        [gniazdo, &odpowiedzi] { odpowiedzi += int(gniazdo->readAll().size()); });
            }
        }
    });
    Klient klient(1, QStringLiteral("127.0.0.1"), serwer.serverPort(),
                  std::make_unique<SymulowanyZegarKlienta>(nowyZegar(QTime(12, 0), 0, 0, 0, 0)));
    klient.ustawGraniceCiszy({300,
                              jak == QLatin1String("milknie")    ? 3000
                                  : jak == QLatin1String("trwa") ? 5000
                                                                 : 300});
    QSignalSpy zmiany(&klient, &Klient::zmianaStanu);
    QSignalSpy stany(&klient, &Klient::stan);
    const auto linii = [&zmiany](const char *tresc) {
        return std::count_if(zmiany.cbegin(), zmiany.cend(), [tresc](const QList<QVariant> &z) {
            return z.constFirst().toString().contains(QString::fromUtf8(tresc));
        });
    };
    klient.polacz();
    if (jak == QLatin1String("zatrzymany")) {
        QTRY_COMPARE(odpowiedzi, 2 * ramka::dlugoscRamki); // both requests, on one connection
        QCOMPARE(proby.size(), 1);
        return;
    }
    if (jak == QLatin1String("trwa")) {
        QTRY_COMPARE_WITH_TIMEOUT(proby.size(), 4, 12000);
        QVERIFY2(proby[3] - zerwano < 1000 * 6 / 5 + 1400,
                 qPrintable(QStringLiteral("%1 ms").arg(proby[3] - zerwano)));
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(proby.size(), jak == QLatin1String("milknie") ? 2 : 3, 8000);
    if (jak == QLatin1String("zrywa")) {
        QVERIFY2(proby[2] - proby[0] >= (1000 + 2000) * 4 / 5 - 50,
                 qPrintable(QStringLiteral("%1 ms").arg(proby[2] - proby[0])));
        QVERIFY(zmiany.size() <= 2 * proby.size()); // connected and disconnected, each time
        return;
    }
    QTRY_COMPARE(linii("znów się odzywa"), jak == QLatin1String("milknie") ? 1 : 0);
    QCOMPARE(linii("serwer milczy: żadnego żądania od "), 1);
    if (jak == QLatin1String("milczy"))
        QVERIFY(stany.constLast().constFirst().toString().startsWith(
            QStringLiteral("czekam na serwer: serwer milczy")));
    else // three of its 200 ms, not the 3 s bound
        QVERIFY2(proby[1] - proby[0] < 3000, qPrintable(QString::number(proby[1] - proby[0])));
}

// This machine's clock against the window, measured only: server and client
// read the same system clock here.
void TstKlient::wrogiSerwerPrzezDobe_data()
{
    QTest::addColumn<bool>("szybko"); // fast convergence
    QTest::addColumn<int>("restartCoMinut"); // 0: never
    QTest::addColumn<qint64>("najwiecejMs"); // in the 24 hours after the start's steps
    QTest::newRow("by default") << false << 0 << qint64(24 * plynnieNaGodzineMs);
    QTest::newRow("by default, restarted every 10 minutes")
        << false << 10 << qint64(24 * plynnieNaGodzineMs);
    QTest::newRow("fast convergence")
        << true << 0 << qint64(24 * PolitykaKorekty::maksNaGodzineSzybkoMs);
}

// A server that asks for 1199 s more in every exchange, every 20 s of a day,
// moves the clock by the start's steps and then only as far as the hour's
// bound allows, restarts or not; yet it does move it that far, as a clock
// truly that far off would be.
void TstKlient::wrogiSerwerPrzezDobe()
{
    QFETCH(bool, szybko);
    QFETCH(int, restartCoMinut);
    QFETCH(qint64, najwiecejMs);
    QTemporaryDir katalog;
    const QString plikStanu
        = restartCoMinut > 0 ? katalog.filePath(QStringLiteral("korekty")) : QString();
    FalszywyZegar systemowy;
    PolitykaKorekty polityka;
    polityka.szybkaZbieznosc = szybko;
    if (szybko)
        polityka.maksNaGodzineMs = PolitykaKorekty::maksNaGodzineSzybkoMs;
    const auto nowy = [&] {
        return std::make_unique<ZegarMaszyny>(
            systemowy, polityka, [](const QString &, usluga::Waga) {}, plikStanu);
    };
    auto zegar = nowy();
    const QDateTime start = systemowy.teraz;
    QDateTime poStarcie;
    constexpr qint64 okresMs = 20'000;
    for (qint64 t = 0; t < 24 * 3600 * 1000 + 3 * okresMs; t += okresMs) {
        systemowy.monotonicznie = t;
        if (restartCoMinut > 0 && t % (restartCoMinut * 60'000) == 0)
            zegar = nowy();
        zegar->ustaw(systemowy.teraz.time().addMSecs(1'199'000));
        if (t == 2 * okresMs)
            poStarcie = systemowy.teraz;
    }
    const qint64 poStartach = poStarcie.msecsTo(systemowy.teraz);
    qInfo("moved by %lld s at start, by %.1f s in the 24 hours after", start.secsTo(poStarcie),
          double(poStartach) / 1000);
    QCOMPARE(start.msecsTo(poStarcie), qint64(3 * 1'199'000));
    QVERIFY(poStartach <= najwiecejMs);
    QVERIFY(poStartach >= najwiecejMs * 9 / 10);
}

void TstKlient::stanPoRestarcie_data()
{
    QTest::addColumn<QByteArray>(
        "plik"); // as the state was left: "-" none, "katalog" a folder there
    QTest::addColumn<QByteArray>("rozruch"); // of the machine now: "" unknown
    QTest::addColumn<qint64>("monotonicznie"); // now; the state was written at 1000
    QTest::addColumn<QString>("linia"); // the first said, %1 the file
    QTest::addColumn<QString>("zmiana"); // what an agreed time 5 s ahead does
    QTest::addColumn<qint64>("miejsce"); // bytes a file may take while it runs; -1 any
    StanKorekty poStarcie;
    poStarcie.uzgodnionych = 3;
    const QByteArray zapisany = stanDoPliku(poStarcie, "A", 1000);
    const QString krok = QStringLiteral("przesun 1800"), skok = QStringLiteral("przestaw 5000");
    const QString odNowa = QStringLiteral("stan %1 sprzed ponownego uruchomienia maszyny");
    const auto uszkodzony = [](int linia) {
        return QStringLiteral("stan %1 jest uszkodzony (linia ") + QString::number(linia)
            + QStringLiteral("), pomijam go");
    };
    QTest::newRow("restarted: no steps")
        << zapisany << QByteArray("A") << qint64(5000)
        << QStringLiteral("stan %1: 3 czasów uzgodnionych") << krok << qint64(-1);
    QTest::newRow("rebooted: the start's steps")
        << zapisany << QByteArray("B") << qint64(5000) << odNowa << skok << qint64(-1);
    QTest::newRow("boot unknown, the monotonic clock ran on")
        << QByteArray(zapisany).replace("rozruch A", "rozruch ") << QByteArray() << qint64(5000)
        << QStringLiteral("stan %1 (ten sam rozruch maszyny, jak wskazuje zegar monotoniczny")
        << krok << qint64(-1);
    QTest::newRow("boot unknown, the monotonic clock began again")
        << zapisany << QByteArray() << qint64(500) << odNowa << skok << qint64(-1);
    QTest::newRow("empty") << QByteArray() << QByteArray("A") << qint64(5000) << uszkodzony(1)
                           << skok << qint64(-1);
    QTest::newRow("cut short") << zapisany.left(zapisany.indexOf("uzgodnionych") + 5)
                               << QByteArray("A") << qint64(5000) << uszkodzony(3) << skok
                               << qint64(-1);
    QTest::newRow("a line left out")
        << QByteArray(zapisany).replace("plynna 0\n", "") << QByteArray("A") << qint64(5000)
        << uszkodzony(4) << skok << qint64(-1);
    QTest::newRow("garbled") << QByteArray(zapisany).replace("uzgodnionych 3", "uzgodnionych x")
                             << QByteArray("A") << qint64(5000) << uszkodzony(3) << skok
                             << qint64(-1);
    QTest::newRow("CR LF, as an editor on Windows leaves it")
        << QByteArray(zapisany).replace("\n", "\r\n") << QByteArray("A") << qint64(5000)
        << QStringLiteral("stan %1: 3 czasów") << krok << qint64(-1);
    // Beyond what the client could have written: no entry grants freedom.
    QTest::newRow("a negative change")
        << zapisany + "zmiana 900 -5000\n"
        << QByteArray("A") << qint64(5000) << uszkodzony(5) << skok << qint64(-1);
    QTest::newRow("changes whose sum would wrap")
        << zapisany + "zmiana 900 9223372036854775807\nzmiana 950 1\n"
        << QByteArray("A") << qint64(5000) << uszkodzony(5) << skok << qint64(-1);
    // What it reads it would write again: written in order, a minute one entry.
    QTest::newRow("changes out of order")
        << zapisany + "zmiana 950 10\nzmiana 900 10\n"
        << QByteArray("A") << qint64(5000) << uszkodzony(6) << skok << qint64(-1);
    QTest::newRow("a minute's changes over a day")
        << zapisany + "zmiana 900 86400000\nzmiana 950 1\n"
        << QByteArray("A") << qint64(5000) << uszkodzony(6) << skok << qint64(-1);
    QTest::newRow("a count that cannot grow does not wrap")
        << QByteArray(zapisany).replace("uzgodnionych 3", "uzgodnionych 2147483647")
        << QByteArray("A") << qint64(5000) << QStringLiteral("stan %1: 2147483647 czasów") << krok
        << qint64(-1);
    QTest::newRow("none yet") << QByteArray("-") << QByteArray("A") << qint64(5000)
                              << QStringLiteral("stanu %1 jeszcze nie ma") << skok << qint64(-1);
    QTest::newRow("unreadable, and it cannot be written")
        << QByteArray("katalog") << QByteArray("A") << qint64(5000)
        << QStringLiteral("nie można odczytać stanu %1") << skok << qint64(-1);
#ifdef Q_OS_LINUX
    // The last good state stays, not an empty or cut one, and the failure
    // is said once.
    QTest::newRow("a full disk") << zapisany << QByteArray("A") << qint64(5000)
                                 << QStringLiteral("stan %1: 3 czasów") << krok << qint64(0);
    QTest::newRow("a disk that fills during the write")
        << zapisany << QByteArray("A") << qint64(5000) << QStringLiteral("stan %1: 3 czasów")
        << krok << qint64(zapisany.size() / 2);
#endif
}

// What a restart finds: only a state of this start of the machine is
// trusted, and whatever is wrong with it is said in one line and gives no
// more than a reboot gives; a state that cannot be written is said once.
void TstKlient::stanPoRestarcie()
{
    QFETCH(QByteArray, plik);
    QFETCH(QByteArray, rozruch);
    QFETCH(qint64, monotonicznie);
    QFETCH(QString, linia);
    QFETCH(QString, zmiana);
    QFETCH(qint64, miejsce);
    QTemporaryDir katalog;
    const QString sciezka = katalog.filePath(QStringLiteral("korekty"));
    QFile zapis(sciezka);
    if (plik == "katalog")
        QVERIFY(QDir().mkdir(sciezka));
    else if (plik != "-")
        QVERIFY(zapis.open(QIODevice::WriteOnly) && zapis.write(plik) == plik.size());
    zapis.close();
    FalszywyZegar systemowy;
    systemowy.rozruchMaszyny = rozruch;
    systemowy.monotonicznie = monotonicznie;
    QStringList wypisane;
    ZegarMaszyny zegar(
        systemowy, PolitykaKorekty(),
        [&wypisane](const QString &l, usluga::Waga) { wypisane << l; }, sciezka);
    QVERIFY2(wypisane.value(0).startsWith(linia.arg(sciezka)), qPrintable(wypisane.value(0)));
#ifdef Q_OS_LINUX
    // What a file may take, as a full or filling disk leaves it (the
    // signal of a file too large is ignored, as the programs ignore it).
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit przed {};
    getrlimit(RLIMIT_FSIZE, &przed);
    rlimit limit = przed;
    if (miejsce >= 0)
        limit.rlim_cur = rlim_t(miejsce);
    setrlimit(RLIMIT_FSIZE, &limit);
#endif
    for (const int ms : {5000, 100}) {
        zegar.ustaw(systemowy.teraz.time().addMSecs(ms));
        systemowy.monotonicznie += 10'000;
    }
#ifdef Q_OS_LINUX
    setrlimit(RLIMIT_FSIZE, &przed);
#endif
    QCOMPARE(systemowy.zmiany.value(0), zmiana);
    QCOMPARE(wypisane.filter(QStringLiteral("nie można zapisać stanu")).size(),
             plik == "katalog" || miejsce >= 0 ? 1 : 0);
    if (miejsce >= 0) {
        QVERIFY(zapis.open(QIODevice::ReadOnly));
        QCOMPARE(zapis.readAll(), plik);
    }
}

// Agreed times back to back, every 10 ms for two hours: a minute of them
// makes a few lines, and the state stays small however many changes it
// records.
void TstKlient::stanOgraniczony()
{
    QTemporaryDir katalog;
    const QString sciezka = katalog.filePath(QStringLiteral("korekty"));
    FalszywyZegar systemowy;
    int linii = 0;
    ZegarMaszyny zegar(
        systemowy, PolitykaKorekty(), [&linii](const QString &, usluga::Waga) { ++linii; },
        sciezka);
    for (qint64 t = 0; t < 2 * 3600 * 1000; t += 10) {
        systemowy.monotonicznie = t;
        zegar.ustaw(systemowy.teraz.time().addMSecs(t % 2000 < 1000 ? 1 : -1));
        if (t == 60'000)
            QVERIFY2(linii <= 2 * (60'000 / PolitykaKorekty::najkrotszyOdstepMs + 1),
                     qPrintable(QString::number(linii)));
    }
    qInfo("%lld changes recorded in %lld bytes", qint64(systemowy.zmiany.size()),
          QFileInfo(sciezka).size());
    QVERIFY(QFileInfo(sciezka).size() < 4096);

    // The program's group ends with its state written anew, through the
    // system clock it still holds then (only read: it measures only).
    QFile zepsuty(sciezka);
    QVERIFY(zepsuty.open(QIODevice::WriteOnly) && zepsuty.write("?\n") == 2);
    zepsuty.close();
    Ustawienia ustawienia;
    ustawienia.systemowy = ustawienia.polityka.bezZmian = true;
    ustawienia.plikStanu = sciezka;
    delete new Grupa(ustawienia);
    QVERIFY(zepsuty.open(QIODevice::ReadOnly) && zepsuty.readAll().startsWith("rozruch "));
}

void TstKlient::zegarSystemowyZProcesem_data()
{
    QTest::addColumn<bool>("bezUprawnien");
    QTest::newRow("measure only") << false;
    // As nobody with no capability, in a shell a unit started (its
    // variables set): not the service, so it measures and goes on.
    QTest::newRow("no privilege, under a unit's shell") << true;
}

void TstKlient::zegarSystemowyZProcesem()
{
    QFETCH(bool, bezUprawnien);
    QStringList argumenty {QStringLiteral("--systemowy"), QStringLiteral("--host"),
                           QStringLiteral("127.0.0.1"), QStringLiteral("--exchanges"),
                           QStringLiteral("1")};
    QProcess klient;
    if (bezUprawnien) {
#ifdef Q_OS_LINUX
        if (::geteuid() != 0)
            QSKIP("setpriv needs root to become nobody");
        QProcessEnvironment srodowisko = QProcessEnvironment::systemEnvironment();
        srodowisko.insert(QStringLiteral("INVOCATION_ID"), QStringLiteral("x"));
        klient.setProcessEnvironment(srodowisko);
        argumenty.prepend(QStringLiteral(KLIENT_SCIEZKA));
        argumenty
            = QStringList {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                           QStringLiteral("--clear-groups"), QStringLiteral("--inh-caps=-all"),
                           QStringLiteral("--bounding-set=-all")}
            + argumenty;
#else
        QSKIP("no way to start a program without the privilege here");
#endif
    } else {
        argumenty << QStringLiteral("--bez-zmian");
    }
    Stanowisko s;
    s.zegar()->start();
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");
    if (bezUprawnien) {
        klient.setProcessChannelMode(QProcess::MergedChannels);
        klient.start(QStringLiteral("setpriv"),
                     argumenty << QStringLiteral("--port") << QString::number(s.port()));
        QVERIFY(klient.waitForStarted(5000));
    } else {
        QVERIFY(s.uruchomKlienta(klient, argumenty));
    }
    QTRY_COMPARE_WITH_TIMEOUT(
        s.linieSerwera().filter(QStringLiteral("Rozpoczęto połączenie")).size(), 1, 10000);
    s.kliknij("przyciskSynchTeraz");
    QTRY_COMPARE_WITH_TIMEOUT(klient.state(), QProcess::NotRunning, 5000);
    QCOMPARE(klient.exitCode(), 0);

    const QString wyjscie = QString::fromUtf8(klient.readAllStandardOutput());
    QCOMPARE(wyjscie.count(QStringLiteral("; odtąd tylko pomiar")), bezUprawnien ? 1 : 0);
    static const QRegularExpression korekta(
        QStringLiteral("^korekta ([-+]\\d+\\.\\d{3}) s: nie zastosowano, tylko pomiar$"),
        QRegularExpression::MultilineOption);
    const auto dopasowanie = korekta.match(wyjscie);
    QVERIFY2(dopasowanie.hasMatch(), qPrintable(wyjscie));
    QVERIFY2(qAbs(dopasowanie.captured(1).toDouble()) <= 1.5, qPrintable(wyjscie));
}

void TstKlient::bledneWywolania_data()
{
    QTest::addColumn<QString>("argumenty");
    QTest::addColumn<QString>("komunikat");
    QTest::newRow("--systemowy --count 5")
        << QStringLiteral("--systemowy --host 10.0.0.1 --count 5")
        << QStringLiteral("--count nie ma sensu z --systemowy");
    QTest::newRow("--bez-zmian alone") << QStringLiteral("--bez-zmian")
                                       << QStringLiteral("--bez-zmian działa tylko z --systemowy");
    QTest::newRow("--maks-korekta 0")
        << QStringLiteral("--systemowy --host 10.0.0.1 --maks-korekta 0")
        << QStringLiteral("--maks-korekta przyjmuje liczbę od 0.001 do 43200, nie \"0\"");
    QTest::newRow("more an hour than a slew can")
        << QStringLiteral("--systemowy --host 10.0.0.1 --maks-na-godzine 5")
        << QStringLiteral("--maks-na-godzine przyjmuje liczbę od 0.001 do 1.8, nie \"5\"");
    // The service is shipped with no server set: no clock follows one by
    // mistake.
    QTest::newRow("--systemowy without a server")
        << QStringLiteral("--systemowy --port 4466")
        << QStringLiteral("--systemowy wymaga adresu serwera: --host ADRES");
    // What the terminal would take for a command is shown, not obeyed.
    QTest::newRow("an unknown option") << QStringLiteral("--nie\x1b[2Jznana")
                                       << QStringLiteral("nieznana opcja: --nie\\x1b[2Jznana");
    QTest::newRow("--host without a value")
        << QStringLiteral("--host") << QStringLiteral("opcja --host wymaga wartości");
    QTest::newRow("--exchanges 0")
        << QStringLiteral("--exchanges 0")
        << QStringLiteral("--exchanges przyjmuje liczbę całkowitą od 1 do 1000000000, nie \"0\"");
    QTest::newRow("a port with a fraction")
        << QStringLiteral("--port 4466.9")
        << QStringLiteral("--port przyjmuje liczbę całkowitą od 1 do 65535, nie \"4466.9\"");
    QTest::newRow("half a client") << QStringLiteral("--count 2.5")
                                   << QStringLiteral("--count przyjmuje liczbę całkowitą od 1");
    QTest::newRow("an option twice") << QStringLiteral("--port 5555 --count 2 --port 4466")
                                     << QStringLiteral("opcja --port podana więcej niż raz");
    // A settings file is hostile input too: only a few kilobytes of text are
    // read, and what is wrong is named by the file's line, shown safely.
    QTest::newRow("a boot id that could not be read back")
        << QStringLiteral("--systemowy --host 10.0.0.1 --id-rozruchu a/b")
        << QStringLiteral("--id-rozruchu przyjmuje identyfikator rozruchu");
    QTest::newRow("settings: a value out of range")
        << QStringLiteral("--ustawienia PLIK_ZLY")
        << QStringLiteral("--ustawienia PLIK_ZLY, linia 2: port przyjmuje liczbę całkowitą od 1 do "
                          "65535, nie \"0\"");
    QTest::newRow("settings: a NUL in a value")
        << QStringLiteral("--ustawienia PLIK_ZERO")
        << QStringLiteral(
               "--ustawienia PLIK_ZERO, linia 1: nie tekst UTF-8 (bajty \"port=44\\x0066\")");
    QTest::newRow("settings: a program, not text")
        << QStringLiteral("--ustawienia PLIK_BIN")
        << QStringLiteral("--ustawienia PLIK_BIN, linia 1: nie tekst UTF-8 (bajty "
                          "\"\\x7fELF\\x02\\x01\\x01\\x00");
    QTest::newRow("settings: naming other settings")
        << QStringLiteral("--ustawienia PLIK_SAM")
        << QStringLiteral("--ustawienia PLIK_SAM, linia 1: \"ustawienia=inne.ini\" nie jest "
                          "ustawieniem");
    QTest::newRow("settings: megabytes of comments")
        << QStringLiteral("--ustawienia PLIK_DUZY")
        << QStringLiteral(
               "--ustawienia PLIK_DUZY: za duży na plik ustawień (najwyżej 65536 bajtów)");
#ifdef Q_OS_UNIX
    QTest::newRow("settings: a device")
        << QStringLiteral("--ustawienia /dev/zero")
        << QStringLiteral("--ustawienia /dev/zero: to nie zwykły plik");
#endif
}

void TstKlient::bledneWywolania()
{
    QFETCH(QString, argumenty);
    QFETCH(QString, komunikat);
    QTemporaryDir katalog;
    const std::pair<const char *, QByteArray> pliki[]
        = {{"PLIK_ZLY", "# próba\nport=0\n"},
           {"PLIK_ZERO",
            QByteArray("port=44\0"
                       "66\n",
                       11)},
           {"PLIK_BIN",
            QByteArray("\x7f"
                       "ELF\x02\x01\x01\0\0\0\0",
                       11)},
           {"PLIK_DUZY", QByteArray("# komentarz\n").repeated(10'000)},
           {"PLIK_SAM", "ustawienia=inne.ini\n"}};
    for (const auto &[nazwa, tresc] : pliki) {
        QFile plik(katalog.filePath(QLatin1String(nazwa)));
        QVERIFY(plik.open(QIODevice::WriteOnly) && plik.write(tresc) == tresc.size());
        argumenty.replace(QLatin1String(nazwa), plik.fileName());
        komunikat.replace(QLatin1String(nazwa), plik.fileName());
    }
    Ustawienia ustawienia;
    QString tekst;
    QCOMPARE(czytajOpcjeKlienta(QStringList {QStringLiteral("klient-synchronizacji")}
                                    + argumenty.split(QLatin1Char(' ')),
                                ustawienia, tekst),
             wierszPolecen::Polecenie::Blad);
    QVERIFY2(tekst.startsWith(komunikat), qPrintable(tekst));
}

TEST_SERWERA(TstKlient)
#include "tst_klient.moc"
