#include "dziennik.h"

#include "serwer.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

QString godzina(QTime czas)
{
    return czas.toString(QStringLiteral("HH:mm:ss"));
}

QString zeZnacznikiem(QTime czas, const QString &tresc)
{
    return godzina(czas) + tresc;
}

QString opisKlienta(const QAbstractSocket &gniazdo)
{
    return gniazdo.peerAddress().toString() + QStringLiteral("; Port:")
        + QString::number(gniazdo.peerPort());
}

void dopiszLinie(QTextEdit *okno, const QStringList &linie)
{
    QScrollBar *pasek = okno->verticalScrollBar();
    const bool naKoncu = pasek->value() >= pasek->maximum();
    QTextDocument *dokument = okno->document();
    QTextCursor kursor(dokument);
    kursor.beginEditBlock();
    kursor.movePosition(QTextCursor::End);
    for (const QString &linia : linie) {
        if (!dokument->isEmpty())
            kursor.insertBlock();
        kursor.insertText(linia);
    }
    kursor.endEditBlock();
    if (naKoncu)
        pasek->setValue(pasek->maximum());
}

void Serwer::dopisz(QTextBrowser *okno, const QString &linia)
{
    if (doDopisania.isEmpty())
        QMetaObject::invokeMethod(this, &Serwer::dopiszOczekujace, Qt::QueuedConnection);
    doDopisania[okno].append(linia);
}

void Serwer::dopiszOczekujace()
{
    for (auto it = doDopisania.cbegin(); it != doDopisania.cend(); ++it)
        dopiszLinie(it.key(), it.value());
    doDopisania.clear();
}

void Serwer::czysc()
{
    doDopisania.clear(); // lines logged before the clearing go with it
    oknoSerwera->clear();
    oknoSynchronizacji->clear();
}
