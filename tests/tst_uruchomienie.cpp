// The program as a machine starts it: its options, the log file with its
// rotation, and the server without a window, ended by SIGTERM.

#include "app/sygnaly.h"
#include "app/zapisDziennika.h"
#include "stanowisko.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>

class TstUruchomienie : public QObject
{
    Q_OBJECT

private slots:
    void plikDziennika_data();
    void plikDziennika();
    void opcje_data();
    void opcje();
    void bezOkna();
};

namespace {

QStringList linieZPliku(const QString &sciezka)
{
    QFile plik(sciezka);
    if (!plik.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(plik.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The lines of one pane in a log file, as the pane shows them: each must
// carry the pane's tag and a date.
QStringList linieOkna(const QStringList &plik, const QString &okno)
{
    static const QRegularExpression wzor(
        QStringLiteral("^\\[(\\w+)\\] \\d{4}-\\d\\d-\\d\\d (.*)$"));
    QStringList linie;
    for (const QString &linia : plik) {
        const auto dopasowanie = wzor.match(linia);
        if (!dopasowanie.hasMatch())
            linie << QStringLiteral("(no tag or date) ") + linia;
        else if (dopasowanie.captured(1) == okno)
            linie << dopasowanie.captured(2);
    }
    return linie;
}

} // namespace

void TstUruchomienie::plikDziennika_data()
{
    QTest::addColumn<QString>("rotacja");
    QTest::newRow("moved, then written again") << QStringLiteral("przeniesienie");
    QTest::newRow("moved, then SIGHUP") << QStringLiteral("sighup");
}

// An exchange with two clients goes to the file as the panes show it, each
// line with its pane; after rotation the lines go to a new file.
void TstUruchomienie::plikDziennika()
{
    QFETCH(QString, rotacja);
    QTemporaryDir katalog;
    const QString sciezka = katalog.filePath(QStringLiteral("dziennik.log"));
    ZapisDziennika zapis;
    QString blad;
    QVERIFY2(zapis.otworz(sciezka, blad), qPrintable(blad));
    Stanowisko s;
    s.okno.przekazujLinie([&zapis](QLatin1String okno, QDate data, const QString &linia) {
        zapis.dopisz(okno, data, linia);
    });

    s.kliknij("przyciskRozpocznij");
    s.kliknij("przyciskSynch");
    QVERIFY(s.dolacz(3) && s.dolacz(-5));
    s.kliknij("przyciskSynchTeraz");
    QTRY_VERIFY(!s.linieSerwera().filter(QStringLiteral(" - Wysłano godzinę")).isEmpty());
    QCoreApplication::processEvents(); // the end of the pass writes the file
    const QStringList plik = linieZPliku(sciezka);
    // The banner was written before the file was attached.
    QCOMPARE(linieOkna(plik, QStringLiteral("serwer")), s.linieSerwera().mid(1));
    QCOMPARE(linieOkna(plik, QStringLiteral("synchronizacja")), s.linieSynchronizacji());
    QCOMPARE(plik.size(), s.linieSerwera().size() - 1 + s.linieSynchronizacji().size());
    // In the order written, across the panes too.
    const auto gdzie = [&plik](const char *tekst) {
        return std::find_if(
                   plik.cbegin(), plik.cend(),
                   [tekst](const QString &l) { return l.contains(QString::fromUtf8(tekst)); })
            - plik.cbegin();
    };
    QVERIFY(gdzie("Odebrano wszystkie") < gdzie("Rozpoczynam proces"));
    QVERIFY(gdzie("Rozpoczynam proces") < gdzie("Średnia:"));
    QVERIFY(gdzie("Średnia:") < gdzie("Wysłano godzinę"));

    const QString stary = katalog.filePath(QStringLiteral("dziennik.log.1"));
    QVERIFY(QFile::rename(sciezka, stary));
    if (rotacja == QLatin1String("sighup")) {
        Sygnaly sygnaly({SIGHUP});
        connect(&sygnaly, &Sygnaly::odebrano, &zapis, [&zapis] { zapis.otworzPonownie(); });
        ::raise(SIGHUP);
        QTRY_VERIFY(QFile::exists(sciezka));
    }
    s.kliknij("przyciskCzysc");
    s.kliknij("przyciskSynch");
    QTRY_COMPARE(linieZPliku(sciezka).size(), 1);
    QCOMPARE(linieZPliku(stary), plik);
    QCOMPARE(linieOkna(linieZPliku(sciezka), QStringLiteral("synchronizacja")),
             s.linieSynchronizacji());
}

void TstUruchomienie::opcje_data()
{
    QTest::addColumn<QStringList>("argumenty");
    QTest::addColumn<int>("kod");
    QTest::addColumn<QString>("wyjscie"); // the start of standard output, or of standard error
    const auto a = [](const char *tekst) {
        return QString::fromUtf8(tekst).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    };
    QTest::newRow("--help") << a("--help") << 0
                            << QStringLiteral("Usage: serwer-synchronizacji [options]");
    QTest::newRow("--version") << a("--version") << 0
                               << QStringLiteral("serwer-synchronizacji " PROJECT_VERSION "\n");
    QTest::newRow("port 0") << a("--port 0") << 2
                            << QStringLiteral("serwer-synchronizacji: --port przyjmuje liczbę "
                                              "całkowitą od 1 do 65535, nie \"0\"");
    QTest::newRow("port 65536") << a("--port 65536") << 2
                                << QStringLiteral("serwer-synchronizacji: --port przyjmuje");
    QTest::newRow("period 9") << a("--okres 9") << 2
                              << QStringLiteral("serwer-synchronizacji: --okres przyjmuje liczbę "
                                                "całkowitą od 10 do 500");
    QTest::newRow("threshold 10801") << a("--prog 10801") << 2
                                     << QStringLiteral("serwer-synchronizacji: --prog przyjmuje "
                                                       "liczbę całkowitą od 60 do 10800");
    QTest::newRow("not a number") << a("--okres dwa") << 2
                                  << QStringLiteral("serwer-synchronizacji: --okres przyjmuje");
    QTest::newRow("--synch alone")
        << a("--synch") << 2 << QStringLiteral("serwer-synchronizacji: --synch wymaga --start");
    QTest::newRow("--bez-okna alone")
        << a("--bez-okna --synch") << 2
        << QStringLiteral("serwer-synchronizacji: --synch wymaga --start");
    QTest::newRow("unknown") << a("--start --szybko") << 2
                             << QStringLiteral("serwer-synchronizacji: nieznana opcja: szybko");
    QTest::newRow("a log file that cannot be opened")
        << a("--bez-okna --start --dziennik /nie/ma/takiego/katalogu/dziennik.log") << 2
        << QStringLiteral("serwer-synchronizacji: nie można otworzyć dziennika "
                          "/nie/ma/takiego/katalogu/dziennik.log: ");
    QTest::newRow("a port taken, without a window")
        << a("--bez-okna --start --port ZAJETY") << 1
        << QStringLiteral("serwer-synchronizacji: nie można uruchomić serwera na porcie ");
}

void TstUruchomienie::opcje()
{
    QFETCH(QStringList, argumenty);
    QFETCH(int, kod);
    QFETCH(QString, wyjscie);
    QTcpServer zajety;
    QVERIFY(zajety.listen(QHostAddress::AnyIPv4, 0));
    argumenty.replaceInStrings(QStringLiteral("ZAJETY"), QString::number(zajety.serverPort()));

    QProcess serwer;
    serwer.start(QStringLiteral(SERWER_SCIEZKA), argumenty);
    QVERIFY(serwer.waitForFinished(10000));
    QCOMPARE(serwer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(serwer.exitCode(), kod);
    const QString tekst = QString::fromUtf8(kod == 0 ? serwer.readAllStandardOutput()
                                                     : serwer.readAllStandardError());
    QVERIFY2(tekst.contains(QRegularExpression(QStringLiteral("(^|\n)")
                                               + QRegularExpression::escape(wyjscie))),
             qPrintable(tekst));
}

// Without a window: three clients synchronized on the schedule, then SIGTERM
// tells the clients the server stops, and the log file has it all.
void TstUruchomienie::bezOkna()
{
    QTemporaryDir katalog;
    const QString dziennik = katalog.filePath(QStringLiteral("serwer.log"));
    const quint16 port = wolnyPort();
    QProcess serwer;
    serwer.start(QStringLiteral(SERWER_SCIEZKA),
                 {QStringLiteral("--bez-okna"), QStringLiteral("--start"),
                  QStringLiteral("--synch"), QStringLiteral("--okres"), QStringLiteral("10"),
                  QStringLiteral("--port"), QString::number(port), QStringLiteral("--dziennik"),
                  dziennik});
    QVERIFY(serwer.waitForStarted(5000));
    QTRY_VERIFY(
        QString::fromUtf8(serwer.peek(4096)).contains(QStringLiteral("Uruchomiono serwer")));

    const auto polaczen = [&serwer] {
        return QString::fromUtf8(serwer.peek(1 << 20))
            .count(QStringLiteral("Rozpoczęto połączenie"));
    };
    KlientTestowy obserwator(port);
    QTRY_COMPARE(polaczen(), 1);
    // One connection closes as the next opens: the server closes the first
    // descriptor and accepts the second on the same number in one pass.
    auto odchodzacy = std::make_unique<KlientTestowy>(port);
    QTRY_COMPARE(polaczen(), 2);
    odchodzacy->gniazdo.abort();
    KlientTestowy nastepca(port);
    QTRY_COMPARE(polaczen(), 3);
    std::vector<std::unique_ptr<QProcess>> klienci;
    for (int i = 0; i < 3; ++i) {
        klienci.push_back(std::make_unique<QProcess>());
        klienci.back()->start(QStringLiteral(KLIENT_SCIEZKA),
                              {QStringLiteral("--port"), QString::number(port),
                               QStringLiteral("--exchanges"), QStringLiteral("1"),
                               QStringLiteral("--quiet")});
    }
    for (const auto &k : klienci) {
        QTRY_COMPARE_WITH_TIMEOUT(k->state(), QProcess::NotRunning, 20000);
        QCOMPARE(k->exitCode(), 0);
    }

    ::kill(pid_t(serwer.processId()), SIGTERM);
    QVERIFY(serwer.waitForFinished(5000));
    QCOMPARE(serwer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(serwer.exitCode(), 0);
    QTRY_VERIFY(!obserwator.odebrane.isEmpty()
                && obserwator.odebrane.constLast().kod == ramka::kodStopu);
    // The one that came as another left was asked, answered, and was counted.
    QTRY_VERIFY(!nastepca.odebrane.isEmpty()
                && nastepca.odebrane.constLast().kod == ramka::kodStopu);
    QList<qint32> kody;
    for (const Odebrana &r : std::as_const(nastepca.odebrane))
        kody << r.kod;
    QVERIFY2(kody.size() >= 3 && kody[0] == ramka::kodZadania && kody[1] == ramka::kodWyniku,
             qPrintable(QString::number(kody.size())));

    const QStringList plik = linieZPliku(dziennik);
    QCOMPARE(QString::fromUtf8(serwer.readAllStandardOutput())
                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             plik);
    QVERIFY2(!plik.filter(QRegularExpression(QStringLiteral(
                              "^\\[serwer\\] \\S+ \\d\\d:\\d\\d:\\d\\d - Wysłano godzinę "
                              "synchronizacji \\d\\d:\\d\\d:\\d\\d do 5 klientów$")))
                  .isEmpty(),
             qPrintable(plik.join(QLatin1Char('\n'))));
    QVERIFY(plik.filter(QStringLiteral("Nie odebrano wszystkich")).isEmpty());
    QVERIFY(plik.constLast().endsWith(QStringLiteral(" - Zamknięto serwer")));
}

QTEST_MAIN(TstUruchomienie)
#include "tst_uruchomienie.moc"
