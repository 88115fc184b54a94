#include "network/podtrzymanie.h"
#include "sync/termin.h"
#include "window/dziennik.h"
#include "window/serwer.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTextBrowser>
#include <QTimer>

#include <limits>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {
// What the server holds of a client's bytes: a frame is read as it comes
// and its surplus discarded, so a little is plenty; what a peer sends beyond
// that waits in the system's buffers, not in ours.
constexpr qint64 buforKlienta = 4 * 1024;

// Connections taken in one pass of the event loop, at most, and for at most
// so long. The server takes every connection the system has queued at once,
// thousands in a storm; the rest wait in the system's queue until the next
// pass. Where a connection costs more (Wine: every socket call goes through
// its server), the time runs out first.
constexpr int przyjetychNaRaz = 500;
constexpr qint64 przyjmowanieNaRazMs = 50;

// Descriptors kept for everything but the clients: the listening socket,
// log files, the window system, Qt's threads. A process with none left
// cannot even start a thread, and Qt gives up.
constexpr qint64 rezerwaDeskryptorow = 64;

// When the process has no descriptor (or memory) for a new connection.
constexpr int przerwaPrzyjmowaniaMs = 100;
constexpr qint64 brakZasobowCoMs = 60'000; // said at most this often
} // namespace

qsizetype Serwer::maksKlientowWProcesie()
{
    const qint64 limit = ZapasDeskryptora::limit();
    return limit < 0 ? std::numeric_limits<qsizetype>::max()
                     : qsizetype(qMax<qint64>(1, limit - rezerwaDeskryptorow));
}

void Serwer::ograniczPrzyjmowanie()
{
    if (przyjetychWPrzebiegu++ == 0) {
        przyjmowanieOdMs = monotonicznyMs();
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
    }
    // With no room for one more pending connection, the server stops taking
    // them after this one, and waits to be resumed.
    if (przyjetychWPrzebiegu <= przyjetychNaRaz
        && (przyjetychWPrzebiegu == przyjetychNaRaz
            || monotonicznyMs() - przyjmowanieOdMs >= przyjmowanieNaRazMs)) {
        przyjetychWPrzebiegu = przyjetychNaRaz + 1;
        serwerTcp->setMaxPendingConnections(0);
    }
}

// A failed accept stops the server taking connections. Out of descriptors
// or memory, it refuses those that wait, so they do not hang, and tries again
// a moment later, serving the clients it has meanwhile; otherwise at once.
void Serwer::bladPrzyjmowania(QAbstractSocket::SocketError blad)
{
    if (blad != QAbstractSocket::SocketResourceError) {
        if (serwerTcp->isListening())
            serwerTcp->resumeAccepting();
        return;
    }
    odrzuconychBezZasobow += zapas.odrzucOczekujace(serwerTcp->socketDescriptor());
    const qint64 teraz = monotonicznyMs();
    if (brakZasobowPowiedzianyMs == 0 || teraz - brakZasobowPowiedzianyMs >= brakZasobowCoMs) {
        brakZasobowPowiedzianyMs = teraz;
        dopisz(oknoSerwera,
               zeZnacznikiem(czasSerwera,
                             QStringLiteral(" - Brak zasobów na nowe połączenie (%1): odrzucono "
                                            "%2 czekających, przyjmowanie ponawiane co %3 ms")
                                 .arg(serwerTcp->errorString())
                                 .arg(odrzuconychBezZasobow)
                                 .arg(przerwaPrzyjmowaniaMs)),
               usluga::Ostrzezenie);
        odrzuconychBezZasobow = 0;
    }
    QTimer::singleShot(przerwaPrzyjmowaniaMs, this, [this] {
        if (serwerTcp->isListening())
            serwerTcp->resumeAccepting();
    });
}

void Serwer::dodajKlienta()
{
    QTcpSocket *gniazdo = serwerTcp->nextPendingConnection();
    if (!gniazdo)
        return;
    ograniczPrzyjmowanie();
    // Reset before it was taken in: it has no address any more, and nothing
    // to say about it but that it came.
    if (gniazdo->state() != QAbstractSocket::ConnectedState || gniazdo->peerAddress().isNull()) {
        ++zerwanePrzedPrzyjeciem;
        gniazdo->abort();
        gniazdo->deleteLater();
        return;
    }
    const quint32 adres = gniazdo->peerAddress().toIPv4Address();
    const quint16 port = gniazdo->peerPort();
    const Dostep::Decyzja decyzja = dostep.sprawdz(adres);
    QString powod;
    if (decyzja == Dostep::Decyzja::SpozaSieci)
        powod = QStringLiteral("spoza --dozwolone");
    else if (decyzja == Dostep::Decyzja::PonadLimit)
        powod = QStringLiteral("za wiele połączeń z tego adresu, --maks-z-adresu");
    else if (klienci->size() >= maksKlientow)
        powod = QStringLiteral("brak wolnych deskryptorów na więcej niż %1 połączeń")
                    .arg(maksKlientow);
    if (!powod.isEmpty()) {
        dopiszOAdresie(adres, oknoSerwera,
                       zeZnacznikiem(czasSerwera,
                                     QStringLiteral(" - Odrzucono połączenie z adresu: ")
                                         + opisAdresu(adres, port) + QStringLiteral(" (") + powod
                                         + QLatin1Char(')')),
                       usluga::Ostrzezenie, RodzajLinii::Odmowa);
        gniazdo->abort();
        gniazdo->deleteLater();
        return;
    }

    gniazdo->setReadBufferSize(buforKlienta);
    // Every frame carries a clock: send it now, not when the peer's delayed
    // acknowledgement of the previous one arrives.
    gniazdo->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    wlaczPodtrzymanie(*gniazdo);
    klienci->append(gniazdo);
    Polaczenie &polaczenie = polaczenia[gniazdo];
    polaczenie.indeks = klienci->size() - 1;
    polaczenie.adres = adres;
    polaczenie.port = port;
    polaczenie.od = czasSerwera;
    zmianaKlientow();
    rozmiaryBlokow->append(0);
    najwiecejKlientow = qMax(najwiecejKlientow, klienci->size());
    dostep.dodaj(adres);
    dopiszOAdresie(adres, oknoSerwera,
                   zeZnacznikiem(czasSerwera,
                                 QStringLiteral(" - Rozpoczęto połączenie z klientem o adresie: ")
                                     + opisAdresu(adres, port)),
                   usluga::Informacja);

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
    const auto i = indeksKlienta(gniazdo);
    const auto polaczenie = polaczenia.constFind(gniazdo);
    if (polaczenie == polaczenia.cend())
        return;
    const quint32 adres = polaczenie->adres;
    const quint16 port = polaczenie->port;
    // Its pointer may come back for a later connection, which was asked
    // nothing.
    polaczenia.erase(polaczenie);
    ramkiWToku.remove(gniazdo);
    zmianaKlientow();
    dostep.usun(adres);
    if (i >= 0) {
        klienci->removeAt(i);
        if (i < rozmiaryBlokow->size())
            rozmiaryBlokow->removeAt(i);
    }
    if (serwerDziala == 1)
        dopiszOAdresie(adres, oknoSerwera,
                       zeZnacznikiem(czasSerwera,
                                     QStringLiteral(" - Zakończono połączenie z klientem o "
                                                    "adresie: ")
                                         + opisAdresu(adres, port)),
                       usluga::Informacja);
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

// Once many connections have gone (a flood, a storm), the memory they held
// goes back to the system: the allocator keeps freed memory for itself.
void Serwer::oddajPamiec()
{
    constexpr qsizetype odeszloWiele = 1000;
    if (najwiecejKlientow - klienci->size() < odeszloWiele)
        return;
    najwiecejKlientow = klienci->size();
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// A connection that has held a frame unfinished for long is cut off: each
// holds memory and a descriptor, and a peer could open thousands.
void Serwer::pilnujRamek()
{
    const qint64 teraz = monotonicznyMs();
    QList<QTcpSocket *> przeterminowane;
    for (auto it = ramkiWToku.begin(); it != ramkiWToku.end();) {
        const auto polaczenie = polaczenia.constFind(*it);
        if (polaczenie == polaczenia.cend() || polaczenie->ramkaOdMs == 0) {
            it = ramkiWToku.erase(it);
            continue;
        }
        if (teraz - polaczenie->ramkaOdMs > ramkaNajdluzejMs) {
            przeterminowane.append(*it);
            dopiszOAdresie(polaczenie->adres, oknoSerwera,
                           zeZnacznikiem(czasSerwera,
                                         QStringLiteral(" - Przerwano połączenie z klientem o "
                                                        "adresie: ")
                                             + opisAdresu(polaczenie->adres, polaczenie->port)
                                             + QStringLiteral(": ramka niedokończona od %1 s")
                                                   .arg(double(ramkaNajdluzejMs) / 1000)),
                           usluga::Ostrzezenie, RodzajLinii::Odmowa);
            it = ramkiWToku.erase(it);
            continue;
        }
        ++it;
    }
    for (QTcpSocket *gniazdo : std::as_const(przeterminowane))
        gniazdo->abort();
}
