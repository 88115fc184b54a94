#include "klient.h"

#include "network/podtrzymanie.h"
#include "sync/doba.h"
#include "sync/ramka.h"
#include "sync/termin.h"

#include <QRandomGenerator>

#include <algorithm>
#include <utility>

Klient::Klient(int numer, const QString &hostSerwera, quint16 portSerwera,
               std::unique_ptr<ZegarKlienta> zegarKlienta, QObject *parent)
    : QObject(parent)
    , zegar(std::move(zegarKlienta))
    , host(hostSerwera)
    , port(portSerwera)
    , nr(numer)
{
    // What a server sends faster than it is read waits in the system's
    // buffers, which make it wait in turn, not in this program's memory.
    gniazdo.setReadBufferSize(buforOdczytu);
    ponowienie.setSingleShot(true);
    connect(&ponowienie, &QTimer::timeout, this, &Klient::polacz);
    potwierdzenie.setSingleShot(true);
    potwierdzenie.setInterval(int(odmowaDoMs));
    connect(&potwierdzenie, &QTimer::timeout, this, &Klient::przetrwal);
    connect(&gniazdo, &QTcpSocket::readyRead, this, &Klient::czytaj);
    connect(&gniazdo, &QTcpSocket::bytesWritten, this, &Klient::odpowiedz);
    wstrzymany.setSingleShot(true);
    connect(&wstrzymany, &QTimer::timeout, this, &Klient::czytaj);
    connect(&gniazdo, &QTcpSocket::stateChanged, this, &Klient::poZmianieStanu);
    cisza.setSingleShot(true);
    connect(&cisza, &QTimer::timeout, this, &Klient::serwerMilczy);
}

Klient::~Klient()
{
    // The socket closes as it is destroyed, after the timer; its last state
    // change must not come back here.
    gniazdo.disconnect(this);
}

void Klient::polacz()
{
    rozmiarBloku = doPominiecia = 0;
    czekaNaWynik = czekaZadanie = false;
    gniazdo.connectToHost(host, port);
}

QTime Klient::czas() const
{
    return zegar->czas();
}

QString Klient::opis(const QString &tresc) const
{
    return QStringLiteral("klient %1 [%2]: %3")
        .arg(nr)
        .arg(czas().toString(QStringLiteral("HH:mm:ss.zzz")), tresc);
}

void Klient::zglos(const QString &tresc)
{
    emit zdarzenie(opis(tresc));
}

namespace {
// Why a connection failed, in the operator's words where the cause is a
// common one.
QString powod(const QTcpSocket &gniazdo)
{
    switch (gniazdo.error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("połączenie odrzucone");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("nie znaleziono takiego adresu");
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("upłynął czas oczekiwania");
    case QAbstractSocket::NetworkError:
        return QStringLiteral("sieć niedostępna");
    default:
        return gniazdo.errorString();
    }
}
} // namespace

void Klient::poZmianieStanu(QAbstractSocket::SocketState nowy)
{
    if (nowy == QAbstractSocket::ConnectedState) {
        // A reply carries this clock; it must not wait for an acknowledgement.
        gniazdo.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // The client only answers: a server whose machine lost its power
        // would never be heard of again without probes.
        wlaczPodtrzymanie(gniazdo);
        potwierdzenie.start();
        cisza.start(int(granicaCiszyMs()));
    } else if (nowy == QAbstractSocket::UnconnectedState) {
        potwierdzenie.stop();
        cisza.stop();
        zadanieOdebranoMs = -1; // the gap to the next request is not the server's period
        QString stanTeraz;
        if (milczy) {
            // Said once however often a silent server takes the connection
            // again (a stopped process's system still does).
            stanTeraz = QStringLiteral("serwer milczy: żadnego żądania od %1 s, choć połączenie "
                                       "trwa (proces serwera zatrzymany lub zawieszony), "
                                       "rozłączam")
                            .arg(double(granicaCiszyMs()) / 1000);
            if (std::exchange(bylPolaczony, false))
                emit rozlaczono();
        } else if (bylPolaczony) {
            bylPolaczony = false;
            emit rozlaczono();
            stanTeraz = QStringLiteral("rozłączono");
        } else if (gniazdo.error() == QAbstractSocket::RemoteHostClosedError) {
            // Closed at once, before it said a word: refused, for a reason
            // only the server's log names.
            stanTeraz = QStringLiteral("serwer odmówił połączenia, zamykając je od razu (adres "
                                       "spoza jego --dozwolone, za wiele połączeń z tego adresu "
                                       "albo brak miejsca na serwerze; powód jest w jego "
                                       "dzienniku)");
        } else {
            stanTeraz = QStringLiteral("serwer niedostępny (%1)").arg(powod(gniazdo));
        }
        const qint64 zaMs = nastepnaProba();
        emit stan(QStringLiteral("czekam na serwer: %1").arg(stanTeraz));
        // A line per change, and while nothing changes one an hour.
        const qint64 terazMs = monotonicznyMs();
        if (stanTeraz != zgloszonyStan || terazMs - zgloszonoMs >= 3'600'000) {
            zgloszonyStan = stanTeraz;
            zgloszonoMs = terazMs;
            emit zmianaStanu(opis(QStringLiteral("%1, ponawiam za %2 s")
                                      .arg(stanTeraz)
                                      .arg(double(zaMs) / 1000, 0, 'f', 1)),
                             usluga::Ostrzezenie);
        }
        ponowienie.start(int(zaMs));
    }
}

// A connection that has lasted, or brought a frame, is one.
void Klient::potwierdz()
{
    if (bylPolaczony || gniazdo.state() != QAbstractSocket::ConnectedState)
        return;
    bylPolaczony = true;
    // Connected again to a server that is still silent, nothing has changed.
    if (!milczy) {
        zgloszonyStan.clear();
        emit zmianaStanu(opis(QStringLiteral("połączono z %1:%2").arg(host).arg(port)),
                         usluga::Informacja);
        emit stan(
            QStringLiteral("połączono z %1:%2, czekam na żądanie serwera").arg(host).arg(port));
    }
    emit polaczono();
}

// A request: the server is there, and its period is what the gaps between
// requests tell.
void Klient::zadanieNadeszlo()
{
    const qint64 terazMs = monotonicznyMs();
    if (zadanieOdebranoMs >= 0) {
        odstepyZadan.append(terazMs - zadanieOdebranoMs);
        if (odstepyZadan.size() > 5)
            odstepyZadan.removeFirst();
    }
    zadanieOdebranoMs = terazMs;
    cisza.start(int(granicaCiszyMs()));
}

// The longest of the last few gaps, as an exchange started by hand comes
// sooner than the period, never later; before any is known, the longest a
// server allows.
qint64 Klient::granicaCiszyMs() const
{
    const qint64 okresy = odstepyZadan.isEmpty()
        ? graniceCiszy.najdluzejMs
        : okresowCiszy * *std::max_element(odstepyZadan.cbegin(), odstepyZadan.cend());
    return qBound(graniceCiszy.najkrocejMs, okresy, graniceCiszy.najdluzejMs);
}

// The connection stays, and the server asks nothing: it is left and made
// again, with the backoff, so that a server that comes back is found.
void Klient::serwerMilczy()
{
    if (gniazdo.state() != QAbstractSocket::ConnectedState)
        return;
    milczy = true;
    gniazdo.abort();
}

// Only one that has lasted starts the attempts after it at a second again: a
// server that sends a frame and closes is backed off from as one that
// refuses.
void Klient::przetrwal()
{
    opoznienieMs = 0;
    potwierdz();
}

// 1 s after the first failure, twice as long after each that follows, up to
// five minutes, a fifth more or less at random, so that many clients turned
// away together do not come back together.
qint64 Klient::nastepnaProba()
{
    opoznienieMs = qBound(ponowienieOdMs, opoznienieMs * 2, ponowienieDoMs);
    const qint64 rozrzut = opoznienieMs / 5;
    return opoznienieMs - rozrzut + qint64(QRandomGenerator::global()->bounded(2 * rozrzut + 1));
}

// Every frame that has come is read. A request is answered with the clock of
// the moment; of requests that come faster than answers go out (a flood)
// only the latest is remembered and answered once the last answer has gone,
// so that a server that never reads costs one frame of memory, not one per
// request.
void Klient::czytaj()
{
    qint32 kod = 0;
    QTime czasRamki;
    for (;;) {
        // A server sends a frame or two an exchange: of a flood no more
        // than this many a second are read, and the rest wait, which costs
        // no time, and the server's sending waits with them.
        const qint64 terazMs = monotonicznyMs();
        if (terazMs / 1000 != sekundaRamek) {
            sekundaRamek = terazMs / 1000;
            ramekWSekundzie = 0;
        }
        if (ramekWSekundzie >= ramekNaSekunde) {
            odpowiedz();
            if (!wstrzymany.isActive())
                wstrzymany.start(int(1000 - terazMs % 1000));
            return;
        }
        ++ramekWSekundzie;
        switch (czytajRamke(gniazdo, rozmiarBloku, doPominiecia, kod, czasRamki)) {
        case Odczyt::Niepelna:
            odpowiedz();
            return;
        case Odczyt::Pominieta:
            zglos(QStringLiteral("za krótka ramka, pomijam"));
            break;
        case Odczyt::Ramka:
            potwierdz();
            if (std::exchange(milczy, false)) {
                zgloszonyStan.clear();
                emit zmianaStanu(
                    opis(QStringLiteral("serwer %1:%2 znów się odzywa").arg(host).arg(port)),
                    usluga::Informacja);
            }
            if (kod == ramka::kodZadania) {
                zadanieNadeszlo();
                zadanie = czasRamki;
                czekaZadanie = true;
                break;
            }
            odpowiedz(); // what came before this frame comes first
            obsluz(kod, czasRamki);
            break;
        }
    }
}

void Klient::odpowiedz()
{
    if (!czekaZadanie || gniazdo.bytesToWrite() > 0)
        return;
    czekaZadanie = false;
    emit odebrano(ramka::kodZadania, zadanie);
    const QString pokazany = zadanie.isValid() ? zadanie.toString(QStringLiteral("HH:mm:ss.zzz"))
                                               : QStringLiteral("brak czasu");
    const QTime moj = czas();
    gniazdo.write(zbudujRamke(ramka::kodZadania, moj));
    zglos(QStringLiteral("żądanie serwera (%1), odpowiadam").arg(pokazany));
    czekaNaWynik = true;
    odpowiedzianoMs = teraz();
    if (zadanie.isValid())
        emit odpowiedziano(zadanie, roznicaMs(moj, zadanie));
}

void Klient::obsluz(qint32 kod, QTime czasRamki)
{
    emit odebrano(kod, czasRamki);
    const QString pokazany = czasRamki.isValid()
        ? czasRamki.toString(QStringLiteral("HH:mm:ss.zzz"))
        : QStringLiteral("brak czasu");
    switch (kod) {
    case ramka::kodWyniku:
        if (!czekaNaWynik || teraz() - odpowiedzianoMs > wynikNajpozniejMs) {
            zglos(QStringLiteral("czas uzgodniony %1 nie jest wynikiem wymiany, w której ten "
                                 "klient odpowiedział, pomijam")
                      .arg(pokazany));
            break;
        }
        czekaNaWynik = false;
        if (!czasRamki.isValid()) {
            zglos(QStringLiteral("czas uzgodniony bez czasu, pomijam"));
            break;
        }
        zglos((zegar->ustaw(czasRamki) ? QStringLiteral("ustawiono czas uzgodniony %1")
                                       : QStringLiteral("otrzymano czas uzgodniony %1"))
                  .arg(pokazany));
        emit stan(QStringLiteral("w zgodzie z serwerem %1:%2: ostatni czas uzgodniony %3")
                      .arg(host)
                      .arg(port)
                      .arg(pokazany));
        emit ustawiono();
        break;
    case ramka::kodStopu:
        // Stopped by its operator, the server asks nothing until it starts
        // again: that silence is not a fault.
        czekaNaWynik = false;
        cisza.stop();
        zglos(QStringLiteral("serwer zatrzymany, pozostaję połączony"));
        emit stan(QStringLiteral("czekam na serwer: %1:%2 zatrzymany przez operatora")
                      .arg(host)
                      .arg(port));
        break;
    default:
        zglos(QStringLiteral("nieznany kod %1, pomijam").arg(kod));
        break;
    }
}
