#include "klient.h"

#include "sync/doba.h"
#include "sync/ramka.h"

Klient::Klient(int numer, const QString &host, quint16 port, std::unique_ptr<ZegarKlienta> zegar,
               QObject *parent)
    : QObject(parent)
    , zegar(std::move(zegar))
    , host(host)
    , port(port)
    , nr(numer)
{
    ponowienie.setSingleShot(true);
    ponowienie.setInterval(1000);
    connect(&ponowienie, &QTimer::timeout, this, &Klient::polacz);
    connect(&gniazdo, &QTcpSocket::readyRead, this, &Klient::czytaj);
    connect(&gniazdo, &QTcpSocket::stateChanged, this, &Klient::poZmianieStanu);
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
    czekaNaWynik = false;
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

void Klient::poZmianieStanu(QAbstractSocket::SocketState stan)
{
    if (stan == QAbstractSocket::ConnectedState) {
        // A reply carries this clock; it must not wait for an acknowledgement.
        gniazdo.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        bylPolaczony = true;
        zgloszonoNiedostepnosc = false;
        emit zmianaStanu(opis(QStringLiteral("połączono z %1:%2").arg(host).arg(port)));
        emit polaczono();
    } else if (stan == QAbstractSocket::UnconnectedState) {
        if (bylPolaczony) {
            bylPolaczony = false;
            emit zmianaStanu(opis(QStringLiteral("rozłączono, ponawiam co sekundę")));
            emit rozlaczono();
        } else if (!zgloszonoNiedostepnosc) {
            zgloszonoNiedostepnosc = true;
            emit zmianaStanu(opis(QStringLiteral("serwer niedostępny (%1), ponawiam co sekundę")
                                      .arg(powod(gniazdo))));
        }
        ponowienie.start();
    }
}

void Klient::czytaj()
{
    qint32 kod = 0;
    QTime czasRamki;
    for (;;) {
        switch (czytajRamke(gniazdo, rozmiarBloku, doPominiecia, kod, czasRamki)) {
        case Odczyt::Niepelna:
            return;
        case Odczyt::Pominieta:
            zglos(QStringLiteral("za krótka ramka, pomijam"));
            break;
        case Odczyt::Ramka:
            obsluz(kod, czasRamki);
            break;
        }
    }
}

void Klient::obsluz(qint32 kod, QTime czasRamki)
{
    emit odebrano(kod, czasRamki);
    const QString pokazany = czasRamki.isValid()
        ? czasRamki.toString(QStringLiteral("HH:mm:ss.zzz"))
        : QStringLiteral("brak czasu");
    switch (kod) {
    case ramka::kodZadania: {
        const QTime moj = czas();
        gniazdo.write(zbudujRamke(ramka::kodZadania, moj));
        zglos(QStringLiteral("żądanie serwera (%1), odpowiadam").arg(pokazany));
        czekaNaWynik = true;
        odOdpowiedzi.start();
        if (czasRamki.isValid())
            emit odpowiedziano(czasRamki, roznicaMs(moj, czasRamki));
        break;
    }
    case ramka::kodWyniku:
        if (!czekaNaWynik || odOdpowiedzi.elapsed() > wynikNajpozniejMs) {
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
        emit ustawiono();
        break;
    case ramka::kodStopu:
        czekaNaWynik = false;
        zglos(QStringLiteral("serwer zatrzymany, pozostaję połączony"));
        break;
    default:
        zglos(QStringLiteral("nieznany kod %1, pomijam").arg(kod));
        break;
    }
}
