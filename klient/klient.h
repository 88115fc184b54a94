#ifndef KLIENT_H
#define KLIENT_H

#include "app/waga.h"
#include "sync/termin.h"
#include "zegarKlienta.h"

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <memory>

// One client: a connection to the server and a clock of its own. It answers
// every request with its clock, gives its clock the agreed time of each
// exchange it answered in, and while the server cannot be reached, or
// refuses it, tries again less and less often.
class Klient : public QObject
{
    Q_OBJECT

public:
    // How long after its answer an agreed time is still taken.
    static constexpr qint64 wynikNajpozniejMs = 30'000;
    // What the client holds of the server's bytes at most, and how many
    // frames it reads in a second at most.
    static constexpr qint64 buforOdczytu = 16 * 1024;
    static constexpr int ramekNaSekunde = 1000;
    // Closed sooner than this after it was made, and with no frame, a
    // connection was refused; closed sooner, frame or not, it did not last,
    // and the next attempt waits longer still.
    static constexpr qint64 odmowaDoMs = 2000;
    // From a second up to five minutes between attempts.
    static constexpr qint64 ponowienieOdMs = 1000;
    static constexpr qint64 ponowienieDoMs = 300'000;
    // A server that keeps the connection and sends no request (its process
    // stopped or hung) is left, and connected to again, after this many of
    // its periods without one, learned from the requests it sent; never
    // sooner than the first bound, never later than the second (three of the
    // longest period a server allows). A test shortens them.
    static constexpr int okresowCiszy = 3;
    struct GraniceCiszy
    {
        qint64 najkrocejMs = 60'000;
        qint64 najdluzejMs = okresowCiszy * 500'000;
    };
    void ustawGraniceCiszy(GraniceCiszy granice) { graniceCiszy = granice; }

    Klient(int numer, const QString &hostSerwera, quint16 portSerwera,
           std::unique_ptr<ZegarKlienta> zegarKlienta, QObject *parent = nullptr);
    ~Klient() override;

    void polacz();
    QTime czas() const;
    // The monotonic clock the bounds of time are read on (a test sets its own).
    std::function<qint64()> teraz = monotonicznyMs;

signals:
    void zdarzenie(const QString &opis);
    // The connection came, went, or cannot be made: said once per change.
    void zmianaStanu(const QString &opis, usluga::Waga waga);
    void polaczono();
    void rozlaczono();
    // A request answered: the time it carried, and how far this clock was
    // ahead of the server's, in ms.
    void odpowiedziano(QTime zadanie, qint64 przesuniecieMs);
    void ustawiono();
    // Any frame received, as it arrives.
    void odebrano(qint32 kod, QTime czas);
    // What the client is doing, in a few words, whenever that changes: a
    // service's status (waiting for a server, or in step with one).
    void stan(const QString &opis);

private:
    void czytaj();
    void odpowiedz();
    void obsluz(qint32 kod, QTime czasRamki);
    void poZmianieStanu(QAbstractSocket::SocketState nowy);
    void potwierdz();
    void przetrwal();
    qint64 nastepnaProba();
    void zadanieNadeszlo();
    qint64 granicaCiszyMs() const;
    void serwerMilczy();
    void zglos(const QString &tresc);
    QString opis(const QString &tresc) const;

    QTcpSocket gniazdo;
    QTimer ponowienie;
    QTimer wstrzymany; // reading waits for the next second
    qint64 sekundaRamek = -1;
    int ramekWSekundzie = 0;
    std::unique_ptr<ZegarKlienta> zegar;
    QString host;
    quint16 port;
    int nr;
    quint16 rozmiarBloku = 0;
    quint16 doPominiecia = 0;
    // An agreed time counts once, as the answer to the exchange this client
    // took part in: after its answer to a request, and not long after.
    bool czekaNaWynik = false;
    // The latest request not answered yet.
    QTime zadanie;
    bool czekaZadanie = false;
    qint64 odpowiedzianoMs = 0;
    bool bylPolaczony = false; // the connection has lasted, or brought a frame
    QTimer potwierdzenie; // when the connection will have lasted
    qint64 opoznienieMs = 0; // of the next attempt, before its jitter
    QString zgloszonyStan; // the failure last said, and when
    qint64 zgloszonoMs = 0;
    // The server's silence: when its last request came, the gaps between
    // its last few, and whether the connection was left for want of them.
    GraniceCiszy graniceCiszy;
    QTimer cisza;
    qint64 zadanieOdebranoMs = -1;
    QList<qint64> odstepyZadan;
    bool milczy = false;
};

#endif // KLIENT_H
