#ifndef SYGNALY_H
#define SYGNALY_H

#include <QObject>

// What the system asks of a running program from outside, as Qt signals, so
// that whatever follows runs as an ordinary slot on the event loop:
// - to end as the operator would end it. Unix: SIGTERM, SIGINT. Windows:
//   Ctrl+C, Ctrl+Break or its console closed, the user logging off or the
//   machine shutting down, and a plain request to close (taskkill without
//   /F, QProcess::terminate()), which Windows sends to a process's windows;
// - to open its log file again after rotation. Unix: SIGHUP. Windows has no
//   such request: the log file notices by itself that it was moved;
// - to say how it is (a service's status). Unix: SIGUSR1.
// One object per process.
class Sygnaly : public QObject
{
    Q_OBJECT

public:
    enum Prosba {
        Zakonczenie = 1,
        Rotacja = 2,
        Stan = 4,
    };
    explicit Sygnaly(int prosby, QObject *parent = nullptr);
    ~Sygnaly() override;

    // Whether the requests are taken; if not, why (a program that cannot
    // hear them would be ended without telling its clients).
    bool czynne() const { return powod.isEmpty(); }
    QString blad() const { return powod; }

    // A request to end from another thread (Windows' service manager).
    static void poprosOZakonczenie();

    // Called once the program has done what it does before it ends: a
    // system that ends the process as soon as it has been told (a closed
    // console, logoff, shutdown) waits for this, a few seconds at most.
    void zakonczono();

signals:
    void zakoncz();
    void otworzPonownie();
    void podajStan();

private:
    void czytaj();

    QString powod;
};

#endif // SYGNALY_H
