#include "sync/termin.h"
#include "window/dziennik.h"
#include "window/serwer.h"

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTextBrowser>

void Serwer::uplywCzasu()
{
    czasSerwera = czasSerwera.addMSecs(taktMs);
    ++licznikTaktow;
    if (wymianaOtwarta && zamknacNaTakcie(saRoznice, licznikTaktow))
        zamknijPoOknie();
    wartoscCzasu->setText(godzina(czasSerwera));
    if (synchNalezna(czasSerwera, nastepnaSynch, qint64(poleOkresu->value()) * 1000)
        && serwerDziala == 1 && synchWlaczona == 1)
        wyslijZadanie();
}

void Serwer::okresSynch(int s)
{
    nastepnaSynch = czasSerwera.addSecs(s);
    if (synchWlaczona == 1)
        wartoscNastSynch->setText(godzina(nastepnaSynch));
}

void Serwer::synchB()
{
    if (synchWlaczona != 0) {
        dopisz(oknoSynchronizacji,
               zeZnacznikiem(czasSerwera, QStringLiteral(" - Zatrzymano Synchronizację")));
        przyciskSynch->setText(QStringLiteral("Uruchom\nSynchronizację"));
        przyciskSynchTeraz->setEnabled(false);
        synchWlaczona = 0;
        wartoscNastSynch->clear();
    } else {
        dopisz(oknoSynchronizacji,
               zeZnacznikiem(czasSerwera, QStringLiteral(" - Uruchomiono Synchronizację")));
        przyciskSynch->setText(QStringLiteral("Zatrzymaj\nSynchronizację"));
        przyciskSynchTeraz->setEnabled(true);
        synchWlaczona = 1;
        okresSynch(poleOkresu->value());
    }
}
