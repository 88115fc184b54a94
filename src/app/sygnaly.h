#ifndef SYGNALY_H
#define SYGNALY_H

#include <QList>
#include <QObject>
#include <QSocketNotifier>

#include <initializer_list>

// Unix signals as Qt signals: the handler only writes the signal's number
// into a socket pair, and the event loop reads it, so that whatever follows
// runs as an ordinary slot. One object per process.
class Sygnaly : public QObject
{
    Q_OBJECT

public:
    explicit Sygnaly(std::initializer_list<int> numery, QObject *parent = nullptr);
    ~Sygnaly() override;

signals:
    void odebrano(int numer);

private:
    void czytaj();

    QSocketNotifier *powiadamiacz = nullptr;
    QList<int> numery;
};

#endif // SYGNALY_H
