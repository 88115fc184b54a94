#ifndef SERWER_H
#define SERWER_H

#include "app/waga.h"
#include "network/dostep.h"
#include "network/ogranicznik.h"
#include "network/zapas.h"
#include "sync/berkeley.h"
#include "window/tabelaKlientow.h"

#include <QAbstractSocket>
#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>
#include <QTime>
#include <QWidget>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QCheckBox;
class QFrame;
class QGridLayout;
class QLabel;
class QPushButton;
class QSpinBox;
class QTcpServer;
class QTcpSocket;
class QTextBrowser;
class QTableView;
class QTimer;

// The server's only window. It owns every control, the listening server, the
// registry of clients, the clock and the state of a synchronization exchange.
// Its private slots are what the controls and the timer call; the sockets'
// signals come in through short lambdas that hand the socket over
// (network/rejestr.cpp).
class Serwer : public QWidget
{
    Q_OBJECT

public:
    explicit Serwer(QWidget *parent = nullptr);
    ~Serwer() override;

    // Every log line also goes, as it is written, to `odbiorca`: the pane's
    // name ("serwer" or "synchronizacja"), the date of the server clock, the
    // line as the pane shows it, beginning with its time of day, and how
    // serious it is. For a log file, or standard output.
    using OdbiorcaLinii = std::function<void(QLatin1String okno, QDate data, const QString &linia,
                                             usluga::Waga waga)>;
    void przekazujLinie(OdbiorcaLinii odbiorca);

    // For a window that is never shown: a failed start is only logged, with
    // no message box, and the panes stay empty; the lines go only to the
    // receivers above.
    void bezWidoku() { widoczny = false; }

    // Away from the panes, one line for each exchange, with the full lines
    // only of what went wrong (a reply rejected, clients that kept silent, a
    // connection refused or cut), not of clients coming and going.
    void tylkoPodsumowania() { podsumowanie = true; }

    // Who may connect (by default everyone, with no cap).
    void ustawDostep(const Dostep &nowy) { dostep = nowy; }

    // How many of an exchange's averaged places one address may fill: 0 for
    // the default of miejscDlaAdresu(), one for an address other than
    // loopback, so that no single machine, or one address behind which many
    // connect, outvotes the rest.
    void ustawMiejscaZAdresu(int miejsc) { miejscZAdresu = miejsc; }

    // Loopback is taken as any other address: for its places in the average
    // and whether its replies take the agreed times, which loopback, where a
    // machine's own simulated clients come from, is spared. For a test whose
    // one machine stands in for a lab.
    void petlaJakInneAdresy() { petlaJakInne = true; }

    // The server clock follows the system clock, which the machine's own
    // time service keeps (by default it is read once, at start, and then
    // follows elapsed time).
    void podazajZaZegaremSystemowym() { zaSystemowym = true; }

    // How many clients are connected.
    qsizetype polaczonych() const { return klienci->size(); }

    // Why the last start of the server failed, in the operator's words.
    QString powodNieuruchomienia() const { return bladStartu; }

    // What the program's start and end do with the window, as its operator
    // would: the spin boxes the options set, and the buttons pressed.
    void ustawPola(std::optional<int> port, std::optional<int> okres, std::optional<int> prog);
    int port() const;
    // "Rozpocznij Działanie Serwera": whether the server now listens.
    bool uruchomSerwer();
    // "Uruchom Synchronizację", unless synchronization is on.
    void wlaczSynchronizacje();
    // "Zatrzymaj Serwer", when it runs, and the frames on their way handed
    // to the system before the program ends.
    void zatrzymajSerwer();
    // A time-stamped line of the program's own (the message begins with
    // " - "), in the upper pane and to the receivers above.
    void dopiszZdarzenie(const QString &tresc, usluga::Waga waga = usluga::Uwaga);

    // The table of clients as lines: how many are connected, what the last
    // exchange did, and a line for each client, the worst first. For a
    // service, on request; wypiszStan() gives them to the receivers above,
    // as "stan", at most once a second.
    QStringList stan() const;
    void wypiszStan();

    // Lines about one address go to the receivers above at most this many
    // a second, and lines about all addresses together at most the second
    // many, replies included; the panes take them all.
    static constexpr int liniiZAdresuNaSekunde = 10;
    static constexpr int liniiNaSekunde = 100;
    // The table of clients is laid out again at most this often.
    static constexpr int odswiezanieTabeliMs = 1000;
    // A connection that holds a frame unfinished this long is cut off (by
    // default; a test shortens it).
    static constexpr qint64 terminRamkiMs = 10'000;
    void ustawTerminRamki(qint64 ms) { ramkaNajdluzejMs = ms; }

    // The slots are defined by subject: koniec() in window/serwer.cpp, czysc()
    // in window/dziennik.cpp, rozpocznij() and zatrzymaj() in
    // network/nasluch.cpp, dodajKlienta() and usunKlienta() in
    // network/rejestr.cpp, uplywCzasu(), okresSynch() and synchB() in
    // sync/harmonogram.cpp, wyslijZadanie() in sync/rozglaszanie.cpp, and
    // odbierz() in sync/odbior.cpp.
private slots:
    void rozpocznij();
    void zatrzymaj();
    void koniec();
    void dodajKlienta();
    void usunKlienta();
    void odbierz();
    void uplywCzasu();
    void wyslijZadanie();
    void okresSynch(int s);
    void czysc();
    void synchB();

private:
    // The constructor's steps, in order.
    void utworzSerwerTcp();
    void utworzPanele();
    void utworzPola();
    void utworzEtykiety();
    void utworzPrzyciski();
    void ulozSiatke();
    void utworzTabele();
    void ustalRozmiar();
    void uruchomZegar();

    void czytajOd(QTcpSocket *gniazdo);
    void sledzStrefe();
    void wyrejestruj(QTcpSocket *gniazdo);
    qsizetype indeksKlienta(QTcpSocket *gniazdo);
    void ograniczPrzyjmowanie();
    void bladPrzyjmowania(QAbstractSocket::SocketError blad);
    void pilnujRamek();
    void rozsylaj();
    void dokonczRozsylanie();
    void oddajPamiec();
    void obsluzOdpowiedz(QTcpSocket *gniazdo, qint32 kod);
    void domknij(Zamkniecie zamkniecie);
    bool pominZAdresu(QTcpSocket *gniazdo, qint32 kod);
    void pominOdpowiedz(QTcpSocket *gniazdo, qint32 kod);
    struct Polaczenie;
    bool sprawdzPrzyjecie(Polaczenie &polaczenie);
    bool odlegloscOdWyslanego(Polaczenie &polaczenie) const;
    bool oceniany(quint32 adres) const { return petlaJakInne || !zPetliZwrotnej(adres); }
    void znajdzSprawce(qint32 ile);
    void zamknijPoOknie();
    void usrednij();
    void dopisz(QTextBrowser *okno, const QString &wiersz, usluga::Waga waga = usluga::Informacja);
    // What a line about one peer tells, for the count of those the log
    // leaves out.
    enum class RodzajLinii { Polaczenie, Odpowiedz, Odmowa, Rodzajow };
    void dopiszOAdresie(quint32 adres, QTextBrowser *okno, const QString &wiersz, usluga::Waga waga,
                        RodzajLinii rodzaj = RodzajLinii::Polaczenie);
    void przekazOAdresie(quint32 adres, QTextBrowser *okno, const QString &wiersz,
                         usluga::Waga waga, RodzajLinii rodzaj);
    void dopiszSzczegol(QTextBrowser *okno, const QString &wiersz);
    void przekaz(QTextBrowser *okno, const QString &wiersz, usluga::Waga waga = usluga::Informacja);
    void przekazJako(QLatin1String nazwa, const QString &wiersz,
                     usluga::Waga waga = usluga::Informacja);
    void zmianaKlientow();
    void odswiezTabele();
    void kopiujZaznaczone();
    std::vector<WierszKlienta> wierszeKlientow() const;
    QString opisKlientow() const;
    QString opisWplywu(qint32 ile, qint32 odrzuconych) const;
    QString opisNajdalszego() const;
    QString opisPrzestawienia() const;
    QString roznicaZegarow() const;
    QTime czasSerweraTeraz() const;
    void podazajZaSystemowym(qint64 taktow);
    void doPanelu(QTextBrowser *okno, const QString &wiersz);
    void podsumujPominiete();
    void dopiszOczekujace();

    QTcpServer *serwerTcp;
    QGridLayout *siatka;
    QTextBrowser *oknoSerwera;
    QTextBrowser *oknoSynchronizacji;
    QSpinBox *polePortu;
    QSpinBox *poleOkresu;
    QSpinBox *poleOdrzucenia;
    QFrame *linia;
    QLabel *etykietaOdrzucenia;
    QLabel *etykietaPortu;
    QLabel *etykietaIp;
    QLabel *wartoscIp;
    QLabel *etykietaCzasu;
    QLabel *wartoscCzasu;
    QLabel *etykietaOkresu;
    QLabel *etykietaNastSynch;
    QLabel *wartoscNastSynch;
    QPushButton *przyciskRozpocznij;
    QPushButton *przyciskZatrzymaj;
    QPushButton *przyciskKoniec;
    QPushButton *przyciskSynch;
    QPushButton *przyciskSynchTeraz;
    QPushButton *przyciskCzysc;
    QList<QTcpSocket *> *klienci;
    QList<quint16> *rozmiaryBlokow;
    QTimer *zegar;
    QTime czasSerwera;
    QTime czasKlienta;
    QTime nastepnaSynch;
    QTime czasZadania;
    qint32 synchWlaczona;
    qint32 liczbaZapytanych;
    qint32 liczbaOdpowiedzi;
    qint32 roznice[pojemnoscWymiany];
    qint32 przyjete[pojemnoscWymiany];
    qint32 serwerDziala;
    qint32 typKomunikatu;
    qint32 licznikTaktow;

    // Below the grid: every client, a row each (tabelaKlientow.h), and how
    // many there are; laid out again at most every so often.
    QLabel *etykietaKlientow;
    QCheckBox *tylkoZProblemem;
    ModelKlientow *modelKlientow;
    SortowanieKlientow *sortowanieKlientow;
    QTableView *tabelaKlientow;
    QTimer *odswiezanieTabeli;
    QString opisWymiany; // of the last closed exchange

    // What the window keeps of each registered connection beyond the lists.
    struct Polaczenie
    {
        // Frames since the last request. A client is asked for one reply per
        // request; one that sends far more is flooding.
        qint32 ramek = 0;
        // Asked by the open exchange and not answered yet: only such a
        // connection's reply counts, so no peer can answer for others,
        // answer twice or answer unasked.
        bool zapytany = false;
        // A reply that did not count has been shown since the last request;
        // more of them go unshown.
        bool pominietaPokazana = false;
        // Where it stood in `klienci` when last looked up. Entries only ever
        // move toward the front, so it is found at or before this index.
        qsizetype indeks = 0;
        // The peer, as it was when it connected: every line about the
        // connection names it, even once the socket is closed.
        quint32 adres = 0;
        quint16 port = 0;
        // Of the frame being read: its surplus still to be discarded, and
        // since when (monotonicznyMs()) it has been unfinished, or 0.
        quint16 doPominiecia = 0;
        qint64 ramkaOdMs = 0;
        QByteArray zalegle; // its bytes come so far, short of a length or a time

        // Of the table of clients: since when, its last difference, how far
        // from the agreed time that was, what the last exchange made of it,
        // its ordinal there, and the exchange it last answered in.
        QTime od;
        qint32 roznicaMs = 0;
        bool maRoznice = false;
        qint32 odUzgodnionegoMs = 0;
        bool maOdleglosc = false;
        WynikWymiany wynik = WynikWymiany::Brak;
        int milczalZRzedu = 0;
        qint32 nr = 0;
        qint32 wymiana = 0;
        // Its replies stay far from the agreed times it is sent: it is not
        // averaged, which was said, until it takes one.
        bool niePrzyjmuje = false;

        void zapytaj()
        {
            ramek = 0;
            nr = 0; // until it answers this request
            if (zapytany) // asked before and never answered
                milczal();
            zapytany = true;
            pominietaPokazana = false;
        }
        void milczal()
        {
            wynik = WynikWymiany::Milczal;
            ++milczalZRzedu;
            zapytany = false;
        }
        WierszKlienta wiersz() const
        {
            return {adres,       port,  od,           nr, roznicaMs, maRoznice, odUzgodnionegoMs,
                    maOdleglosc, wynik, milczalZRzedu};
        }
    };
    QHash<QTcpSocket *, Polaczenie> polaczenia;
    // Connections that had a frame unfinished when last read.
    QSet<QTcpSocket *> ramkiWToku;

    Dostep dostep;
    OgranicznikLinii ogranicznik {liniiZAdresuNaSekunde, liniiNaSekunde};
    qint64 zerwanePrzedPrzyjeciem = 0; // connections reset before they were taken in
    qint64 pominieteRodzaju[int(RodzajLinii::Rodzajow)] = {}; // left out of the log since said
    qint64 ramkaNajdluzejMs = terminRamkiMs;
    qint64 podsumowanoMs = 0; // when the lines left out were last summed up
    qint64 stanWypisanyMs = 0; // when the status was last written
    qint64 podpisanoMs = 0; // when the table's caption was last written
    qint64 sprzatnietoMs = 0; // when memory was last looked at
    qsizetype najwiecejKlientow = 0; // since then
    ZapasDeskryptora zapas;
    // Clients beyond this are refused: the process keeps descriptors for
    // the rest of its work.
    static qsizetype maksKlientowWProcesie();
    const qsizetype maksKlientow = maksKlientowWProcesie();
    qint64 brakZasobowPowiedzianyMs = 0;
    int odrzuconychBezZasobow = 0;

    int przyjetychWPrzebiegu = 0;
    qint64 przyjmowanieOdMs = 0; // since when this pass has taken them
    int domyslnieOczekujacych = 0; // the server's own limit of pending connections

    // The machines behind the ordinals of the open exchange's replies, and
    // how many its request asked.
    std::pair<quint32, quint16> nadawcy[pojemnoscWymiany] = {};
    QTcpSocket *gniazdaNadawcow[pojemnoscWymiany] = {};
    qint32 numerWymiany = 0; // of the last request
    qint32 zapytanychWWymianie = 0;
    // Of the open exchange: the averaged places each address fills, and the
    // replies left out because their address had filled its own.
    int miejscZAdresu = 0;
    QHash<quint32, int> miejscaAdresow;
    QHash<quint32, int> pominieteZAdresow;
    qint32 pominietychZAdresu = 0;
    bool podsumowanie = false;
    QString podsumowanieWymiany; // of the closed exchange, but for the clients its time reached
    bool petlaJakInne = false;

    // The agreement: the agreed time of the last exchange and of the one
    // before, in seconds from the server clock; the agreed time each
    // address was sent last, in ms from the server clock, against which its
    // next reply tells whether its machine took it; the machine whose reply
    // moved the agreement most, and the server clock's last step after the
    // system clock, both named until the lab is back within a second of the
    // server clock.
    qint32 uzgodnioneS = 0;
    qint32 poprzednieUzgodnioneS = 0;
    QHash<quint32, qint32> uzgodnioneAdresow;
    struct Sprawca
    {
        quint32 adres;
        quint16 port;
        double udzialS;
        QTime kiedy;
    };
    std::optional<Sprawca> sprawca;
    struct Przestawienie
    {
        qint64 ms;
        QTime kiedy;
    };
    std::optional<Przestawienie> przestawienie;

    // The broadcast under way: its frame, the clients it goes to, how far
    // it has got and how many frames it has written (rozglaszanie.cpp).
    struct Rozsylka
    {
        qint32 kod = 0;
        QTime czas;
        qint32 uzgodnionyMs = 0; // of an agreed time, from the server clock
        qint64 pierwszyNs = 0; // when its first share was written
        QByteArray blok;
        QList<QTcpSocket *> adresaci;
        qsizetype nastepny = 0;
        qint32 wyslanych = 0;
        bool trwa = false;
    };
    Rozsylka rozsylka;

    // A request went to at least one client, and its exchange has not
    // closed since.
    bool wymianaOtwarta = false;
    // The open exchange has counted a reply with a time: it has something to
    // average once its window has passed.
    bool saRoznice = false;

    // Log lines not yet in their pane. Laying out a line costs tens of
    // microseconds, less when many go in at once: they go in 250 at a time,
    // for at most 30 ms a pass (dziennik.cpp).
    QHash<QTextBrowser *, QStringList> doDopisania;

    std::vector<OdbiorcaLinii> odbiorcyLinii;
    QDate dataZegara; // the date of the server clock when it read czasDaty
    QTime czasDaty;
    bool widoczny = true;
    QString bladStartu;

    // Monotonic time of the last tick the clock counted (monotonicznyMs()).
    qint64 ostatniTakt = 0;
    // Following the system clock: what is still to be closed of a small
    // difference below a millisecond, and a large one waiting for the
    // exchange to end.
    bool zaSystemowym = false;
    qint64 dociaganieResztaUs = 0;
    // The local offset from UTC, in seconds, that the server clock is in.
    qint32 przesuniecieStrefy = 0;
};

#endif // SERWER_H
