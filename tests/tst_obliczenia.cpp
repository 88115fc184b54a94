// The arithmetic and the wire format, as plain functions.

#include "network/adres.h"
#include "network/ogranicznik.h"
#include "sync/berkeley.h"
#include "sync/ramka.h"
#include "sync/termin.h"

#include <QBuffer>
#include <QTest>

class TstObliczenia : public QObject
{
    Q_OBJECT

private slots:
    void synchNalezna_data();
    void synchNalezna();
    void roznicaSekund_data();
    void roznicaSekund();
    void odrzucenie_data();
    void odrzucenie();
    void srednia_data();
    void srednia();
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

void TstObliczenia::roznicaSekund_data()
{
    QTest::addColumn<QTime>("klient");
    QTest::addColumn<QTime>("serwer");
    QTest::addColumn<int>("roznica");

    QTest::newRow("ahead") << t("12:00:05.000") << t("12:00:00.000") << 5;
    QTest::newRow("behind") << t("12:00:18.000") << t("12:00:21.000") << -3;
    QTest::newRow("truncated toward zero, ahead") << t("12:00:01.999") << t("12:00:00.000") << 1;
    QTest::newRow("truncated toward zero, behind") << t("12:00:00.001") << t("12:00:01.999") << -1;
    QTest::newRow("client past midnight") << t("00:00:01.000") << t("23:59:58.000") << 3;
    QTest::newRow("server past midnight") << t("23:59:58.000") << t("00:00:01.000") << -3;
    QTest::newRow("twelve hours ahead") << t("18:00:00.000") << t("06:00:00.000") << 12 * 3600;
    QTest::newRow("just over twelve hours ahead")
        << t("18:00:01.000") << t("06:00:00.000") << -(12 * 3600 - 1);
}

void TstObliczenia::roznicaSekund()
{
    QFETCH(QTime, klient);
    QFETCH(QTime, serwer);
    QFETCH(int, roznica);
    QCOMPARE(::roznicaSekund(klient, serwer), roznica);
}

void TstObliczenia::odrzucenie_data()
{
    QTest::addColumn<int>("roznica");
    QTest::addColumn<bool>("odrzucona");
    QTest::newRow("+1200") << 1200 << false;
    QTest::newRow("-1200") << -1200 << false;
    QTest::newRow("+1201") << 1201 << true;
    QTest::newRow("-1201") << -1201 << true;
    QTest::newRow("0") << 0 << false;
}

void TstObliczenia::odrzucenie()
{
    QFETCH(int, roznica);
    QFETCH(bool, odrzucona);
    QCOMPARE(czyOdrzucic(roznica, 1200), odrzucona);
}

void TstObliczenia::srednia_data()
{
    QTest::addColumn<int>("suma");
    QTest::addColumn<int>("odpowiedzi");
    QTest::addColumn<int>("wynik");
    QTest::newRow("+5 from one") << 5 << 1 << 2;
    QTest::newRow("-7 from one, toward zero") << -7 << 1 << -3;
    QTest::newRow("+10 and -4") << 6 << 2 << 2;
    QTest::newRow("one rejected still divides") << 0 << 1 << 0;
    QTest::newRow("+10, -4, rejected +2000") << 6 << 3 << 1;
}

void TstObliczenia::srednia()
{
    QFETCH(int, suma);
    QFETCH(int, odpowiedzi);
    QFETCH(int, wynik);
    QCOMPARE(::srednia(suma, odpowiedzi), wynik);
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

// Feeds `wejscie` to the reader in pieces cut at `ciecia` and returns what it
// handed on, one "code@ms" entry per frame, "-" per dropped frame.
static QStringList przeczytaj(const QByteArray &wejscie, const QList<int> &ciecia,
                              quint16 *koncowyRozmiar, quint16 *koncowePominiecie)
{
    QBuffer bufor;
    bufor.open(QIODevice::ReadWrite);
    QStringList wynik;
    quint16 rozmiar = 0;
    quint16 doPominiecia = 0;
    int podane = 0;
    QList<int> granice = ciecia;
    granice.append(wejscie.size());
    for (int granica : granice) {
        // Append the next piece behind the read position, as a socket would.
        const qint64 pozycja = bufor.pos();
        bufor.seek(bufor.size());
        bufor.write(wejscie.mid(podane, granica - podane));
        bufor.seek(pozycja);
        podane = granica;
        for (;;) {
            qint32 kod = 0;
            QTime czas;
            const Odczyt odczyt = czytajRamke(bufor, rozmiar, doPominiecia, kod, czas);
            if (odczyt == Odczyt::Niepelna)
                break;
            if (odczyt == Odczyt::Pominieta)
                wynik << QStringLiteral("-");
            else
                wynik << QStringLiteral("%1@%2").arg(kod).arg(
                    czas.isValid() ? QString::number(czas.msecsSinceStartOfDay())
                                   : QStringLiteral("x"));
        }
    }
    *koncowyRozmiar = rozmiar;
    *koncowePominiecie = doPominiecia;
    // Nothing of a frame is held beyond its code and time.
    if (doPominiecia > 0 && bufor.bytesAvailable() > 0)
        wynik << QStringLiteral("(surplus held)");
    return wynik;
}

void TstObliczenia::odczytRamek_data()
{
    QTest::addColumn<QByteArray>("wejscie");
    QTest::addColumn<QList<int>>("ciecia");
    QTest::addColumn<QStringList>("ramki");
    QTest::addColumn<int>("pozostalyRozmiar");
    QTest::addColumn<int>("pozostaloDoPominiecia");

    const QByteArray r1 = zbudujRamke(5, QTime::fromMSecsSinceStartOfDay(1000));
    const QByteArray r2 = zbudujRamke(9, QTime::fromMSecsSinceStartOfDay(2000));
    const QStringList obie {QStringLiteral("5@1000"), QStringLiteral("9@2000")};

    QTest::newRow("whole") << r1 << QList<int> {} << QStringList {QStringLiteral("5@1000")} << 0
                           << 0;
    QTest::newRow("one byte, then the rest")
        << r1 << QList<int> {1} << QStringList {QStringLiteral("5@1000")} << 0 << 0;
    QTest::newRow("length, then fields")
        << r1 << QList<int> {2} << QStringList {QStringLiteral("5@1000")} << 0 << 0;
    QTest::newRow("every byte alone") << r1 << QList<int> {1, 2, 3, 4, 5, 6, 7, 8, 9}
                                      << QStringList {QStringLiteral("5@1000")} << 0 << 0;
    QTest::newRow("length alone is pending")
        << r1.left(2) << QList<int> {} << QStringList {} << 8 << 0;
    QTest::newRow("two in one burst") << r1 + r2 << QList<int> {} << obie << 0 << 0;
    QTest::newRow("second split across bursts") << r1 + r2 << QList<int> {13} << obie << 0 << 0;
    QTest::newRow("length 0 is dropped")
        << QByteArray::fromHex("0000") + r1 << QList<int> {}
        << QStringList {QStringLiteral("-"), QStringLiteral("5@1000")} << 0 << 0;
    QTest::newRow("length 3 is dropped whole")
        << QByteArray::fromHex("0003aabbcc") + r1 << QList<int> {}
        << QStringList {QStringLiteral("-"), QStringLiteral("5@1000")} << 0 << 0;
    QTest::newRow("length 7 waits for its bytes")
        << QByteArray::fromHex("0007010203") << QList<int> {} << QStringList {} << 7 << 0;
    QTest::newRow("length 9 keeps step")
        << QByteArray::fromHex("0009") + r1.mid(2) + QByteArray(1, 'x') + r2 << QList<int> {}
        << obie << 0 << 0;
    QTest::newRow("length 9: read, its last byte still to come")
        << QByteArray::fromHex("0009") + r1.mid(2) << QList<int> {}
        << QStringList {QStringLiteral("5@1000")} << 0 << 1;
    QTest::newRow("the longest frame: read at once, its surplus dropped as it comes")
        << QByteArray::fromHex("ffff") + r1.mid(2) + QByteArray(65527, 'x') + r2
        << QList<int> {5, 11, 30000, 65536} << obie << 0 << 0;
    QTest::newRow("the longest frame, cut short")
        << QByteArray::fromHex("ffff") + r1.mid(2) + QByteArray(1000, 'x') << QList<int> {500}
        << QStringList {QStringLiteral("5@1000")} << 0 << 64527;
    QTest::newRow("null time") << QByteArray::fromHex("000800000005ffffffff") << QList<int> {}
                               << QStringList {QStringLiteral("5@x")} << 0 << 0;
    QTest::newRow("a whole day") << QByteArray::fromHex("00080000000505265c00") << QList<int> {}
                                 << QStringList {QStringLiteral("5@x")} << 0 << 0;
}

void TstObliczenia::odczytRamek()
{
    QFETCH(QByteArray, wejscie);
    QFETCH(QList<int>, ciecia);
    QFETCH(QStringList, ramki);
    QFETCH(int, pozostalyRozmiar);
    QFETCH(int, pozostaloDoPominiecia);
    quint16 rozmiar = 0;
    quint16 doPominiecia = 0;
    QCOMPARE(przeczytaj(wejscie, ciecia, &rozmiar, &doPominiecia), ramki);
    QCOMPARE(int(rozmiar), pozostalyRozmiar);
    QCOMPARE(int(doPominiecia), pozostaloDoPominiecia);
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
}

QTEST_APPLESS_MAIN(TstObliczenia)
#include "tst_obliczenia.moc"
