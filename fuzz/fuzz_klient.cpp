// libFuzzer target: what any server may send to a client that keeps this
// machine's clock. A client (`Klient` with `ZegarMaszyny`, its default
// policy) connects over loopback to a server played by the input, on a fake
// system clock whose monotonic time the input advances. Whatever comes, the
// clock is stepped only at the start and within the largest correction,
// slewed no more than the system's rate allows in any hour, changed at most
// once in 5 s, and every frame the client sends is a whole answer.
//
// Input: operations, each a byte and its arguments: time passes (1 byte),
// raw bytes (a length byte, then the bytes), a request, an exchange (a
// request and an agreed time off the clock by a signed amount: 3 bytes), a
// stop notice, the system refusing changes from now on or no longer.

#include "klient.h"
#include "korekta.h"
#include "sync/ramka.h"
#include "zegarSystemowy.h"

#include <QAbstractEventDispatcher>
#include <QBuffer>
#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>

namespace {

void sprawdz(bool warunek)
{
    if (!warunek)
        std::abort();
}

constexpr qint64 godzinaMs = 3'600'000;

// The system clock as the client sees it, keeping the changes it is asked
// for: a slew runs at the system's rate and a new one takes the place of the
// one under way, which gives back what it has not made.
class ZegarFuzz : public ZegarSystemowy
{
public:
    QTime czas() const override
    {
        return QTime(12, 0).addMSecs(
            int((monotonicznie + przestawiono + zrobionePlynnie()) % 86'400'000));
    }
    int przesun(qint64 ms, qint64 &pozostalo) override
    {
        const qint64 zrobiono = zrobionePlynnie();
        pozostalo = plynnie - zrobiono;
        if (odmowa)
            return EPERM;
        sprawdz(przyjeteOdstep());
        sprawdz(std::abs(ms) <= plynnieNaGodzineMs);
        przestawiono += zrobiono;
        if (!plynne.empty())
            plynne.back().second = std::abs(zrobiono);
        plynnie = ms;
        plynnieOd = monotonicznie;
        // What was asked within the hour, the cut short slews at what they
        // made, is what the hour allows at most.
        plynne.emplace_back(monotonicznie, std::abs(ms));
        while (monotonicznie - plynne.front().first >= godzinaMs)
            plynne.pop_front();
        qint64 suma = 0;
        for (const auto &zmiana : plynne)
            suma += zmiana.second;
        sprawdz(suma <= plynnieNaGodzineMs);
        return 0;
    }
    int przestaw(qint64 ms) override
    {
        if (odmowa)
            return EPERM;
        sprawdz(przyjeteOdstep());
        sprawdz(++skokow <= PolitykaKorekty().skokowNaStarcie);
        sprawdz(std::abs(ms) <= PolitykaKorekty().maksKorektaMs);
        przestawiono += ms + zrobionePlynnie();
        if (!plynne.empty())
            plynne.back().second = std::abs(zrobionePlynnie());
        plynnie = 0;
        return 0;
    }
    qint64 monotonicznyMs() const override { return monotonicznie; }
    QByteArray rozruch() const override { return "fuzz"; }
    QString opisBledu(int) const override { return QStringLiteral("odmowa"); }

    qint64 monotonicznie = 1'000'000;
    bool odmowa = false;

private:
    qint64 zrobionePlynnie() const
    {
        const qint64 mozna = (monotonicznie - plynnieOd) * plynnieNaMilion / 1'000'000;
        return plynnie < 0 ? -qMin(-plynnie, mozna) : qMin(plynnie, mozna);
    }
    // An agreed time is taken at most every 5 s.
    bool przyjeteOdstep()
    {
        const bool dosc
            = ostatnia < 0 || monotonicznie - ostatnia >= PolitykaKorekty::najkrotszyOdstepMs;
        ostatnia = monotonicznie;
        return dosc;
    }
    qint64 przestawiono = 0;
    qint64 plynnie = 0;
    qint64 plynnieOd = 0;
    qint64 ostatnia = -1;
    int skokow = 0;
    std::deque<std::pair<qint64, qint64>> plynne; // when, how much
};

QTcpServer *serwer = nullptr;

// Loopback has delivered what was written before this is called: the
// client has read it, and answered, once nothing is left to do.
void doSpokoju()
{
    QAbstractEventDispatcher *petla = QAbstractEventDispatcher::instance();
    for (int i = 0; i < 100 && petla->processEvents(QEventLoop::AllEvents); ++i) {
    }
}

// Every frame the client has sent is an answer with its clock.
void sprawdzOdpowiedzi(QTcpSocket &gniazdo, QByteArray &zalegle)
{
    zalegle += gniazdo.readAll();
    const qsizetype cale = zalegle.size() / ramka::dlugoscRamki * ramka::dlugoscRamki;
    QBuffer bufor;
    bufor.setData(zalegle.left(cale));
    bufor.open(QIODevice::ReadOnly);
    quint16 rozmiar = 0, pominac = 0;
    qint32 kod = 0;
    QTime czas;
    while (!bufor.atEnd()) {
        sprawdz(czytajRamke(bufor, rozmiar, pominac, kod, czas) == Odczyt::Ramka);
        sprawdz(kod == ramka::kodZadania && czas.isValid());
    }
    zalegle.remove(0, cale);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Qt's own loop, as the client runs on, not GLib's.
    qputenv("QT_NO_GLIB", "1");
    static QCoreApplication aplikacja(*argc, *argv);
    serwer = new QTcpServer(&aplikacja);
    sprawdz(serwer->listen(QHostAddress::LocalHost, 0));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *dane, size_t rozmiar)
{
    ZegarFuzz systemowy;
    bool poddalSie = false;
    Klient klient(1, QStringLiteral("127.0.0.1"), serwer->serverPort(),
                  std::make_unique<ZegarMaszyny>(
                      systemowy, PolitykaKorekty(), [](const QString &, usluga::Waga) {}, QString(),
                      [&poddalSie] { poddalSie = true; }));
    klient.teraz = [&systemowy] {
        return systemowy.monotonicznyMs();
    };
    klient.polacz();
    sprawdz(serwer->waitForNewConnection(5000));
    std::unique_ptr<QTcpSocket> gniazdo(serwer->nextPendingConnection());
    // As the server sends: a frame at once, not after the last is acknowledged.
    gniazdo->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    doSpokoju();

    QByteArray odpowiedzi;
    // Below the client's limit of frames a second, which follows the real
    // clock, so that every input reads whole.
    int ramek = 0;
    const auto wyslij = [&](const QByteArray &bajty) {
        ramek += int(bajty.size() / ramka::dlugoscRamki) + 1;
        gniazdo->write(bajty);
        gniazdo->waitForBytesWritten(1000);
        doSpokoju();
        sprawdzOdpowiedzi(*gniazdo, odpowiedzi);
    };
    for (size_t i = 0; i < rozmiar && !poddalSie && ramek < Klient::ramekNaSekunde / 2;) {
        switch (dane[i++] % 6) {
        case 0: // time passes: up to 12.7 s in tenths, or up to 127 minutes
            if (i < rozmiar) {
                const uint8_t b = dane[i++];
                systemowy.monotonicznie += b < 128 ? b * 100 : (b - 128) * 60'000;
            }
            break;
        case 1: { // raw bytes
            size_t n = 0;
            if (i < rozmiar) {
                n = dane[i++] % 32;
                n = qMin(n, rozmiar - i);
            }
            wyslij(QByteArray(reinterpret_cast<const char *>(dane + i), qsizetype(n)));
            i += n;
            break;
        }
        case 2:
            wyslij(zbudujRamke(ramka::kodZadania, systemowy.czas()));
            break;
        case 3: // an exchange: a request, its agreed time ms, seconds or minutes off the
                // clock, and the shortest period passes
            if (i + 3 <= rozmiar) {
                const qint64 ile = qint16(dane[i] << 8 | dane[i + 1]);
                const qint64 skala[] = {1, 1000, 60'000, 1};
                const qint64 przesuniecie = ile * skala[dane[i + 2] % 4];
                i += 3;
                wyslij(zbudujRamke(ramka::kodZadania, systemowy.czas()));
                wyslij(zbudujRamke(ramka::kodWyniku, systemowy.czas().addMSecs(int(przesuniecie))));
                systemowy.monotonicznie += 10'000;
            }
            break;
        case 4:
            wyslij(zbudujRamke(ramka::kodStopu, QTime()));
            break;
        case 5:
            systemowy.odmowa = !systemowy.odmowa;
            break;
        }
    }
    gniazdo->abort();
    doSpokoju();
    return 0;
}
