#ifndef GRUPA_H
#define GRUPA_H

#include "korekta.h"
#include "network/ogranicznik.h"
#include "opcjeKlienta.h"
#include "sync/ramka.h"
#include "zegarSystemowy.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTime>
#include <QTimer>

#include <limits>
#include <memory>
#include <vector>

class Klient;
class QDateTime;
class QRandomGenerator;

// All the clients of one run. After every exchange of simulated clients it
// prints how many answered and how far apart their clocks were before the
// exchange and right after the agreed time was applied; the client of this
// machine's clock prints its correction instead.
class Grupa : public QObject
{
    Q_OBJECT

public:
    explicit Grupa(const Ustawienia &wybrane, QObject *parent = nullptr);
    ~Grupa() override;
    void uruchom();

private:
    void przygotujZegarSystemowy();
    std::unique_ptr<ZegarKlienta> zegarMaszyny(int i);
    std::unique_ptr<ZegarKlienta> zegarSymulowany(QRandomGenerator &los, const QDateTime &chwila);
    void dodajKlienta(int i, std::unique_ptr<ZegarKlienta> zegar);
    void powiedzIluPolaczonych();
    // A line about client `klucz` (0: the group); at most a few a second of
    // each, so that a server cannot fill a disk through them. Lines `zawsze`
    // (the benchmark's, and what was left out) are never left out.
    void wypisz(const QString &linia, quint32 klucz = 0, usluga::Waga waga = usluga::Informacja);
    static constexpr quint32 zawsze = std::numeric_limits<quint32>::max();
    void podsumujPominiete();
    void poOdpowiedzi(int indeks, QTime zadanie, qint64 przesuniecieMs);
    void poUstawieniu(int indeks);
    void poRamce(qint32 kod, QTime czas);
    void podsumuj();

    Ustawienia ustawienia;
    bool wyjscieZamkniete = false;
    static constexpr int liniiNaSekunde = 10; // of each client
    OgranicznikLinii ogranicznik {liniiNaSekunde};
    QTimer podsumowanie; // of the lines left out, once a minute
    QElapsedTimer odStartu;
    std::unique_ptr<ZegarSystemowyMaszyny> systemowy;
    ZegarMaszyny *maszyna = nullptr; // the clock of the one client, when it is this machine's
    std::vector<Klient *> klienci;
    std::vector<int> wynikiKlientow; // agreed times received, per client
    int polaczonych = 0;
    int zgloszonychPolaczonych = -1;
    QTimer stanGrupy; // says how many are connected, a second after a change
    int numerWymiany = 0;
    // Since the last summary: each client's offset at its latest answer, and
    // the requests answered (by the time they carried).
    QHash<int, qint64> przesunieciaPrzed;
    QTime ostatnieZadanie;
    int zadan = 0;
    QList<int> ustawione;
    QTimer cisza; // closes an exchange whose results stop coming
    // Steady-clock nanoseconds of the first request and the last agreed time
    // received in this exchange, the server clock the request carried and
    // the system clock when it came.
    qint64 pierwszeZadanieNs = 0;
    qint64 ostatniWynikNs = 0;
    // How far ahead of the system clock each agreed time was when it came,
    // the least and the most: how much staler it reached the last clients
    // than the first.
    qint64 wynikPrzedMinMs = 0;
    qint64 wynikPrzedMaxMs = 0;
    bool saWyniki = false;
    QTime czasZadania;
    QTime systemowyPrzyZadaniu;
};

// The spread of a set of values: the largest minus the smallest; 0 if empty.
qint64 rozrzut(const QList<qint64> &wartosci);

#endif // GRUPA_H
