// The window as the operator meets it: its start state, the clock, the
// schedule of periodic synchronization and the log panes.

#include "stanowisko.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QScreen>
#include <QTableView>

#include "sync/doba.h"
#include "sync/termin.h"
#include "window/dziennik.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimeZone>

class TstOkno : public QObject
{
    Q_OBJECT

private slots:
    void stanPoczatkowy();
    void uklad();
    void czyszczenieOkien();
    void panePrzewijaSieDoKonca();
    void paneTrzymaNajnowsze();
    void taktZegara();
    void zegarNadrabiaPrzestoj();
    void zmianaCzasuLokalnego_data();
    void zmianaCzasuLokalnego();
    void zegarZaSystemowym_data();
    void zegarZaSystemowym();
    void wlaczanieSynchronizacji();
    void okresowaSynchronizacja();
    void zmianaOkresu();
    void bezSerweraNieMaSynchronizacji();
};

static int zadania(Stanowisko &s)
{
    return s.linieSerwera().filter(QStringLiteral(" - Nadano żądanie wysłania godziny do ")).size();
}

static const QRegularExpression znacznik(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d - "));

// The window as it opens: the banner in the upper pane, the settings at their
// defaults, the address hidden, the controls' texts and which of them work.
void TstOkno::stanPoczatkowy()
{
    Stanowisko s;
    QCOMPARE(s.okno.windowTitle(), QStringLiteral("Aktywny Serwer Synchronizacji"));
    const QStringList linie = s.linieSerwera();
    QCOMPARE(linie.size(), 1);
    QVERIFY2(linie[0].contains(znacznik), qPrintable(linie[0]));
    QCOMPARE(tresc(linie[0]),
             QStringLiteral(" - Aktywny serwer synchronizacyjny metodą algorytmu z Berkeley."));
    QVERIFY(s.linieSynchronizacji().isEmpty());
    QCOMPARE(s.czynne(), QStringLiteral("przyciskRozpocznij polePortu"));
    Serwer swiezy; // the fixture moved the port to a free one
    QCOMPARE(swiezy.findChild<QSpinBox *>(QStringLiteral("polePortu"))->value(), 4466);
    QCOMPARE(s.pole("poleOkresu")->value(), 20);
    QCOMPARE(s.pole("poleOdrzucenia")->value(), 1200);
    const std::pair<const char *, const char *> teksty[]
        = {{"przyciskRozpocznij", "Rozpocznij\nDziałanie\nSerwera"},
           {"przyciskZatrzymaj", "Zatrzymaj\nSerwer"},
           {"przyciskKoniec", "Zakończ\nDziałanie\nProgramu"},
           {"przyciskSynch", "Uruchom\nSynchronizację"},
           {"przyciskSynchTeraz", "Synchronizuj Teraz"},
           {"przyciskCzysc", "Wyczyść\nOkna"},
           {"etykietaOdrzucenia", "Czas odrzucenia:"},
           {"etykietaPortu", "Podaj Port:"},
           {"etykietaIp", "Ip Serwera:"},
           {"etykietaCzasu", "Czas serwera:"},
           {"etykietaOkresu", "Okres synch.[s]:"},
           {"etykietaNastSynch", "Nast. synch.:"}};
    for (const auto &[nazwa, tekst] : teksty)
        QCOMPARE(s.element(nazwa)->property("text").toString(), QString::fromUtf8(tekst));
    QVERIFY(s.etykieta("etykietaKlientow")
                ->text()
                .startsWith(QStringLiteral("Połączonych klientów: 0;")));
}

// The window's layout as the operator sees it: at its smallest nothing is
// cut and the grid sits above the table; made larger, the panes and the
// table share the room. At its default size the table shows ten rows where the screen has
// the room, and every column is wide enough for its header.
void TstOkno::uklad()
{
    Stanowisko s;
    s.kliknij("przyciskRozpocznij"); // the address shows
    if (!s.aktywne())
        QSKIP("a window is laid out for a window system, which the loop of the programs "
              "without a window has not");
    auto *tabela = s.element<QTableView>("tabelaKlientow");
    const int wiersz = tabela->verticalHeader()->defaultSectionSize();
    const int ekran = s.okno.screen()->availableGeometry().height();
    QVERIFY2(tabela->viewport()->height() >= 10 * wiersz || s.okno.height() >= ekran * 9 / 10 - 1,
             qPrintable(QStringLiteral("%1 px for rows of %2 px in a window %3 px high")
                            .arg(tabela->viewport()->height())
                            .arg(wiersz)
                            .arg(s.okno.height())));
    QVERIFY(wiersz <= 2 * tabela->fontMetrics().height());
    for (int k = 0; k < ModelKlientow::Kolumn; ++k)
        QVERIFY(tabela->horizontalHeader()->sectionSize(k)
                > tabela->fontMetrics().horizontalAdvance(
                    tabela->model()->headerData(k, Qt::Horizontal).toString()));

    auto *siatka = qobject_cast<QGridLayout *>(s.okno.layout());
    QVERIFY(siatka);
    for (const QSize rozmiar : {s.okno.minimumSizeHint(), QSize(1600, 1200)}) {
        s.okno.resize(rozmiar);
        siatka->activate();
        for (int i = 0; i < siatka->count(); ++i) {
            QWidget *widzet = siatka->itemAt(i)->widget();
            QVERIFY2(s.okno.rect().contains(widzet->geometry()), qPrintable(widzet->objectName()));
            QVERIFY(widzet->width()
                    >= qMin(widzet->minimumSizeHint().width(), widzet->maximumWidth()));
            if (widzet != tabela)
                QVERIFY(widzet->geometry().bottom() < tabela->geometry().top());
        }
    }
    // Made larger, the panes take a share of the room (their lines cut no
    // more), the table the largest.
    for (const char *okno : {"oknoSerwera", "oknoSynchronizacji"}) {
        QVERIFY2(s.element(okno)->width() >= 1600 / 2, okno);
        QVERIFY2(s.element(okno)->height() < tabela->height(), okno);
    }
    QVERIFY(s.element("oknoSerwera")->height() > 300 + 50);
}

void TstOkno::czyszczenieOkien()
{
    Stanowisko s;
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");
    QVERIFY(!s.linieSerwera().isEmpty());
    QVERIFY(!s.linieSynchronizacji().isEmpty());
    const QString nastepna = s.etykieta("wartoscNastSynch")->text();

    s.kliknij("przyciskCzysc");
    QVERIFY(s.linieSerwera().isEmpty());
    QVERIFY(s.linieSynchronizacji().isEmpty());
    QCOMPARE(s.czynne(),
             QStringLiteral("przyciskZatrzymaj przyciskSynch przyciskSynchTeraz wartoscIp"));
    QCOMPARE(s.etykieta("wartoscNastSynch")->text(), nastepna);

    // New lines start again at the top.
    s.kliknij("przyciskSynchTeraz");
    QCOMPARE(s.linieSerwera().size(), 1);

    // A line logged just before the clearing goes with it, even if it was
    // not yet in its pane.
    s.kliknij("przyciskSynch");
    s.kliknij("przyciskCzysc");
    QVERIFY(s.linieSynchronizacji().isEmpty());
}

void TstOkno::panePrzewijaSieDoKonca()
{
    Stanowisko s;
    s.okno.show();
    s.kliknij("przyciskRozpocznij");
    for (int i = 0; i < 100; ++i)
        s.kliknij("przyciskSynch");
    QCOMPARE(s.linieSynchronizacji().size(), 100);
    QCoreApplication::processEvents();
    const QScrollBar *pasek = s.element<QTextBrowser>("oknoSynchronizacji")->verticalScrollBar();
    QVERIFY(pasek->maximum() > 0);
    QCOMPARE(pasek->value(), pasek->maximum());
    QVERIFY(s.linieSynchronizacji().constLast().endsWith(
        QStringLiteral(" - Zatrzymano Synchronizację")));
}

// A pane keeps its newest lines; of a pass that brings more, only those.
void TstOkno::paneTrzymaNajnowsze()
{
    Stanowisko s;
    QStringList linie;
    for (int i = 0; i < maksLinii + 5; ++i)
        linie << QString::number(i);
    auto *okno = s.element<QTextBrowser>("oknoSynchronizacji");
    dopiszLinie(okno, linie);
    QCOMPARE(s.linieSynchronizacji(), linie.mid(5));

    // A few more stay, until so many have come that the oldest leave
    // together, down to the newest the pane keeps.
    dopiszLinie(okno, {QStringLiteral("a"), QStringLiteral("b")});
    QCOMPARE(s.linieSynchronizacji().size(), maksLinii + 2);
    dopiszLinie(okno, QStringList(liniiZaRazem, QStringLiteral("c")));
    const QStringList po = s.linieSynchronizacji();
    QCOMPARE(po.size(), maksLinii);
    QCOMPARE(po.constFirst(), QString::number(liniiZaRazem + 7));
    QCOMPARE(po.mid(po.size() - liniiZaRazem - 1, 2),
             (QStringList {QStringLiteral("b"), QStringLiteral("c")}));
}

void TstOkno::taktZegara()
{
    Stanowisko s;
    QVERIFY(s.etykieta("wartoscCzasu")->text().isEmpty());
    QVERIFY(s.tyknij());
    const QTime pierwszy
        = QTime::fromString(s.etykieta("wartoscCzasu")->text(), QStringLiteral("HH:mm:ss"));
    QVERIFY(pierwszy.isValid());
    QVERIFY(s.tyknij(10));
    const QTime poSekundzie
        = QTime::fromString(s.etykieta("wartoscCzasu")->text(), QStringLiteral("HH:mm:ss"));
    QCOMPARE((pierwszy.secsTo(poSekundzie) + 86400) % 86400, 1);
}

// A pass of the event loop that stands still for 1.5 s, past the time a
// periodic synchronization falls due, delays the tick but costs the clock
// no time, and the synchronization runs once.
void TstOkno::zegarNadrabiaPrzestoj()
{
    Stanowisko s;
    s.pole("poleOkresu")->setValue(10);
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");
    KlientTestowy *k = s.dolacz(0, false);
    QVERIFY(k);
    s.kliknij("przyciskSynchTeraz");
    QTRY_COMPARE(k->odebrane.size(), 1);
    const QTime przed = k->odebrane[0].czas;
    QVERIFY(s.tyknij(95)); // due in 0.5 s

    // The loop held for 600 ms, six ticks: the clock has them all, and no
    // more than the time that passed until the request came.
    constexpr qint64 przestojMs = 600;
    const QTime poczatek = QTime::currentTime();
    s.zegar()->start();
    QTimer::singleShot(0, &s.okno, [] {
        QElapsedTimer zajety;
        zajety.start();
        while (zajety.elapsed() < przestojMs) { }
    });
    QTRY_COMPARE(k->odebrane.size(), 2);
    const qint64 rzeczywiscie = poczatek.msecsTo(k->odebrane[1].odebrano);
    const qint64 naZegarze = przed.msecsTo(k->odebrane[1].czas) - 9500;
    qInfo("after the stall: %lld ms passed, the clock moved %lld ms", rzeczywiscie, naZegarze);
    QVERIFY2(naZegarze >= qMax(przestojMs, rzeczywiscie) - 2 * taktMs
                 && naZegarze <= rzeczywiscie + taktMs,
             qPrintable(QString::number(naZegarze)));
    // Three more ticks, then the stop notice, which follows whatever the
    // ticks sent.
    QSignalSpy takty(s.zegar(), &QTimer::timeout);
    QTRY_VERIFY(takty.size() >= 3);
    s.zegar()->stop();
    s.kliknij("przyciskZatrzymaj");
    QTRY_COMPARE(k->odebrane.size(), 3);
    QCOMPARE(k->odebrane[2].kod, ramka::kodStopu);
    QCOMPARE(zadania(s), 2);
}

// The row of the running test run again in a process of its own whose
// system clock libfaketime fakes with `zmienne` (name, value, …), the
// monotonic clocks left alone; whether it passed, and its output.
[[maybe_unused]] static std::pair<bool, QByteArray> wPodrobionymCzasie(const QStringList &zmienne)
{
    QProcessEnvironment srodowisko = QProcessEnvironment::systemEnvironment();
#ifdef FAKETIME_BIBLIOTEKA
    srodowisko.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(FAKETIME_BIBLIOTEKA));
#endif
    srodowisko.insert(QStringLiteral("PODROBIONY_CZAS"), QStringLiteral("1"));
    srodowisko.insert(QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
    srodowisko.insert(QStringLiteral("DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
    srodowisko.insert(QStringLiteral("ASAN_OPTIONS"),
                      srodowisko.value(QStringLiteral("ASAN_OPTIONS"))
                          + QStringLiteral(":verify_asan_link_order=0"));
    for (qsizetype i = 0; i + 1 < zmienne.size(); i += 2)
        srodowisko.insert(zmienne[i], zmienne[i + 1]);
    QProcess proces;
    proces.setProcessEnvironment(srodowisko);
    proces.setProcessChannelMode(QProcess::MergedChannels);
    const QString test = QString::fromLatin1(QTest::currentTestFunction());
    proces.start(QCoreApplication::applicationFilePath(),
                 {test + QLatin1Char(':') + QString::fromUtf8(QTest::currentDataTag())});
    const bool skonczyl = proces.waitForFinished(30000);
    const QByteArray wyjscie = proces.readAll();
    return {skonczyl && proces.exitCode() == 0
                && wyjscie.contains("PASS   : TstOkno::" + test.toLatin1()),
            wyjscie};
}

// In the test's own process: the row run where the system clock is faked,
// or skipped where it cannot be.
#if defined(Q_OS_WIN)
#define W_PODROBIONYM_CZASIE(...)                                                                  \
    QSKIP("the system clock is faked with libfaketime, which Windows does not have")
#elif !defined(FAKETIME_BIBLIOTEKA)
#define W_PODROBIONYM_CZASIE(...) QSKIP("libfaketime was not found when this was built")
#else
#define W_PODROBIONYM_CZASIE(...)                                                                  \
    do {                                                                                           \
        const auto [zdal, wyjscie] = wPodrobionymCzasie(QStringList __VA_ARGS__);                  \
        QVERIFY2(zdal, wyjscie.constData());                                                       \
        return;                                                                                    \
    } while (false)
#endif

void TstOkno::zmianaCzasuLokalnego_data()
{
    QTest::addColumn<qint64>("zmiana"); // seconds since the epoch
    QTest::addColumn<int>("zmianaS");
    const auto utc = [](int miesiac, int dzien) {
        return QDateTime(QDate(2027, miesiac, dzien), QTime(1, 0), QTimeZone::utc())
            .toSecsSinceEpoch();
    };
    QTest::newRow("spring: 02:00 CET becomes 03:00 CEST") << utc(3, 28) << 3600;
    QTest::newRow("autumn: 03:00 CEST becomes 02:00 CET") << utc(10, 31) << -3600;
}

// Daylight saving time in Poland begins and ends: the clock shows the local
// time again within a second, and a client that answers with the local time
// differs by no more than a second. The system clock is faked (libfaketime)
// in a process of this test's own, six seconds before the change (a first start
// after a build may take a few).
void TstOkno::zmianaCzasuLokalnego()
{
    QFETCH(qint64, zmiana);
    QFETCH(int, zmianaS);
    if (!qEnvironmentVariableIsSet("PODROBIONY_CZAS")) {
        const QString przesuniecie
            = QStringLiteral("%1%2")
                  .arg(zmiana >= QDateTime::currentSecsSinceEpoch() ? "+" : "")
                  .arg(zmiana - 6 - QDateTime::currentSecsSinceEpoch());
        W_PODROBIONYM_CZASIE({QStringLiteral("FAKETIME"), przesuniecie, QStringLiteral("TZ"),
                              QStringLiteral("Europe/Warsaw")});
    }

    Stanowisko s;
    s.zegar()->start();
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");
    KlientTestowy *k = s.dolacz(0, false);
    QVERIFY(k);
    QVERIFY2(QDateTime::currentSecsSinceEpoch() < zmiana, "started after the change");
    const auto zLokalnym = [&s] {
        const QTime zegar
            = QTime::fromString(s.etykieta("wartoscCzasu")->text(), QStringLiteral("HH:mm:ss"));
        return qAbs(roznicaMs(QTime::currentTime(), zegar)) < 1500;
    };
    QTRY_VERIFY_WITH_TIMEOUT(zLokalnym(), 1000);
    QTRY_VERIFY_WITH_TIMEOUT(QDateTime::currentSecsSinceEpoch() >= zmiana, 9000);
    QTRY_VERIFY(zLokalnym());
    const QStringList zmiany = s.linieSynchronizacji().filter(QStringLiteral("Zmiana czasu"));
    QCOMPARE(zmiany.size(), 1);
    QCOMPARE(tresc(zmiany[0]),
             QStringLiteral(" - Zmiana czasu lokalnego o %1%2 s (czas letni lub zimowy, strefa "
                            "czasowa): zegar serwera przestawiony")
                 .arg(zmianaS > 0 ? QStringLiteral("+") : QString())
                 .arg(zmianaS));
    // The schedule moved with the clock: no exchange before its time, and
    // the next is a period away at most, not an hour.
    QCOMPARE(k->odebrane.size(), 0);
    const int za = QTime::fromString(s.etykieta("wartoscCzasu")->text(), QStringLiteral("HH:mm:ss"))
                       .secsTo(QTime::fromString(s.etykieta("wartoscNastSynch")->text(),
                                                 QStringLiteral("HH:mm:ss")));
    QVERIFY2(za >= 0 && za <= 20, qPrintable(QString::number(za)));

    s.kliknij("przyciskSynchTeraz");
    QTRY_COMPARE(k->odebrane.size(), 1);
    k->odpowiedz(ramka::kodZadania, QTime::currentTime());
    QTRY_COMPARE(s.linieSerwera().filter(QStringLiteral(" - Odebrano godzinę")).size(), 1);
    static const QRegularExpression wzor(QStringLiteral("różnica:(-?\\d+)s$"));
    const auto dopasowanie
        = wzor.match(s.linieSerwera().filter(QStringLiteral(" - Odebrano godzinę")).constFirst());
    QVERIFY(dopasowanie.hasMatch());
    QVERIFY2(qAbs(dopasowanie.captured(1).toInt()) <= 1, qPrintable(dopasowanie.captured(0)));
}

void TstOkno::zegarZaSystemowym_data()
{
    QTest::addColumn<bool>("zaSystemowym"); // --zegar systemowy
    QTest::addColumn<QString>("przesuniecie"); // of the system clock, once the server runs
    QTest::addColumn<double>("poS"); // the server clock minus the system clock then
    QTest::addColumn<bool>("przestawiony"); // with a line that says so
    // A client that answers with the request's own time, which an exchange
    // before the step sends an agreed time: after the step it stands 3 s
    // from that agreed time, as it moved with the server; or one that never
    // answers, whose exchange stays open.
    QTest::addColumn<QString>("klient");
    QTest::newRow("following, a step of 3 s taken at once")
        << true << "+3" << 0.0 << true << QStringLiteral("odpowiada");
    QTest::newRow("following, a step taken past the reply window of a silent client")
        << true << "+3" << 0.0 << true << QStringLiteral("milczy");
    QTest::newRow("by default, the step left alone") << false << "+3" << -3.0 << false << QString();
    QTest::newRow("following, 200 ms closed slowly")
        << true << "+0.2" << -0.2 << false << QString();
}

// The system clock moves under the running server (libfaketime re-reads its
// time file): following it, the server takes a large step within a second,
// with a line from what to what, and a small difference only slowly; by
// default it keeps its own clock. The caption shows the server clock minus
// the system clock either way.
void TstOkno::zegarZaSystemowym()
{
    QFETCH(bool, zaSystemowym);
    QFETCH(QString, przesuniecie);
    QFETCH(double, poS);
    QFETCH(bool, przestawiony);
    QFETCH(QString, klient);
    QTemporaryDir katalog;
    if (!qEnvironmentVariableIsSet("PODROBIONY_CZAS")) {
        const QString plik = katalog.filePath(QStringLiteral("czas"));
        QFile czas(plik);
        QVERIFY(czas.open(QIODevice::WriteOnly) && czas.write("+0\n") == 3);
        czas.close();
        W_PODROBIONYM_CZASIE({QStringLiteral("FAKETIME_TIMESTAMP_FILE"), plik,
                              QStringLiteral("FAKETIME_NO_CACHE"), QStringLiteral("1")});
    }

    Stanowisko s;
    if (zaSystemowym)
        s.okno.podazajZaZegaremSystemowym();
    s.zegar()->start();
    const auto roznica = [&s] {
        static const QRegularExpression wzor(
            QStringLiteral("zegar serwera minus systemowy: ([-+]\\d+\\.\\d{3}) s"));
        return wzor.match(s.etykieta("etykietaKlientow")->text()).captured(1).toDouble();
    };
    QTRY_VERIFY(qAbs(roznica()) < 0.1);
    KlientTestowy *k = nullptr;
    if (!klient.isEmpty()) {
        s.kliknij("przyciskRozpocznij");
        s.kliknij("przyciskSynch");
        QVERIFY(k = s.dolacz(0, klient == QLatin1String("odpowiada")));
        s.kliknij("przyciskSynchTeraz");
        if (k->odpowiada)
            QTRY_COMPARE(k->odebrane.size(), 2);
    }
    // Replaced whole, never truncated first: libfaketime reads the file on
    // every clock call and gives up on an empty one.
    QSaveFile czas(qEnvironmentVariable("FAKETIME_TIMESTAMP_FILE"));
    QVERIFY(czas.open(QIODevice::WriteOnly));
    czas.write(przesuniecie.toLatin1() + '\n');
    QVERIFY(czas.commit());
    const auto przestawien = [&s] {
        return s.linieSynchronizacji()
            .filter(QStringLiteral(" - Zegar serwera przestawiony za zegarem systemowym z "))
            .size();
    };
    if (przestawiony) {
        QTRY_COMPARE_WITH_TIMEOUT(przestawien(), 1, 2500);
        // The caption says it until the lab is back with the server clock:
        // the client, which moved with it, is 3 s from the agreed time it
        // was sent, and all is at the server clock.
        const auto powiedziano = [&s] {
            return s.etykieta("etykietaKlientow")
                ->text()
                .contains(QRegularExpression(QStringLiteral(
                    "; zegar serwera przestawiony za systemowym o \\+[23]\\.\\d{3} s o ")));
        };
        QTRY_VERIFY(powiedziano());
        if (k && k->odpowiada) {
            s.kliknij("przyciskSynchTeraz");
            QTRY_VERIFY(!s.okno.stan().filter(QStringLiteral("od uzgodnionego: +3.0 s")).isEmpty());
            QTRY_VERIFY(!powiedziano());
        }
    }
    // The caption says it once a second.
    QTRY_VERIFY2_WITH_TIMEOUT(qAbs(roznica() - poS) < 0.05,
                              qPrintable(s.etykieta("etykietaKlientow")->text()), 3000);
    QCOMPARE(przestawien(), przestawiony ? 1 : 0);
}

void TstOkno::wlaczanieSynchronizacji()
{
    Stanowisko s;
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");
    QCOMPARE(s.przycisk("przyciskSynch")->text(), QStringLiteral("Zatrzymaj\nSynchronizację"));
    QCOMPARE(s.czynne(),
             QStringLiteral("przyciskZatrzymaj przyciskSynch przyciskSynchTeraz wartoscIp"));
    QCOMPARE(s.linieSynchronizacji().size(), 1);
    const QString wlaczono = s.linieSynchronizacji().constLast();
    QVERIFY(wlaczono.contains(znacznik));
    QCOMPARE(tresc(wlaczono), QStringLiteral(" - Uruchomiono Synchronizację"));
    const QTime teraz = QTime::fromString(wlaczono.left(8), QStringLiteral("HH:mm:ss"));
    QCOMPARE(s.etykieta("wartoscNastSynch")->text(),
             teraz.addSecs(20).toString(QStringLiteral("HH:mm:ss")));

    s.kliknij("przyciskSynch");
    QCOMPARE(s.przycisk("przyciskSynch")->text(), QStringLiteral("Uruchom\nSynchronizację"));
    QCOMPARE(s.czynne(), QStringLiteral("przyciskZatrzymaj przyciskSynch wartoscIp"));
    QCOMPARE(tresc(s.linieSynchronizacji().constLast()),
             QStringLiteral(" - Zatrzymano Synchronizację"));
    QVERIFY(s.etykieta("wartoscNastSynch")->text().isEmpty());
}

void TstOkno::okresowaSynchronizacja()
{
    Stanowisko s;
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");

    QVERIFY(s.tyknij(199));
    QCOMPARE(zadania(s), 0);
    QVERIFY(s.tyknij());
    QCOMPARE(zadania(s), 1);
    QCOMPARE(tresc(s.ostatniaSerwera()),
             QStringLiteral(" - Nadano żądanie wysłania godziny do 0 klientów"));

    // The broadcast re-arms: the next request is one period later, not at once.
    QVERIFY(s.tyknij(199));
    QCOMPARE(zadania(s), 1);
    QVERIFY(s.tyknij());
    QCOMPARE(zadania(s), 2);
}

void TstOkno::zmianaOkresu()
{
    Stanowisko s;
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");
    QVERIFY(s.tyknij(150));

    // Counted from the change: 10 s from now, although 15 s have passed.
    s.pole("poleOkresu")->setValue(10);
    const QTime teraz
        = QTime::fromString(s.etykieta("wartoscCzasu")->text(), QStringLiteral("HH:mm:ss"));
    QCOMPARE(s.etykieta("wartoscNastSynch")->text(),
             teraz.addSecs(10).toString(QStringLiteral("HH:mm:ss")));
    QVERIFY(s.tyknij(99));
    QCOMPARE(zadania(s), 0);
    QVERIFY(s.tyknij());
    QCOMPARE(zadania(s), 1);

    // While off, a change moves only the schedule; the label stays empty.
    s.kliknij("przyciskSynch");
    s.pole("poleOkresu")->setValue(30);
    QVERIFY(s.etykieta("wartoscNastSynch")->text().isEmpty());
}

void TstOkno::bezSerweraNieMaSynchronizacji()
{
    Stanowisko s;
    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");
    s.kliknij("przyciskZatrzymaj");
    QVERIFY(s.tyknij());
    const QString przed = s.etykieta("wartoscCzasu")->text();
    QVERIFY(s.tyknij(600));
    QCOMPARE(zadania(s), 0);
    // A minute passed on the clock, three periods.
    QCOMPARE(QTime::fromString(przed, QStringLiteral("HH:mm:ss"))
                 .addSecs(60)
                 .toString(QStringLiteral("HH:mm:ss")),
             s.etykieta("wartoscCzasu")->text());
}

TEST_SERWERA(TstOkno)
#include "tst_okno.moc"
