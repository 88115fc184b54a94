#include "dziennik.h"

#include "serwer.h"

#include <QTextBrowser>

QString godzina(QTime czas)
{
    return czas.toString(QStringLiteral("HH:mm:ss"));
}

QString zeZnacznikiem(QTime czas, const QString &tresc)
{
    return godzina(czas) + tresc;
}

void Serwer::czysc()
{
    oknoSerwera->clear();
    oknoSynchronizacji->clear();
}
