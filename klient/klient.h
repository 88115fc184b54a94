#ifndef KLIENT_H
#define KLIENT_H

#include "zegarSymulowany.h"

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

// One simulated client: a connection to the server and a clock of its own.
// It answers every request with its clock, takes every agreed time, and while
// the server cannot be reached tries again once a second.
class Klient : public QObject
{
    Q_OBJECT

public:
    Klient(int numer, const QString &host, quint16 port, const ZegarSymulowany &zegar,
           QObject *parent = nullptr);
    ~Klient() override;

    void polacz();
    QTime czas() const;

signals:
    void zdarzenie(const QString &opis);
    void polaczono();
    void rozlaczono();
    // A request answered: how far this clock was ahead of the server's, in ms.
    void odpowiedziano(qint64 przesuniecieMs);
    void ustawiono();
    // Any frame received, as it arrives.
    void odebrano(qint32 kod, QTime czas);

private:
    void czytaj();
    void obsluz(qint32 kod, QTime czasRamki);
    void poZmianieStanu(QAbstractSocket::SocketState stan);
    void zglos(const QString &tresc);

    QTcpSocket gniazdo;
    QTimer ponowienie;
    ZegarSymulowany zegar;
    QString host;
    quint16 port;
    int nr;
    quint16 rozmiarBloku = 0;
    bool bylPolaczony = false;
    bool zgloszonoNiedostepnosc = false;
};

// The monotonic time that drives every simulated clock, in nanoseconds.
qint64 terazNs();

#endif // KLIENT_H
