#ifndef SERWER_H
#define SERWER_H

#include <QHash>
#include <QList>
#include <QStringList>
#include <QTime>
#include <QWidget>

class QFrame;
class QGridLayout;
class QLabel;
class QPushButton;
class QSpinBox;
class QTcpServer;
class QTcpSocket;
class QTextBrowser;
class QTimer;

// The server's only window. It owns every control, the listening server, the
// registry of clients, the clock and the state of a synchronization exchange;
// its private slots are the entry points of every event in the program.
class Serwer : public QWidget
{
    Q_OBJECT

public:
    explicit Serwer(QWidget *parent = nullptr);
    ~Serwer() override;

    // Room for replies in one exchange: indices 1 to 29 of the arrays below.
    static constexpr int pojemnoscWymiany = 30;

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
    void obsluzOdpowiedz(qint32 kod);
    void usrednij();
    void dopisz(QTextBrowser *okno, const QString &linia);
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

    // Frames each client has sent since the last request. A client is asked
    // for one reply per request; one that sends far more is flooding.
    QHash<QTcpSocket *, qint32> ramkiOdZadania;

    // Log lines not yet in their pane. Laying out a visible pane costs tens of
    // microseconds a line, a few a line when many are added at once; lines
    // of one pass of the event loop go in together.
    QHash<QTextBrowser *, QStringList> doDopisania;
};

#endif // SERWER_H
