#include "network/podtrzymanie.h"
#include "window/dziennik.h"
#include "window/serwer.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTextBrowser>

namespace {
// Room for the longest frame a peer can announce, and no more: what a peer
// sends beyond that waits in the system's buffers, not in ours.
constexpr qint64 buforKlienta = 128 * 1024;

// Connections taken in one pass of the event loop. The server takes every
// connection the system has queued at once, thousands in a storm; the rest
// wait in the system's queue until the next pass.
constexpr int przyjetychNaRaz = 500;
} // namespace

void Serwer::ograniczPrzyjmowanie()
{
    if (przyjetychWPrzebiegu++ == 0)
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (przyjetychWPrzebiegu > przyjetychNaRaz) {
                    serwerTcp->setMaxPendingConnections(domyslnieOczekujacych);
                    if (serwerTcp->isListening())
                        serwerTcp->resumeAccepting();
                }
                przyjetychWPrzebiegu = 0;
            },
            Qt::QueuedConnection);
    // With no room for one more pending connection, the server stops taking
    // them after this one, and waits to be resumed.
    if (przyjetychWPrzebiegu == przyjetychNaRaz + 1)
        serwerTcp->setMaxPendingConnections(0);
}

void Serwer::dodajKlienta()
{
    QTcpSocket *gniazdo = serwerTcp->nextPendingConnection();
    if (!gniazdo)
        return;
    ograniczPrzyjmowanie();
    gniazdo->setReadBufferSize(buforKlienta);
    // Every frame carries a clock: send it now, not when the peer's delayed
    // acknowledgement of the previous one arrives.
    gniazdo->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    wlaczPodtrzymanie(*gniazdo);
    klienci->append(gniazdo);
    polaczenia[gniazdo].indeks = klienci->size() - 1;
    rozmiaryBlokow->append(0);
    dopisz(oknoSerwera,
           zeZnacznikiem(czasSerwera,
                         QStringLiteral(" - Rozpoczęto połączenie z klientem o adresie: ")
                             + opisKlienta(*gniazdo)));

    // Order matters: the registry forgets the socket before its deletion is
    // requested. Each connection hands its socket over, so that no slot has
    // to look for the sender among thousands.
    connect(gniazdo, &QTcpSocket::disconnected, this, [this, gniazdo] { wyrejestruj(gniazdo); });
    connect(gniazdo, &QTcpSocket::disconnected, gniazdo, &QObject::deleteLater);
    connect(gniazdo, &QTcpSocket::readyRead, this, [this, gniazdo] { czytajOd(gniazdo); });
}

void Serwer::usunKlienta()
{
    if (auto *gniazdo = qobject_cast<QTcpSocket *>(sender()))
        wyrejestruj(gniazdo);
}

void Serwer::wyrejestruj(QTcpSocket *gniazdo)
{
    if (serwerDziala == 1)
        dopisz(oknoSerwera,
               zeZnacznikiem(czasSerwera,
                             QStringLiteral(" - Zakończono połączenie z klientem o adresie: ")
                                 + opisKlienta(*gniazdo)));

    const auto i = indeksKlienta(gniazdo);
    // Its pointer may come back for a later connection, which was asked
    // nothing.
    polaczenia.remove(gniazdo);
    if (i < 0)
        return;
    klienci->removeAt(i);
    if (i < rozmiaryBlokow->size())
        rozmiaryBlokow->removeAt(i);
}

qsizetype Serwer::indeksKlienta(QTcpSocket *gniazdo)
{
    const auto polaczenie = polaczenia.find(gniazdo);
    if (polaczenie == polaczenia.end())
        return -1;
    auto i = qMin(polaczenie->indeks, klienci->size() - 1);
    while (i >= 0 && klienci->at(i) != gniazdo)
        --i;
    polaczenie->indeks = i;
    return i;
}
