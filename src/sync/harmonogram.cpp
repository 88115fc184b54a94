#include "sync/termin.h"
#include "window/dziennik.h"
#include "window/serwer.h"

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTextBrowser>
#include <QTimer>

#include <limits>

void Serwer::uplywCzasu()
{
    // While the timer runs, the clock follows elapsed time: a stall (a busy
    // pass of the event loop, a suspended machine) delays the tick, never the
    // time. A tick run by hand is one tick.
    qint64 taktow = 1;
    const qint64 teraz = monotonicznyMs();
    if (zegar->isActive()) {
        taktow = taktowWCzasie(teraz - ostatniTakt);
        ostatniTakt += taktow * taktMs;
    } else {
        ostatniTakt = teraz;
    }
    czasSerwera = czasSerwera.addMSecs(taktow * taktMs);
    // Years without an exchange must not wrap it round.
    licznikTaktow
        = qint32(qMin<qint64>(licznikTaktow + taktow, std::numeric_limits<qint32>::max()));
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
