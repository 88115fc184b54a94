// The arithmetic and the wire format, as plain functions.

#include "network/adres.h"
#include "network/dostep.h"
#include "network/ogranicznik.h"
#include "sync/berkeley.h"
#include "sync/doba.h"
#include "sync/ramka.h"
#include "sync/termin.h"

#include <QBuffer>
#include <QHostAddress>
#include <QTest>

class TstObliczenia : public QObject
{
    Q_OBJECT

private slots:
    void synchNalezna_data();
    void synchNalezna();
    void dociagniecie_data();
    void dociagniecie();
    void miejscaZAdresu();
    void roznicaSekund_data();
    void roznicaSekund();
    void dostepSieci_data();
    void dostepSieci();
    void budowaRamki_data();
    void budowaRamki();
    void odczytRamek_data();
    void odczytRamek();
    void wyborAdresu_data();
    void wyborAdresu();
    void ogranicznikLinii();
};

static QTime t(const char *tekst)
{
    return QTime::fromString(QLatin1String(tekst), QStringLiteral("HH:mm:ss.zzz"));
}

void TstObliczenia::synchNalezna_data()
{
    QTest::addColumn<QTime>("czas");
    QTest::addColumn<QTime>("nastepna");
    QTest::addColumn<int>("okresS");
    QTest::addColumn<bool>("nalezna");

    QTest::newRow("just armed") << t("12:00:00.000") << t("12:00:20.000") << 20 << false;
    QTest::newRow("100 ms short") << t("12:00:19.900") << t("12:00:20.000") << 20 << false;
    QTest::newRow("on time") << t("12:00:20.000") << t("12:00:20.000") << 20 << true;
    QTest::newRow("late") << t("12:00:25.000") << t("12:00:20.000") << 20 << true;
    QTest::newRow("armed before midnight, clock before")
        << t("23:59:55.000") << t("00:00:10.000") << 20 << false;
    QTest::newRow("armed before midnight, clock after")
        << t("00:00:05.000") << t("00:00:10.000") << 20 << false;
    QTest::newRow("armed before midnight, due after")
        << t("00:00:10.000") << t("00:00:10.000") << 20 << true;
    QTest::newRow("due just before midnight")
        << t("23:59:59.900") << t("23:59:59.900") << 500 << true;
    QTest::newRow("due before midnight, clock past it")
        << t("00:00:01.000") << t("23:59:59.000") << 10 << true;
}

void TstObliczenia::synchNalezna()
{
    QFETCH(QTime, czas);
    QFETCH(QTime, nastepna);
    QFETCH(int, okresS);
    QFETCH(bool, nalezna);
    QCOMPARE(::synchNalezna(czas, nastepna, okresS * 1000), nalezna);
}

void TstObliczenia::dociagniecie_data()
{
    QTest::addColumn<qint64>("roznicaMs"); // the system clock ahead of the server's
    QTest::addColumn<qint64>("taktow");
    QTest::addColumn<qint64>("ms"); // what the server clock takes
    QTest::newRow("200 ms, a tick: 50 µs, not yet a millisecond")
        << qint64(200) << qint64(1) << qint64(0);
    QTest::newRow("200 ms, two seconds of ticks: 1 ms") << qint64(200) << qint64(20) << qint64(1);
    QTest::newRow("-200 ms, two seconds") << qint64(-200) << qint64(20) << qint64(-1);
    QTest::newRow("999 ms, 1000 s: 0.5 ms a second")
        << qint64(999) << qint64(10'000) << qint64(500);
    QTest::newRow("never past the difference") << qint64(1) << qint64(1000) << qint64(1);
    QTest::newRow("a second: taken at once") << qint64(-1000) << qint64(1) << qint64(-1000);
    QTest::newRow("+3 s: taken at once") << qint64(3000) << qint64(1) << qint64(3000);
}

// Following the system clock: a small difference closed at 0.5 ms a second,
// never faster, so that the agreed time never jumps; a large one at once.
void TstObliczenia::dociagniecie()
{
    QFETCH(qint64, roznicaMs);
    QFETCH(qint64, taktow);
    QFETCH(qint64, ms);
    qint64 reszta = 0;
    QCOMPARE(dociagniecieMs(roznicaMs, taktow, reszta), ms);
    // Tick by tick, the same, what is below a millisecond carried on.
    reszta = 0;
    qint64 razem = 0;
    for (qint64 i = 0; i < taktow; ++i)
        razem += dociagniecieMs(roznicaMs - razem, 1, reszta);
    QCOMPARE(razem, ms);
}

// One address fills one averaged place, loopback (a machine's simulated
// clients) all; a setting holds for every address, all of them from 29.
void TstObliczenia::miejscaZAdresu()
{
    const quint32 lan = QHostAddress(QStringLiteral("10.0.0.7")).toIPv4Address();
    const quint32 petla = QHostAddress(QStringLiteral("127.0.0.1")).toIPv4Address();
    QCOMPARE(miejscDlaAdresu(zPetliZwrotnej(lan), 0), 1);
    QCOMPARE(miejscDlaAdresu(zPetliZwrotnej(lan), 3), 3);
    QCOMPARE(miejscDlaAdresu(zPetliZwrotnej(petla), 1), 1);
    QVERIFY(miejscDlaAdresu(zPetliZwrotnej(petla), 0) >= 1000);
    QVERIFY(miejscDlaAdresu(zPetliZwrotnej(lan), pojemnoscWymiany - 1) >= 1000);
}

void TstObliczenia::roznicaSekund_data()
{
    QTest::addColumn<QTime>("klient");
    QTest::addColumn<QTime>("serwer");
    QTest::addColumn<int>("roznica"); // whole seconds, as the panes say
    QTest::addColumn<qint64>("dziesiatych"); // of a second, as the table says: rounded

    QTest::newRow("ahead") << t("12:00:05.000") << t("12:00:00.000") << 5 << qint64(50);
    QTest::newRow("behind") << t("12:00:18.000") << t("12:00:21.000") << -3 << qint64(-30);
    QTest::newRow("truncated toward zero, ahead")
        << t("12:00:01.999") << t("12:00:00.000") << 1 << qint64(20);
    QTest::newRow("truncated toward zero, behind")
        << t("12:00:00.001") << t("12:00:01.999") << -1 << qint64(-20);
    QTest::newRow("half a tenth behind, as far as ahead")
        << t("12:00:00.000") << t("12:00:00.050") << 0 << qint64(-1);
    QTest::newRow("client past midnight")
        << t("00:00:01.000") << t("23:59:58.000") << 3 << qint64(30);
    QTest::newRow("server past midnight")
        << t("23:59:58.000") << t("00:00:01.000") << -3 << qint64(-30);
    QTest::newRow("twelve hours ahead")
        << t("18:00:00.000") << t("06:00:00.000") << 12 * 3600 << qint64(432'000);
    QTest::newRow("just over twelve hours ahead")
        << t("18:00:01.000") << t("06:00:00.000") << -(12 * 3600 - 1) << qint64(-431'990);
}

void TstObliczenia::roznicaSekund()
{
    QFETCH(QTime, klient);
    QFETCH(QTime, serwer);
    QFETCH(int, roznica);
    QFETCH(qint64, dziesiatych);
    QCOMPARE(::roznicaSekund(klient, serwer), roznica);
    QCOMPARE(dziesiate(roznicaMs(klient, serwer)), dziesiatych);
}

void TstObliczenia::dostepSieci_data()
{
    QTest::addColumn<QString>("lista");
    QTest::addColumn<QString>("blad"); // the start of the reason, or empty
    QTest::addColumn<QStringList>("przyjete");
    QTest::addColumn<QStringList>("odrzucone");
    const auto l = [](const char *tekst) {
        return QString::fromLatin1(tekst).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    };
    QTest::newRow("everyone, written out")
        << QStringLiteral("0.0.0.0/0") << QString() << l("1.2.3.4 255.255.255.255") << l("");
    QTest::newRow("a network and an address, with spaces")
        << QStringLiteral(" 10.0.0.0/8 , 192.168.1.7") << QString()
        << l("10.0.0.0 10.255.255.255 192.168.1.7") << l("11.0.0.0 9.255.255.255 192.168.1.8");
    QTest::newRow("an address not its network's first")
        << QStringLiteral("10.1.2.3/16") << QString() << l("10.1.0.0") << l("10.2.0.0");
    const QString nieSiec = QStringLiteral("\"%1\" nie jest siecią IPv4");
    for (const char *zla :
         {"/0", "/8", "127.1", "0x7f000001", "2130706433", "127.000.000.001", "10.0.0.0/255.0.0.0",
          "10.0.0.0/33", "10.0.0.0/08", "256.0.0.0", "10.0.0.0/8/8", "fd00::/8", "10.0.0.0 /8"})
        QTest::newRow(zla) << QString::fromLatin1(zla) << nieSiec.arg(QLatin1String(zla))
                           << QStringList() << QStringList();
    // Shown, not obeyed by the terminal it is said on.
    QTest::newRow("a control character")
        << QStringLiteral("10.0.0.0/8,\x1b[2J") << nieSiec.arg(QLatin1String("\\x1b[2J"))
        << QStringList() << QStringList();
    QTest::newRow("empty") << QString() << QStringLiteral("pusta lista") << QStringList()
                           << QStringList();
    QTest::newRow("only commas") << QStringLiteral(",,,") << QStringLiteral("pusty element")
                                 << QStringList() << QStringList();
    QTest::newRow("a comma too many")
        << QStringLiteral("10.0.0.0/8,") << QStringLiteral("pusty element") << QStringList()
        << QStringList();
}

// A mistake in the list is an error that names it, never a list that lets
// everyone in, or someone not meant.
void TstObliczenia::dostepSieci()
{
    QFETCH(QString, lista);
    QFETCH(QString, blad);
    QFETCH(QStringList, przyjete);
    QFETCH(QStringList, odrzucone);
    Dostep dostep;
    QString powod;
    QCOMPARE(dostep.ustawSieci(lista, powod), blad.isEmpty());
    QVERIFY2(powod.startsWith(blad), qPrintable(powod));
    for (const QString &adres : przyjete)
        QCOMPARE(dostep.sprawdz(QHostAddress(adres).toIPv4Address()), Dostep::Decyzja::Przyjete);
    for (const QString &adres : odrzucone)
        QCOMPARE(dostep.sprawdz(QHostAddress(adres).toIPv4Address()), Dostep::Decyzja::SpozaSieci);
}

void TstObliczenia::budowaRamki_data()
{
    QTest::addColumn<int>("kod");
    QTest::addColumn<QTime>("czas");
    QTest::addColumn<QByteArray>("bajty");
    QTest::newRow("request at noon")
        << 5 << t("12:00:00.000") << QByteArray::fromHex("00080000000502932e00");
    QTest::newRow("stop with null time")
        << 7 << QTime() << QByteArray::fromHex("000800000007ffffffff");
    QTest::newRow("result at midnight")
        << 6 << t("00:00:00.000") << QByteArray::fromHex("00080000000600000000");
    QTest::newRow("last millisecond")
        << 6 << t("23:59:59.999") << QByteArray::fromHex("00080000000605265bff");
}

void TstObliczenia::budowaRamki()
{
    QFETCH(int, kod);
    QFETCH(QTime, czas);
    QFETCH(QByteArray, bajty);
    QCOMPARE(zbudujRamke(kod, czas).toHex(' '), bajty.toHex(' '));
}

// The frames of `wejscie` through the server's reassembly, cut into pieces
// at `ciecia`: one "code@ms" entry per frame handed on ("x" for a time that
// is not valid), "-" per frame dropped; what is left waiting in the three
// others.
static QStringList przeczytaj(const QByteArray &wejscie, const QList<int> &ciecia,
                              quint16 *koncowyRozmiar, quint16 *koncowePominiecie,
                              qsizetype *koncoweZalegle)
{
    QStringList wynik;
    QByteArray zalegle;
    quint16 rozmiar = 0;
    quint16 doPominiecia = 0;
    int podane = 0;
    QList<int> granice = ciecia;
    granice.append(wejscie.size());
    for (int granica : granice) {
        zlozRamki(zalegle, rozmiar, doPominiecia, wejscie.mid(podane, granica - podane),
                  [&wynik](Odczyt odczyt, qint32 kod, QTime czas) {
                      wynik << (odczyt == Odczyt::Pominieta
                                    ? QStringLiteral("-")
                                    : QStringLiteral("%1@%2").arg(kod).arg(
                                        czas.isValid()
                                            ? QString::number(czas.msecsSinceStartOfDay())
                                            : QStringLiteral("x")));
                      return true;
                  });
        podane = granica;
    }
    *koncowyRozmiar = rozmiar;
    *koncowePominiecie = doPominiecia;
    *koncoweZalegle = zalegle.size();
    return wynik;
}

void TstObliczenia::odczytRamek_data()
{
    QTest::addColumn<QByteArray>("wejscie");
    QTest::addColumn<QList<int>>("ciecia");
    QTest::addColumn<QStringList>("ramki");
    QTest::addColumn<int>("pozostalyRozmiar");
    QTest::addColumn<int>("pozostaloDoPominiecia");
    QTest::addColumn<int>("zalegle"); // bytes kept of a frame not yet whole

    const QByteArray r1 = zbudujRamke(5, QTime::fromMSecsSinceStartOfDay(1000));
    const QByteArray r2 = zbudujRamke(9, QTime::fromMSecsSinceStartOfDay(2000));
    const QStringList obie {QStringLiteral("5@1000"), QStringLiteral("9@2000")};

    QTest::newRow("whole") << r1 << QList<int> {} << QStringList {QStringLiteral("5@1000")} << 0
                           << 0 << 0;
    QTest::newRow("one byte, then the rest")
        << r1 << QList<int> {1} << QStringList {QStringLiteral("5@1000")} << 0 << 0 << 0;
    QTest::newRow("length, then fields")
        << r1 << QList<int> {2} << QStringList {QStringLiteral("5@1000")} << 0 << 0 << 0;
    QTest::newRow("every byte alone") << r1 << QList<int> {1, 2, 3, 4, 5, 6, 7, 8, 9}
                                      << QStringList {QStringLiteral("5@1000")} << 0 << 0 << 0;
    QTest::newRow("length alone is pending")
        << r1.left(2) << QList<int> {} << QStringList {} << 8 << 0 << 0;
    QTest::newRow("two in one burst") << r1 + r2 << QList<int> {} << obie << 0 << 0 << 0;
    QTest::newRow("second split across bursts")
        << r1 + r2 << QList<int> {13} << obie << 0 << 0 << 0;
    QTest::newRow("length 0 is dropped")
        << QByteArray::fromHex("0000") + r1 << QList<int> {}
        << QStringList {QStringLiteral("-"), QStringLiteral("5@1000")} << 0 << 0 << 0;
    QTest::newRow("length 3 is dropped whole")
        << QByteArray::fromHex("0003aabbcc") + r1 << QList<int> {}
        << QStringList {QStringLiteral("-"), QStringLiteral("5@1000")} << 0 << 0 << 0;
    QTest::newRow("length 3, the last frame: dropped, nothing held")
        << QByteArray::fromHex("0003aabbcc") << QList<int> {} << QStringList {QStringLiteral("-")}
        << 0 << 0 << 0;
    QTest::newRow("length 7 waits for its bytes")
        << QByteArray::fromHex("0007010203") << QList<int> {} << QStringList {} << 7 << 0 << 3;
    QTest::newRow("length 9 keeps step")
        << QByteArray::fromHex("0009") + r1.mid(2) + QByteArray(1, 'x') + r2 << QList<int> {}
        << obie << 0 << 0 << 0;
    QTest::newRow("length 9: read, its last byte still to come")
        << QByteArray::fromHex("0009") + r1.mid(2) << QList<int> {}
        << QStringList {QStringLiteral("5@1000")} << 0 << 1 << 0;
    QTest::newRow("the longest frame: read at once, its surplus dropped as it comes")
        << QByteArray::fromHex("ffff") + r1.mid(2) + QByteArray(65527, 'x') + r2
        << QList<int> {5, 11, 30000, 65536} << obie << 0 << 0 << 0;
    QTest::newRow("the longest frame, cut short")
        << QByteArray::fromHex("ffff") + r1.mid(2) + QByteArray(1000, 'x') << QList<int> {500}
        << QStringList {QStringLiteral("5@1000")} << 0 << 64527 << 0;
    QTest::newRow("null time") << QByteArray::fromHex("000800000005ffffffff") << QList<int> {}
                               << QStringList {QStringLiteral("5@x")} << 0 << 0 << 0;
    QTest::newRow("a whole day") << QByteArray::fromHex("00080000000505265c00") << QList<int> {}
                                 << QStringList {QStringLiteral("5@x")} << 0 << 0 << 0;
    QTest::newRow("leftovers, then two frames and a half")
        << r1 + r1 + r2.left(3) << QList<int> {7}
        << QStringList {QStringLiteral("5@1000"), QStringLiteral("5@1000")} << 8 << 0 << 1;
}

void TstObliczenia::odczytRamek()
{
    QFETCH(QByteArray, wejscie);
    QFETCH(QList<int>, ciecia);
    QFETCH(QStringList, ramki);
    QFETCH(int, pozostalyRozmiar);
    QFETCH(int, pozostaloDoPominiecia);
    QFETCH(int, zalegle);
    quint16 rozmiar = 0;
    quint16 doPominiecia = 0;
    qsizetype zostalo = 0;
    QCOMPARE(przeczytaj(wejscie, ciecia, &rozmiar, &doPominiecia, &zostalo), ramki);
    QCOMPARE(int(rozmiar), pozostalyRozmiar);
    QCOMPARE(int(doPominiecia), pozostaloDoPominiecia);
    QCOMPARE(int(zostalo), zalegle);
}

void TstObliczenia::wyborAdresu_data()
{
    QTest::addColumn<QList<QHostAddress>>("adresy");
    QTest::addColumn<QString>("pokazany");

    const QHostAddress petla(QHostAddress::LocalHost);
    QTest::newRow("loopback, IPv6, two IPv4")
        << QList<QHostAddress> {petla, QHostAddress(QStringLiteral("fe80::1")),
                                QHostAddress(QStringLiteral("10.0.0.5")),
                                QHostAddress(QStringLiteral("192.168.1.7"))}
        << QStringLiteral("10.0.0.5");
    QTest::newRow("loopback only")
        << QList<QHostAddress> {petla, QHostAddress(QHostAddress::LocalHostIPv6)}
        << QStringLiteral("127.0.0.1");
    QTest::newRow("none") << QList<QHostAddress> {} << QStringLiteral("127.0.0.1");
}

void TstObliczenia::wyborAdresu()
{
    QFETCH(QList<QHostAddress>, adresy);
    QFETCH(QString, pokazany);
    QCOMPARE(wybierzAdres(adresy), pokazany);
}

// Ten lines a second for each key; the rest counted, summed up and
// forgotten.
void TstObliczenia::ogranicznikLinii()
{
    OgranicznikLinii ogranicznik(10);
    int wolnych = 0;
    for (int i = 0; i < 25; ++i)
        wolnych += ogranicznik.wolno(7, 5000 + i * 30); // 25 in 0.75 s
    QCOMPARE(wolnych, 10);
    QVERIFY(ogranicznik.wolno(8, 5900)); // another key has its own ten
    QVERIFY(ogranicznik.wolno(7, 6000)); // and the next second its own
    using Pominiete = QList<std::pair<quint32, qint64>>;
    QCOMPARE(ogranicznik.podsumuj(6500), (Pominiete {{7, 15}}));
    QCOMPARE(ogranicznik.podsumuj(6600), Pominiete {});

    // Many keys, a line each, within a cap of all of them together.
    OgranicznikLinii zWieluAdresow(10, 15);
    wolnych = 0;
    for (quint32 klucz = 1; klucz <= 20; ++klucz)
        wolnych += zWieluAdresow.wolno(klucz, 9100);
    QCOMPARE(wolnych, 15);
    QCOMPARE(zWieluAdresow.podsumuj(9200).size(), 5);
    QVERIFY(zWieluAdresow.wolno(1, 10'000));
}

QTEST_APPLESS_MAIN(TstObliczenia)
#include "tst_obliczenia.moc"
