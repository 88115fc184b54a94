#ifndef STANOWISKO_H
#define STANOWISKO_H

// A server window driven the way an operator drives it: through its buttons
// and spin boxes, read through its labels and log panes. The window's own
// timer is stopped; tests run the ticks themselves.

#include "app/petlaEpoll.h"
#include "narzedzia/narzedzia.h"
#include "sync/ramka.h"
#include "window/serwer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QList>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <memory>
#include <vector>

#ifdef Q_OS_WIN
#include <winsock2.h> // before windows.h, which the socket tests also need

#include <windows.h>
#endif

// Whether this runs under Wine, which emulates Windows short of a few things.
inline bool podWine()
{
#ifdef Q_OS_WIN
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
#else
    return false;
#endif
}

// The message of a time-stamped log line, without its "HH:mm:ss". A line
// without such a stamp comes back whole and marked, so that no comparison
// passes on it.
inline QString tresc(const QString &linia)
{
    if (QTime::fromString(linia.left(8), QStringLiteral("HH:mm:ss")).isValid())
        return linia.mid(8);
    return QStringLiteral("(no time-stamp) ") + linia;
}

struct Odebrana
{
    qint32 kod;
    QTime czas;
    QByteArray bajty;
    QTime odebrano; // the system clock when it came
};

// A client on loopback (from 127.0.0.1, or another address of it) that keeps
// every frame it receives and, when it has an offset, answers each request
// with the request's time moved by that offset.
class KlientTestowy : public QObject
{
public:
    explicit KlientTestowy(quint16 port, int przesuniecieS = 0, bool odpowiadajacy = true,
                           const QHostAddress &zrodlo = QHostAddress())
        : przesuniecie(przesuniecieS)
        , odpowiada(odpowiadajacy)
    {
        connect(&gniazdo, &QTcpSocket::readyRead, this, &KlientTestowy::czytaj);
        if (!zrodlo.isNull())
            gniazdo.bind(zrodlo);
        gniazdo.connectToHost(QHostAddress::LocalHost, port);
    }

    void odpowiedz(qint32 kod, QTime czas) { gniazdo.write(zbudujRamke(kod, czas)); }

    QTcpSocket gniazdo;
    QList<Odebrana> odebrane;
    int przesuniecie;
    bool odpowiada;

private:
    // The server sends whole 10-byte frames; they are taken apart here by
    // hand rather than by the reader under test.
    void czytaj()
    {
        while (gniazdo.bytesAvailable() >= ramka::dlugoscRamki) {
            const QByteArray bajty = gniazdo.read(ramka::dlugoscRamki);
            QDataStream strumien(bajty);
            strumien.setVersion(QDataStream::Qt_4_6);
            quint16 dlugosc = 0;
            qint32 kod = 0;
            QTime czas;
            strumien >> dlugosc >> kod >> czas;
            odebrane.append({kod, czas, bajty, QTime::currentTime()});
            if (kod == ramka::kodZadania && odpowiada)
                odpowiedz(ramka::kodZadania, czas.addSecs(przesuniecie));
        }
    }
};

class Stanowisko
{
public:
    Stanowisko()
    {
        zegar()->stop();
        pole("polePortu")->setValue(wolnyPort());
    }

    // A missing child fails the test and hands back a stand-in, so that the
    // test ends in a failure rather than a crash.
    template<typename T = QWidget> T *element(const char *nazwa)
    {
        if (auto *znaleziony = okno.findChild<T *>(QLatin1String(nazwa)))
            return znaleziony;
        QTest::qFail(qPrintable(QStringLiteral("the window has no %1").arg(QLatin1String(nazwa))),
                     __FILE__, __LINE__);
        return new T(&zastepcze);
    }
    QPushButton *przycisk(const char *nazwa) { return element<QPushButton>(nazwa); }
    QSpinBox *pole(const char *nazwa) { return element<QSpinBox>(nazwa); }
    QLabel *etykieta(const char *nazwa) { return element<QLabel>(nazwa); }
    QTimer *zegar() { return element<QTimer>("zegar"); }
    quint16 port() { return quint16(pole("polePortu")->value()); }

    QStringList linie(QTextBrowser *panel)
    {
        // Lines logged but not yet laid out in the pane.
        QCoreApplication::sendPostedEvents(&okno, QEvent::MetaCall);
        const QString tekst = panel->toPlainText();
        return tekst.isEmpty() ? QStringList() : tekst.split(QLatin1Char('\n'));
    }
    QStringList linieSerwera() { return linie(element<QTextBrowser>("oknoSerwera")); }
    QStringList linieSynchronizacji() { return linie(element<QTextBrowser>("oknoSynchronizacji")); }
    QString ostatniaSerwera() { return linieSerwera().value(linieSerwera().size() - 1); }

    // What the operator can use now: the controls enabled, in the window's
    // order, and "wartoscIp" while the server's address shows.
    QString czynne()
    {
        QStringList nazwy;
        for (const char *nazwa : {"przyciskRozpocznij", "przyciskZatrzymaj", "przyciskSynch",
                                  "przyciskSynchTeraz", "polePortu"})
            if (element(nazwa)->isEnabled())
                nazwy << QLatin1String(nazwa);
        if (etykieta("wartoscIp")->isVisibleTo(&okno))
            nazwy << QStringLiteral("wartoscIp");
        return nazwy.join(QLatin1Char(' '));
    }

    void kliknij(const char *nazwa) { QTest::mouseClick(przycisk(nazwa), Qt::LeftButton); }

    // The window shown and active, as the operator has it; false on the
    // loop of the programs without a window, which has no window system.
    [[nodiscard]] bool aktywne()
    {
        if (naPetliEpoll())
            return false;
        okno.show();
        okno.activateWindow();
        return QTest::qWaitForWindowActive(&okno);
    }
    // The window's tick, run `ile` times; false if the slot could not be run.
    [[nodiscard]] bool tyknij(int ile = 1)
    {
        for (int i = 0; i < ile; ++i)
            if (!QMetaObject::invokeMethod(&okno, "uplywCzasu"))
                return false;
        return true;
    }

    KlientTestowy *dolacz(int przesuniecieS = 0, bool odpowiada = true,
                          const QHostAddress &zrodlo = QHostAddress())
    {
        const int przed = linieSerwera().size();
        klienci.push_back(
            std::make_unique<KlientTestowy>(port(), przesuniecieS, odpowiada, zrodlo));
        if (!QTest::qWaitFor([&] { return linieSerwera().size() > przed; }))
            return nullptr;
        return klienci.back().get();
    }

#ifdef KLIENT_SCIEZKA
    // The client program, as a process, pointed at this server.
    bool uruchomKlienta(QProcess &proces, const QStringList &argumenty)
    {
        proces.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proces.start(QStringLiteral(KLIENT_SCIEZKA),
                     QStringList {QStringLiteral("--port"), QString::number(port())} + argumenty);
        return proces.waitForStarted(5000);
    }
#endif

    // Declared after the window, the clients are destroyed before it.
    Serwer okno;
    QWidget zastepcze; // parent of the stand-ins for missing children
    std::vector<std::unique_ptr<KlientTestowy>> klienci;
};

// QTEST_MAIN, on the event loop the environment names (SERWER_PETLA=epoll:
// the one of the programs without a window), so that the suite runs on it
// as well as on Qt's own.
#define TEST_SERWERA(Klasa)                                                                        \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        zainstalujPetleEpoll(false);                                                               \
        QApplication aplikacja(argc, argv);                                                        \
        Klasa test;                                                                                \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }

#endif // STANOWISKO_H
