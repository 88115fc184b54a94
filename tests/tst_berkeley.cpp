// Whole exchanges with real clients on loopback: replies, the reply window,
// rejection of outliers and the agreed time. The window's timer is stopped,
// so the server clock stands still and the differences are exact.

#include "stanowisko.h"

#include <QCheckBox>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableView>

class TstBerkeley : public QObject
{
    Q_OBJECT

private slots:
    void wymiana_data();
    void wymiana();
    void jedenKlientWszystkieLinie();
    void taktZamykaWymiane();
    void oknoOdpowiedzi_data();
    void oknoOdpowiedzi();
    void odpowiedzNieLiczySie_data();
    void odpowiedzNieLiczySie();
    void czyszczenieWTrakcie();
    void ponad29Odpowiedzi();
    void zTegoSamegoAdresu();
    void tabelaKlientow();
    void odpowiedzBezCzasu_data();
    void odpowiedzBezCzasu();
};

static const QString liniaOdpowiedzi = QStringLiteral(" - Odebrano godzinę od klienta ");
static const QString liniaPominietej
    = QStringLiteral(" - Pominięto godzinę od klienta o adresie: ");
static const QString liniaWyniku = QStringLiteral(" - Wysłano godzinę synchronizacji ");
static const QString wszystkie = QStringLiteral("----Odebrano wszystkie odpowiedzi----");
static const QString niewszystkie = QStringLiteral("----Nie odebrano wszystkich odpowiedzi----");
static const QString usrednianie = QStringLiteral("----Rozpoczynam proces uśredniania----");

static QString hms(QTime czas)
{
    return czas.toString(QStringLiteral("HH:mm:ss"));
}

// A started server with periodic synchronization on, so that "Synchronizuj
// Teraz" can be pressed, and `ile` clients that answer with these offsets.
[[nodiscard]] static bool przygotuj(Stanowisko &s, const QList<int> &przesuniecia,
                                    bool odpowiadaja = true)
{
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");
    for (int przesuniecie : przesuniecia)
        if (!s.dolacz(przesuniecie, odpowiadaja))
            return false;
    return true;
}

static int ileLinii(Stanowisko &s, const QString &tresc)
{
    return s.linieSerwera().filter(tresc).size();
}

// The time a request carried, read off the first client.
static QTime czasZadania(Stanowisko &s)
{
    for (const Odebrana &r : s.klienci[0]->odebrane)
        if (r.kod == ramka::kodZadania)
            return r.czas;
    return QTime();
}

void TstBerkeley::wymiana_data()
{
    QTest::addColumn<QList<int>>("przesuniecia");
    QTest::addColumn<int>("prog");
    QTest::addColumn<int>("srednia");

    QTest::newRow("+5") << QList<int> {5} << 1200 << 2;
    QTest::newRow("-7, toward zero") << QList<int> {-7} << 1200 << -3;
    QTest::newRow("+10 and -4") << QList<int> {10, -4} << 1200 << 2;
    QTest::newRow("+1200 is accepted") << QList<int> {1200} << 1200 << 600;
    QTest::newRow("-1200 is accepted") << QList<int> {-1200} << 1200 << -600;
    QTest::newRow("+1201 is rejected") << QList<int> {1201} << 1200 << 0;
    QTest::newRow("-1201 is rejected") << QList<int> {-1201} << 1200 << 0;
    QTest::newRow("rejected still divides") << QList<int> {10, -4, 2000} << 1200 << 1;
    QTest::newRow("smallest threshold") << QList<int> {61, 60, -60} << 60 << 0;
    QTest::newRow("largest threshold") << QList<int> {10800, -10801} << 10800 << 3600;
}

// The rule of the whole exchange: every reply logged with its difference,
// every outlier rejected by its ordinal, the average over the replies plus
// the server, and the same agreed time sent to every client.
void TstBerkeley::wymiana()
{
    QFETCH(QList<int>, przesuniecia);
    QFETCH(int, prog);
    QFETCH(int, srednia);
    Stanowisko s;
    s.pole("poleOdrzucenia")->setValue(prog);
    QVERIFY(przygotuj(s, przesuniecia));

    s.kliknij("przyciskSynchTeraz");
    QTRY_COMPARE(ileLinii(s, liniaWyniku), 1);

    // Ordinals follow the order the replies came in; map them back.
    static const QRegularExpression wzor(QStringLiteral("klienta (\\d+) - .* różnica:(-?\\d+)s$"));
    QList<int> roznice;
    QList<int> odrzucone;
    for (const QString &linia : s.linieSerwera().filter(liniaOdpowiedzi)) {
        const auto dopasowanie = wzor.match(linia);
        QVERIFY2(dopasowanie.hasMatch(), qPrintable(linia));
        const int roznica = dopasowanie.captured(2).toInt();
        roznice << roznica;
        if (qAbs(roznica) > prog)
            odrzucone << dopasowanie.captured(1).toInt();
    }
    QList<int> oczekiwane = przesuniecia;
    std::sort(oczekiwane.begin(), oczekiwane.end());
    std::sort(roznice.begin(), roznice.end());
    QCOMPARE(roznice, oczekiwane);

    QStringList odrzucenia;
    for (int n : odrzucone)
        odrzucenia << QStringLiteral("------Odrzucono czas klienta %1------").arg(n);
    QCOMPARE(s.linieSynchronizacji().filter(QStringLiteral("Odrzucono")), odrzucenia);

    const QTime zadanie = czasZadania(s);
    const QTime uzgodniony = zadanie.addSecs(srednia);
    QCOMPARE(s.linieSynchronizacji().constLast(),
             hms(zadanie) + QStringLiteral(" - Średnia:%1  czas:").arg(srednia) + hms(uzgodniony));
    for (const auto &k : s.klienci) {
        QTRY_COMPARE(k->odebrane.size(), 2);
        QCOMPARE(k->odebrane[1].kod, ramka::kodWyniku);
        QCOMPARE(k->odebrane[1].czas, uzgodniony);
    }
}

void TstBerkeley::jedenKlientWszystkieLinie()
{
    Stanowisko s;
    QVERIFY(przygotuj(s, {5}));
    const int przed = s.linieSerwera().size();
    s.kliknij("przyciskSynchTeraz");
    QTRY_COMPARE(ileLinii(s, liniaWyniku), 1);

    const QTime t = czasZadania(s);
    const QString z = hms(t);
    QCOMPARE(
        s.linieSerwera().mid(przed),
        (QStringList {z + QStringLiteral(" - Nadano żądanie wysłania godziny do 1 klientów"),
                      z + liniaOdpowiedzi + QStringLiteral("1 - ") + hms(t.addSecs(5))
                          + QStringLiteral(" różnica:5s"),
                      wszystkie,
                      z + liniaWyniku + hms(t.addSecs(2)) + QStringLiteral(" do 1 klientów")}));
    QCOMPARE(s.linieSynchronizacji(),
             (QStringList {z + QStringLiteral(" - Uruchomiono Synchronizację"), usrednianie,
                           z + QStringLiteral(" - Średnia:2  czas:") + hms(t.addSecs(2))}));
    QTRY_COMPARE(s.klienci[0]->odebrane.size(), 2);
    QCOMPARE(s.klienci[0]->odebrane[1].czas.msecsSinceStartOfDay(),
             t.addSecs(2).msecsSinceStartOfDay());

    // The server's own clock is not corrected.
    QVERIFY(s.tyknij());
    QCOMPARE(s.etykieta("wartoscCzasu")->text(), hms(t.addMSecs(100)));
}

// Three asked, two answer: the tick closes the exchange once its window has
// passed, over the replies it has, and sends the agreed time to all three.
void TstBerkeley::taktZamykaWymiane()
{
    Stanowisko s;
    QVERIFY(przygotuj(s, {0, 0, 0}, false));
    const int przed = s.linieSerwera().size();
    s.kliknij("przyciskSynchTeraz");
    QTRY_COMPARE(s.klienci[2]->odebrane.size(), 1);
    const QTime t = czasZadania(s);
    s.klienci[0]->odpowiedz(5, t.addSecs(6));
    QTRY_COMPARE(ileLinii(s, liniaOdpowiedzi), 1);
    // A reply at the tenth tick is still in the window, and does not close it.
    QVERIFY(s.tyknij(10));
    s.klienci[1]->odpowiedz(5, t.addSecs(10));
    QTRY_COMPARE(ileLinii(s, liniaOdpowiedzi), 2);
    QCOMPARE(ileLinii(s, niewszystkie), 0);
    QVERIFY(s.tyknij());
    const QTime z = t.addMSecs(1100);
    const QTime uzgodniony = z.addSecs(5); // (6 + 9) / 3
    QCOMPARE(
        s.linieSerwera().mid(przed),
        (QStringList {hms(t) + QStringLiteral(" - Nadano żądanie wysłania godziny do 3 klientów"),
                      hms(t) + liniaOdpowiedzi + QStringLiteral("1 - ") + hms(t.addSecs(6))
                          + QStringLiteral(" różnica:6s"),
                      hms(t.addSecs(1)) + liniaOdpowiedzi + QStringLiteral("2 - ")
                          + hms(t.addSecs(10))
                          + QStringLiteral(" różnica:9s"),
                      niewszystkie,
                      hms(z) + liniaWyniku + hms(uzgodniony) + QStringLiteral(" do 3 klientów")}));
    QCOMPARE(s.linieSynchronizacji().constLast(),
             hms(z) + QStringLiteral(" - Średnia:5  czas:") + hms(uzgodniony));
    QVERIFY(!s.linieSynchronizacji().contains(usrednianie));
    for (const auto &k : s.klienci) {
        QTRY_COMPARE(k->odebrane.size(), 2);
        QCOMPARE(k->odebrane[1].kod, ramka::kodWyniku);
        QCOMPARE(k->odebrane[1].czas, uzgodniony);
    }

    // The third answers late: shown, left out, and nothing more is sent.
    s.klienci[2]->odpowiedz(5, t);
    QTRY_COMPARE(ileLinii(s, liniaPominietej), 1);
    QVERIFY(s.tyknij(30));
    QCOMPARE(ileLinii(s, liniaWyniku), 1);
    QCOMPARE(ileLinii(s, liniaOdpowiedzi), 2);

    // The next request is counted from 1 again.
    s.kliknij("przyciskSynchTeraz");
    QTRY_COMPARE(s.klienci[2]->odebrane.size(), 3);
    s.klienci[2]->odpowiedz(5, s.klienci[2]->odebrane[2].czas);
    QTRY_COMPARE(ileLinii(s, liniaOdpowiedzi), 3);
    QVERIFY(s.linieSerwera()
                .filter(liniaOdpowiedzi)
                .constLast()
                .contains(liniaOdpowiedzi + QStringLiteral("1 - ")));
    // The last reply at the tenth tick closes the exchange at once, all in.
    QVERIFY(s.tyknij(10));
    s.klienci[0]->odpowiedz(5, s.klienci[2]->odebrane[2].czas);
    s.klienci[1]->odpowiedz(5, s.klienci[2]->odebrane[2].czas);
    QTRY_COMPARE(ileLinii(s, liniaWyniku), 2);
    QCOMPARE(ileLinii(s, niewszystkie), 1);
}

void TstBerkeley::oknoOdpowiedzi_data()
{
    // Codes of the first replies, then the clients left answer with +8 s
    // after 30 ticks.
    QTest::addColumn<QList<int>>("kodyNajpierw");
    QTest::addColumn<QString>("zamkniecie");
    QTest::addColumn<int>("srednia");
    QTest::newRow("no reply: the window opens with the first") << QList<int> {} << wszystkie << 6;
    QTest::newRow("only code 0: counted from the request")
        << QList<int> {0, 0} << niewszystkie << 2;
}

// With nothing to average, no tick closes an exchange, however many pass.
void TstBerkeley::oknoOdpowiedzi()
{
    QFETCH(QList<int>, kodyNajpierw);
    QFETCH(QString, zamkniecie);
    QFETCH(int, srednia);
    Stanowisko s;
    QVERIFY(przygotuj(s, {0, 0, 0}, false));
    s.kliknij("przyciskSynchTeraz");
    QTRY_COMPARE(s.klienci[2]->odebrane.size(), 1);
    const QTime t = czasZadania(s);
    // Each answer is followed by a second frame, shown as left out once the
    // answer before it is in.
    for (int i = 0; i < kodyNajpierw.size(); ++i) {
        s.klienci[i]->odpowiedz(kodyNajpierw[i], t);
        s.klienci[i]->odpowiedz(5, t);
    }
    QTRY_COMPARE(ileLinii(s, liniaPominietej), kodyNajpierw.size());

    const int linii = s.linieSerwera().size();
    QVERIFY(s.tyknij(30));
    QCOMPARE(s.linieSerwera().size(), linii);
    QVERIFY(s.linieSynchronizacji().filter(QStringLiteral("Średnia")).isEmpty());

    const QTime teraz = t.addSecs(3);
    for (int i = kodyNajpierw.size(); i < 3; ++i)
        s.klienci[i]->odpowiedz(5, teraz.addSecs(8));
    QTRY_COMPARE(ileLinii(s, liniaWyniku), 1);
    QCOMPARE(ileLinii(s, zamkniecie), 1);
    QCOMPARE(s.linieSynchronizacji().constLast(),
             hms(teraz) + QStringLiteral(" - Średnia:%1  czas:").arg(srednia)
                 + hms(teraz.addSecs(srednia)));
}

void TstBerkeley::odpowiedzNieLiczySie_data()
{
    QTest::addColumn<QString>("przypadek");
    QTest::addColumn<int>("policzonych"); // reply lines counted
    QTest::addColumn<int>("wynikow"); // agreed times sent once it is in
    QTest::addColumn<int>("poTaktach"); // and after 30 more ticks
    QTest::newRow("before any request") << QStringLiteral("przedZadaniem") << 0 << 0 << 0;
    QTest::newRow("after the exchange closed") << QStringLiteral("poZamknieciu") << 1 << 1 << 1;
    QTest::newRow("a second one in the same burst") << QStringLiteral("dwieNaraz") << 1 << 0 << 1;
    QTest::newRow("from a client that came later") << QStringLiteral("pozniejszy") << 0 << 0 << 0;
    QTest::newRow("asked, then the server stopped and started")
        << QStringLiteral("poZatrzymaniu") << 0 << 0 << 0;
}

// A reply from a connection that is not asked, or that has answered, takes
// no ordinal, opens no window and sends nothing; the operator sees it left
// out.
void TstBerkeley::odpowiedzNieLiczySie()
{
    QFETCH(QString, przypadek);
    QFETCH(int, policzonych);
    QFETCH(int, wynikow);
    QFETCH(int, poTaktach);
    Stanowisko s;
    const bool poZamknieciu = przypadek == QLatin1String("poZamknieciu");
    QVERIFY(przygotuj(s, poZamknieciu ? QList<int> {0} : QList<int> {0, 0}, false));
    KlientTestowy *nadawca = s.klienci[0].get();
    QByteArray przed;

    QTime t = QTime::fromString(s.linieSerwera().constLast().left(8), QStringLiteral("HH:mm:ss"));
    if (przypadek != QLatin1String("przedZadaniem")) {
        s.kliknij("przyciskSynchTeraz");
        QTRY_COMPARE(s.klienci.back()->odebrane.size(), 1);
        t = czasZadania(s);
    }
    if (poZamknieciu) {
        nadawca->odpowiedz(5, t.addSecs(6));
        QTRY_COMPARE(nadawca->odebrane.size(), 2); // the request and the agreed time
    } else if (przypadek == QLatin1String("dwieNaraz")) {
        przed = zbudujRamke(5, t.addSecs(6));
    } else if (przypadek == QLatin1String("pozniejszy")) {
        nadawca = s.dolacz(0, false);
        QVERIFY(nadawca);
    } else if (przypadek == QLatin1String("poZatrzymaniu")) {
        // The stop notice ends the exchange it was asked in.
        s.kliknij("przyciskZatrzymaj");
        QTRY_COMPARE(nadawca->odebrane.size(), 2);
        s.kliknij("przyciskRozpocznij");
    }
    const int odebranych = nadawca->odebrane.size();
    nadawca->gniazdo.write(przed + zbudujRamke(5, t.addSecs(100)));
    QTRY_COMPARE(ileLinii(s, liniaPominietej), 1);

    // Before any request the clock's milliseconds are unknown here: 100 s
    // ahead of a whole second, the reply is 99 s ahead of a clock past it.
    const QString linia = s.linieSerwera().filter(liniaPominietej).constFirst();
    const QString poczatek = hms(t) + liniaPominietej + QStringLiteral("127.0.0.1; Port:")
        + QString::number(nadawca->gniazdo.localPort()) + QStringLiteral(" - ")
        + hms(t.addSecs(100)) + QStringLiteral(" różnica:");
    QVERIFY2(linia == poczatek + QStringLiteral("100s")
                 || (przypadek == QLatin1String("przedZadaniem")
                     && linia == poczatek + QStringLiteral("99s")),
             qPrintable(linia));
    QCOMPARE(ileLinii(s, liniaOdpowiedzi), policzonych);
    QCOMPARE(ileLinii(s, liniaWyniku), wynikow);

    // Only a counted reply can be closed by the tick, and only it is
    // averaged. The stop notice, sent after, shows that all before it came.
    QVERIFY(s.tyknij(30));
    s.kliknij("przyciskZatrzymaj");
    QTRY_COMPARE(nadawca->odebrane.size(), odebranych + poTaktach - wynikow + 1);
    QCOMPARE(nadawca->odebrane.constLast().kod, ramka::kodStopu);
    QCOMPARE(ileLinii(s, liniaOdpowiedzi), policzonych);
    QCOMPARE(ileLinii(s, liniaWyniku), poTaktach);
    if (poTaktach > 0) // +6 s over the server and one reply, never the +100 s
        QVERIFY(s.linieSynchronizacji()
                    .filter(QStringLiteral(" - Średnia:"))
                    .constLast()
                    .contains(QStringLiteral(" - Średnia:3  ")));
}

void TstBerkeley::czyszczenieWTrakcie()
{
    Stanowisko s;
    QVERIFY(przygotuj(s, {2, 0}, false));
    s.klienci[0]->odpowiada = true;
    s.klienci[0]->przesuniecie = 2;
    s.kliknij("przyciskSynchTeraz");
    QTRY_COMPARE(ileLinii(s, liniaOdpowiedzi), 1);

    s.kliknij("przyciskCzysc");
    s.klienci[1]->odpowiedz(5, czasZadania(s).addSecs(-5));
    QTRY_COMPARE(ileLinii(s, liniaWyniku), 1);
    QCOMPARE(s.linieSerwera().size(), 3);
    QVERIFY(s.linieSerwera()[0].contains(liniaOdpowiedzi + QStringLiteral("2 - ")));
    QCOMPARE(s.linieSerwera()[1], wszystkie);
    QCOMPARE(s.linieSynchronizacji().size(), 2);
    QCOMPARE(s.linieSynchronizacji()[0], usrednianie);
    QVERIFY(s.linieSynchronizacji()[1].contains(QStringLiteral(" - Średnia:-1  czas:")));
}

void TstBerkeley::ponad29Odpowiedzi()
{
    Stanowisko s;
    QList<int> zera(29, 0);
    QVERIFY(przygotuj(s, zera));
    for (int i = 0; i < 6; ++i)
        QVERIFY(s.dolacz(0, false));

    s.kliknij("przyciskSynchTeraz");
    QTRY_COMPARE(ileLinii(s, liniaOdpowiedzi), 29);
    const QTime t = czasZadania(s);
    for (int i = 29; i < 35; ++i)
        s.klienci[i]->odpowiedz(5, t.addSecs(1000));
    QTRY_COMPARE(ileLinii(s, liniaWyniku), 1);

    // All 35 counted and logged; the six beyond the room take no part.
    QCOMPARE(ileLinii(s, liniaOdpowiedzi), 35);
    QVERIFY(s.linieSerwera()
                .filter(liniaOdpowiedzi)
                .constLast()
                .contains(liniaOdpowiedzi + QStringLiteral("35 - ") + hms(t.addSecs(1000))
                          + QStringLiteral(" różnica:1000s")));
    QCOMPARE(ileLinii(s, wszystkie), 1);
    QCOMPARE(s.linieSynchronizacji().constLast(),
             hms(t) + QStringLiteral(" - Średnia:0  czas:") + hms(t));
    QVERIFY(s.ostatniaSerwera().endsWith(QStringLiteral(" do 35 klientów")));
}

// Replies left out for their address are not waited for: the last reply
// counted closes the exchange at once, in its window.
void TstBerkeley::zTegoSamegoAdresu()
{
    Stanowisko s;
    s.okno.petlaJakInneAdresy();
    QVERIFY(przygotuj(s, {}));
    const auto z = [](int i) {
        return QHostAddress(QStringLiteral("127.0.0.%1").arg(i));
    };
    KlientTestowy *a = s.dolacz(0, false, z(2));
    KlientTestowy *b = s.dolacz(0, false, z(2));
    KlientTestowy *c = s.dolacz(0, false, z(3));
    QVERIFY(a && b && c);
    s.kliknij("przyciskSynchTeraz");
    QTRY_COMPARE(c->odebrane.size(), 1);
    const QTime t = c->odebrane[0].czas;
    a->odpowiedz(5, t.addSecs(6));
    QTRY_COMPARE(ileLinii(s, liniaOdpowiedzi), 1);
    b->odpowiedz(5, t.addSecs(60));
    QTRY_COMPARE(ileLinii(s, QStringLiteral(" - Nie uśredniono godziny od klienta")), 1);
    c->odpowiedz(5, t);
    QTRY_COMPARE(ileLinii(s, wszystkie), 1);
    QVERIFY(s.linieSynchronizacji().constLast().contains(QStringLiteral(" - Średnia:2  czas:")));

    // Both were sent +2 s. A machine 3 s from it did not take it, and counts
    // only in the divisor; one 1 s from it did.
    b->gniazdo.disconnectFromHost();
    QTRY_COMPARE(s.okno.polaczonych(), 2);
    s.kliknij("przyciskSynchTeraz");
    QTRY_COMPARE(c->odebrane.size(), 3);
    a->odpowiedz(5, c->odebrane[2].czas.addSecs(5));
    c->odpowiedz(5, c->odebrane[2].czas.addSecs(3));
    QTRY_COMPARE(ileLinii(s, wszystkie), 2);
    QCOMPARE(ileLinii(s, QStringLiteral(" - Nie uśredniam godzin klienta o adresie: ")), 1);
    QVERIFY(s.linieSynchronizacji().constLast().contains(QStringLiteral(" - Średnia:1  czas:")));
}

// The lab as the operator sees it, a loopback address standing for each
// machine: one address's 29 replies at +1199 s (one averaged, the rest left
// out), ten machines that take the agreed times, one beyond the threshold,
// one that answers with no time before another of its address, one silent.
// In the second exchange the ten are in step however the agreement moved,
// the machine that does not take it is left out, and the one that moved it
// is still named. The table's selection and scrolling stay as it is
// refreshed; Ctrl+C copies the rows selected.
void TstBerkeley::tabelaKlientow()
{
    Stanowisko s;
    s.okno.petlaJakInneAdresy();
    s.okno.show();
    const auto z = [](int i) {
        return QHostAddress(QStringLiteral("127.0.0.%1").arg(i));
    };
    QVERIFY(przygotuj(s, QList<int>(29, 1199))); // one address, 127.0.0.1
    for (int i = 2; i <= 11; ++i)
        QVERIFY(s.dolacz(0, true, z(i)));
    KlientTestowy *daleki = s.dolacz(1300, true, z(12));
    KlientTestowy *milczacy = s.dolacz(0, false, z(13));
    KlientTestowy *bezCzasu = s.dolacz(0, false, z(14));
    KlientTestowy *sasiad = s.dolacz(0, false, z(14));
    QVERIFY(daleki && milczacy && bezCzasu && sasiad);
    for (int wymiana = 1; wymiana <= 2; ++wymiana) {
        s.kliknij("przyciskCzysc");
        s.kliknij("przyciskSynchTeraz");
        QTRY_COMPARE(ileLinii(s, liniaOdpowiedzi), 12);
        const QTime t = bezCzasu->odebrane.constLast().czas;
        bezCzasu->odpowiedz(0, t); // takes its address's place, and leaves the next out
        QTRY_VERIFY(
            !s.okno.stan()
                 .filter(QStringLiteral("; Port:%1 - nr ").arg(bezCzasu->gniazdo.localPort()))
                 .isEmpty());
        sasiad->odpowiedz(5, t.addSecs(500));
        QTRY_COMPARE(ileLinii(s, QStringLiteral("o adresie: 127.0.0.14")), 1);
        QVERIFY(s.tyknij(11)); // the window passes without the silent one
        // The ten take the agreed time: their clocks are as far ahead.
        static const QRegularExpression srednia(QStringLiteral(" - Średnia:(-?\\d+) "));
        for (int i = 29; i < 39; ++i)
            s.klienci[i]->przesuniecie
                = srednia.match(s.linieSynchronizacji().constLast()).captured(1).toInt();
    }
    // 1199 s of the one place averaged with 13 replies, then left out: the
    // ten that took 85 s bring 60 s.
    QVERIFY(s.linieSynchronizacji().constLast().contains(QStringLiteral(" - Średnia:60  czas:")));
    QCOMPARE(ileLinii(s, QStringLiteral(" - Nie uśredniono godziny od klienta o adresie: ")), 29);
    QCOMPARE(ileLinii(s, QStringLiteral(" - Nie uśredniam godzin klienta o adresie: 127.0.0.1;")),
             1);

    auto *widok = s.element<QTableView>("tabelaKlientow");
    const auto *tabela = widok->model();
    const auto komorka = [tabela](int wiersz, int kolumna, int rola = Qt::DisplayRole) {
        return tabela->index(wiersz, kolumna).data(rola).toString();
    };
    const auto wierszy = [tabela](const QString &wynik) {
        return tabela
            ->match(tabela->index(0, ModelKlientow::Wynik), Qt::DisplayRole, wynik, -1,
                    Qt::MatchExactly)
            .size();
    };
    QTRY_COMPARE(komorka(0, ModelKlientow::Wynik), QStringLiteral("milczy"));
    QCOMPARE(tabela->rowCount(), 43);
    QCOMPARE(komorka(1, ModelKlientow::Adres), QStringLiteral("127.0.0.12"));
    QCOMPARE(komorka(1, ModelKlientow::Roznica), QStringLiteral("1300.0"));
    QCOMPARE(komorka(1, ModelKlientow::OdUzgodnionego), QStringLiteral("1215.0"));
    QCOMPARE(komorka(1, ModelKlientow::Wynik), QStringLiteral("odrzucony (próg)"));
    // Its ordinal leads from its line in the pane to its row.
    QCOMPARE(s.linieSerwera()
                 .filter(QRegularExpression(liniaOdpowiedzi + komorka(1, ModelKlientow::Numer)
                                            + QStringLiteral(" - .* różnica:1300s$")))
                 .size(),
             1);
    QVERIFY(tabela->index(1, 0).data(Qt::FontRole).value<QFont>().bold());
    QCOMPARE(wierszy(QStringLiteral("nie przyjmuje czasu")), 1);
    QCOMPARE(wierszy(QStringLiteral("poza średnią (ten sam adres)")), 29);
    QCOMPARE(wierszy(QStringLiteral("bez czasu")), 1);
    // Those that took the agreed time are in step, and no problem.
    QCOMPARE(wierszy(QStringLiteral("uśredniony")), 10);
    QCOMPARE(komorka(41, ModelKlientow::OdUzgodnionego), QStringLiteral("0.0"));
    s.element<QCheckBox>("tylkoZProblemem")->setChecked(true);
    QCOMPARE(tabela->rowCount(), 32);
    s.element<QCheckBox>("tylkoZProblemem")->setChecked(false);
    const QModelIndexList zAdresu
        = tabela->match(tabela->index(0, ModelKlientow::Wynik), Qt::DisplayRole,
                        QStringLiteral("poza średnią (ten sam adres)"), 1, Qt::MatchExactly);
    QVERIFY(zAdresu.constFirst()
                .data(Qt::ToolTipRole)
                .toString()
                .contains(QStringLiteral("--miejsc-z-adresu")));
    const QString podpis = s.etykieta("etykietaKlientow")->text();
    // Whichever of the one address's replies came first took its place.
    QVERIFY2(podpis.contains(QRegularExpression(
                 QStringLiteral("ostatnia wymiana: odpowiedzi 42 z 43, uśredniono 10 z 42, "
                                "odrzucone 1, nie przyjmujące czasu uzgodnionego 1, bez czasu 1, "
                                "poza średnią z adresów już uśrednionych 29 \\(najwięcej z "
                                "127\\.0\\.0\\.1: 28\\), czas uzgodniony \\+60 s od zegara "
                                "serwera \\(zmiana -25 s; wraca, w ciągu sekundy od niego za ok. "
                                "5 min\\), najbardziej przesunął go 127\\.0\\.0\\.1; "
                                "Port:\\d+ \\(\\+85\\.6 s o \\d\\d:\\d\\d:\\d\\d\\), "
                                "najdalej od uzgodnionego: 127\\.0\\.0\\.12; Port:%1 "
                                "\\(\\+1215\\.0 s\\)$")
                     .arg(daleki->gniazdo.localPort()))),
             qPrintable(podpis));

    // Selected and scrolled, the rows stay so when a client leaves.
    widok->selectionModel()->select(QItemSelection(tabela->index(1, 0), tabela->index(2, 0)),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTRY_VERIFY(widok->verticalScrollBar()->maximum() >= 3); // the table laid out
    widok->verticalScrollBar()->setValue(3);
    const QString wybrane = komorka(2, ModelKlientow::Port);
    milczacy->gniazdo.disconnectFromHost();
    QTRY_COMPARE(tabela->rowCount(), 42);
    QCOMPARE(widok->verticalScrollBar()->value(), 3);
    const QModelIndexList zaznaczone = widok->selectionModel()->selectedRows(ModelKlientow::Port);
    QCOMPARE(zaznaczone.size(), 2);
    QCOMPARE(zaznaczone[0].data().toString(), QString::number(daleki->gniazdo.localPort()));
    QCOMPARE(zaznaczone[1].data().toString(), wybrane);
    if (!s.aktywne())
        QSKIP("the keyboard needs a window system, which the loop of the programs without a "
              "window has not");
    widok->setFocus();
    QTest::keyClick(widok, Qt::Key_C, Qt::ControlModifier);
    const QStringList skopiowane = QApplication::clipboard()->text().split(QLatin1Char('\n'));
    QCOMPARE(skopiowane.value(0),
             QStringLiteral("Nr\tAdres\tPort\tPołączony od\tRóżnica [s]\tOd uzgodnionego "
                            "[s]\tOstatnia wymiana\tBez odpowiedzi"));
    QCOMPARE(skopiowane.value(1),
             QStringLiteral("%1\t127.0.0.12\t%2\t%3\t1300.0\t1215.0\todrzucony (próg)\t0")
                 .arg(komorka(0, ModelKlientow::Numer))
                 .arg(daleki->gniazdo.localPort())
                 .arg(komorka(0, ModelKlientow::Od)));
    QCOMPARE(skopiowane.size(), 4); // a header, two rows, and the end of the last
}

void TstBerkeley::odpowiedzBezCzasu_data()
{
    QTest::addColumn<QByteArray>("pierwsza");
    QTest::addColumn<QByteArray>("druga");
    QTest::newRow("code 0") << zbudujRamke(0, QTime(1, 0)) << zbudujRamke(0, QTime(2, 0));
    QTest::newRow("null time") << QByteArray::fromHex("000800000005ffffffff")
                               << QByteArray::fromHex("000800000009ffffffff");
    QTest::newRow("a whole day and more") << QByteArray::fromHex("00080000000505265c00")
                                          << QByteArray::fromHex("000800000005ffff0000");
}

// A reply with no usable time takes its ordinal and counts in the divisor,
// but what an earlier exchange left at that ordinal must not leak into the
// average or be reported as rejected.
void TstBerkeley::odpowiedzBezCzasu()
{
    QFETCH(QByteArray, pierwsza);
    QFETCH(QByteArray, druga);
    Stanowisko s;
    QVERIFY(przygotuj(s, {0, 0, 0}, false));

    s.kliknij("przyciskSynchTeraz");
    QTRY_COMPARE(s.klienci[2]->odebrane.size(), 1);
    QTime t = czasZadania(s);
    const int przesuniecia[] = {10, 3000, 4};
    for (int i = 0; i < 3; ++i) {
        s.klienci[i]->odpowiedz(5, t.addSecs(przesuniecia[i]));
        QTRY_COMPARE(ileLinii(s, liniaOdpowiedzi), i + 1);
    }
    QTRY_COMPARE(ileLinii(s, liniaWyniku), 1);
    QCOMPARE(s.linieSynchronizacji().filter(QStringLiteral("Odrzucono")).size(), 1);
    QVERIFY(s.linieSynchronizacji().constLast().contains(QStringLiteral(" - Średnia:3  czas:")));

    s.kliknij("przyciskCzysc");
    s.kliknij("przyciskSynchTeraz");
    QTRY_COMPARE(s.klienci[2]->odebrane.size(), 3);
    t = s.klienci[2]->odebrane[2].czas;
    // The last two carry no time: with them all in, the exchange is
    // complete at once. A second frame of each is shown as left out.
    s.klienci[2]->odpowiedz(5, t.addSecs(8));
    QTRY_COMPARE(ileLinii(s, liniaOdpowiedzi), 1);
    s.klienci[0]->gniazdo.write(pierwsza + zbudujRamke(5, t));
    QTRY_COMPARE(ileLinii(s, liniaPominietej), 1);
    s.klienci[1]->gniazdo.write(druga + zbudujRamke(5, t));
    QTRY_COMPARE(ileLinii(s, liniaWyniku), 1);
    QTRY_COMPARE(ileLinii(s, liniaPominietej), 2);

    QVERIFY(s.linieSerwera().contains(wszystkie));
    QVERIFY(s.linieSerwera().filter(liniaOdpowiedzi)[0].contains(liniaOdpowiedzi
                                                                 + QStringLiteral("1 - ")));
    QVERIFY(s.linieSynchronizacji().filter(QStringLiteral("Odrzucono")).isEmpty());
    QCOMPARE(s.linieSynchronizacji().constLast(),
             hms(t) + QStringLiteral(" - Średnia:2  czas:") + hms(t.addSecs(2)));
}

TEST_SERWERA(TstBerkeley)
#include "tst_berkeley.moc"
