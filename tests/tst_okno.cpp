// The window as the operator meets it: its start state, the clock, the
// schedule of periodic synchronization and the log panes.

#include "stanowisko.h"

#include "window/dziennik.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScrollBar>

class TstOkno : public QObject
{
    Q_OBJECT

private slots:
    void stanPoczatkowy();
    void zakresyPol_data();
    void zakresyPol();
    void czyszczenieOkien();
    void panePrzewijaSieDoKonca();
    void paneTrzymaNajnowsze();
    void taktZegara();
    void zegarNadrabiaPrzestoj();
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

    const QList<std::tuple<const char *, QString, bool>> przyciski {
        {"przyciskRozpocznij", QStringLiteral("Rozpocznij\nDziałanie\nSerwera"), true},
        {"przyciskZatrzymaj", QStringLiteral("Zatrzymaj\nSerwer"), false},
        {"przyciskKoniec", QStringLiteral("Zakończ\nDziałanie\nProgramu"), true},
        {"przyciskSynch", QStringLiteral("Uruchom\nSynchronizację"), false},
        {"przyciskSynchTeraz", QStringLiteral("Synchronizuj Teraz"), false},
        {"przyciskCzysc", QStringLiteral("Wyczyść\nOkna"), true},
    };
    for (const auto &[nazwa, tekst, wlaczony] : przyciski) {
        QCOMPARE(s.przycisk(nazwa)->text(), tekst);
        QCOMPARE(s.przycisk(nazwa)->isEnabled(), wlaczony);
    }

    const QList<std::pair<const char *, QString>> etykiety {
        {"etykietaOdrzucenia", QStringLiteral("Czas odrzucenia:")},
        {"etykietaPortu", QStringLiteral("Podaj Port:")},
        {"etykietaIp", QStringLiteral("Ip Serwera:")},
        {"etykietaCzasu", QStringLiteral("Czas serwera:")},
        {"etykietaOkresu", QStringLiteral("Okres synch.[s]:")},
        {"etykietaNastSynch", QStringLiteral("Nast. synch.:")},
        {"wartoscIp", QString()},
        {"wartoscNastSynch", QString()},
    };
    for (const auto &[nazwa, tekst] : etykiety)
        QCOMPARE(s.etykieta(nazwa)->text(), tekst);
    QVERIFY(s.etykieta("wartoscIp")->isHidden());

    Serwer swiezy; // the fixture moved the port to a free one
    QCOMPARE(swiezy.findChild<QSpinBox *>(QStringLiteral("polePortu"))->value(), 4466);
    QCOMPARE(s.pole("poleOkresu")->value(), 20);
    QCOMPARE(s.pole("poleOdrzucenia")->value(), 1200);
    for (const char *nazwa : {"polePortu", "poleOkresu", "poleOdrzucenia"})
        QVERIFY(s.pole(nazwa)->isEnabled());
}

void TstOkno::zakresyPol_data()
{
    QTest::addColumn<QString>("nazwa");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("krok");
    QTest::newRow("port") << QStringLiteral("polePortu") << 1 << 65535 << 1;
    QTest::newRow("period") << QStringLiteral("poleOkresu") << 10 << 500 << 1;
    QTest::newRow("threshold") << QStringLiteral("poleOdrzucenia") << 60 << 10800 << 60;
}

void TstOkno::zakresyPol()
{
    QFETCH(QString, nazwa);
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, krok);
    Stanowisko s;
    QSpinBox *pole = s.pole(qPrintable(nazwa));
    const int start = pole->value();
    pole->stepUp();
    QCOMPARE(pole->value(), qMin(start + krok, max));
    pole->setValue(max + 1);
    QCOMPARE(pole->value(), max);
    pole->setValue(min - 1);
    QCOMPARE(pole->value(), min);
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
    QVERIFY(!s.przycisk("przyciskRozpocznij")->isEnabled());
    QVERIFY(s.przycisk("przyciskSynchTeraz")->isEnabled());
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

    dopiszLinie(okno, {QStringLiteral("a"), QStringLiteral("b")});
    const QStringList po = s.linieSynchronizacji();
    QCOMPARE(po.size(), maksLinii);
    QCOMPARE(po.constFirst(), QStringLiteral("7"));
    QCOMPARE(
        po.mid(po.size() - 3),
        (QStringList {QString::number(maksLinii + 4), QStringLiteral("a"), QStringLiteral("b")}));
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

    QElapsedTimer uplyw;
    uplyw.start();
    s.zegar()->start();
    QTimer::singleShot(0, &s.okno, [] {
        QElapsedTimer zajety;
        zajety.start();
        while (zajety.elapsed() < 1500) { }
    });
    QTRY_COMPARE(k->odebrane.size(), 2);
    const qint64 rzeczywiscie = uplyw.elapsed();
    const qint64 naZegarze = przed.msecsTo(k->odebrane[1].czas) - 9500;
    qInfo("after the stall: %lld ms passed, the clock moved %lld ms", rzeczywiscie, naZegarze);
    QVERIFY2(qAbs(naZegarze - rzeczywiscie) < 200, qPrintable(QString::number(naZegarze)));
    QTest::qWait(300);
    QCOMPARE(k->odebrane.size(), 2);
    QCOMPARE(zadania(s), 2);
}

void TstOkno::wlaczanieSynchronizacji()
{
    Stanowisko s;
    s.kliknij("przyciskRozpocznij");
    QVERIFY(s.przycisk("przyciskSynch")->isEnabled());
    QVERIFY(!s.przycisk("przyciskSynchTeraz")->isEnabled());

    s.kliknij("przyciskSynch");
    QCOMPARE(s.przycisk("przyciskSynch")->text(), QStringLiteral("Zatrzymaj\nSynchronizację"));
    QVERIFY(s.przycisk("przyciskSynchTeraz")->isEnabled());
    QCOMPARE(s.linieSynchronizacji().size(), 1);
    const QString wlaczono = s.linieSynchronizacji().constLast();
    QVERIFY(wlaczono.contains(znacznik));
    QCOMPARE(tresc(wlaczono), QStringLiteral(" - Uruchomiono Synchronizację"));
    const QTime teraz = QTime::fromString(wlaczono.left(8), QStringLiteral("HH:mm:ss"));
    QCOMPARE(s.etykieta("wartoscNastSynch")->text(),
             teraz.addSecs(20).toString(QStringLiteral("HH:mm:ss")));

    s.kliknij("przyciskSynch");
    QCOMPARE(s.przycisk("przyciskSynch")->text(), QStringLiteral("Uruchom\nSynchronizację"));
    QVERIFY(!s.przycisk("przyciskSynchTeraz")->isEnabled());
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

QTEST_MAIN(TstOkno)
#include "tst_okno.moc"
