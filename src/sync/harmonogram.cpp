#include "sync/doba.h"
#include "sync/termin.h"
#include "window/dziennik.h"
#include "window/serwer.h"

#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTextBrowser>
#include <QTimer>

#include <limits>

namespace {
// How often the lines left out of the log are summed up, and memory looked at.
constexpr qint64 podsumowanieCoMs = 60'000;
constexpr qint64 sprzatanieCoMs = 5'000;
} // namespace

void Serwer::uplywCzasu()
{
    // While the timer runs, the clock follows elapsed time: a stall (a busy
    // pass of the event loop, a suspended machine) delays the tick, never the
    // time. A tick run by hand, the timer stopped (as the tests run it), is
    // one tick, so that a test moves the clock exactly.
    qint64 taktow = 1;
    const qint64 teraz = monotonicznyMs();
    if (zegar->isActive()) {
        taktow = taktowWCzasie(teraz - ostatniTakt);
        ostatniTakt += taktow * taktMs;
    } else {
        ostatniTakt = teraz;
    }
    // Whole days make no difference to a time of day; after a suspend of
    // weeks they would not fit in the milliseconds that QTime adds.
    czasSerwera = czasSerwera.addMSecs(int((taktow * taktMs) % msDoby));
    sledzStrefe();
    // Years without an exchange must not wrap it round.
    licznikTaktow
        = qint32(qMin<qint64>(licznikTaktow + taktow, std::numeric_limits<qint32>::max()));
    if (wymianaOtwarta && zamknacNaTakcie(saRoznice, licznikTaktow))
        zamknijPoOknie();
    if (zaSystemowym)
        podazajZaSystemowym(taktow);
    pilnujRamek();
    if (teraz - podsumowanoMs >= podsumowanieCoMs) {
        podsumowanoMs = teraz;
        podsumujPominiete();
    }
    if (teraz - sprzatnietoMs >= sprzatanieCoMs) {
        sprzatnietoMs = teraz;
        oddajPamiec();
    }
    // The caption's clocks against each other, once a second.
    if (widoczny && teraz - podpisanoMs >= 1000) {
        podpisanoMs = teraz;
        etykietaKlientow->setText(opisKlientow());
    }
    wartoscCzasu->setText(godzina(czasSerwera));
    if (synchNalezna(czasSerwera, nastepnaSynch, qint64(poleOkresu->value()) * 1000)
        && serwerDziala == 1 && synchWlaczona == 1)
        wyslijZadanie();
}

// The clock is a local time of day, as are the clients' clocks: when the
// local offset from UTC changes (daylight saving time begins or ends, the
// machine is given another time zone), it changes with it, and the schedule
// with it, so that the next exchange is as far off as it was.
void Serwer::sledzStrefe()
{
    const qint32 strefa = QDateTime::currentDateTime().offsetFromUtc();
    const qint32 zmiana = strefa - przesuniecieStrefy;
    if (zmiana == 0)
        return;
    przesuniecieStrefy = strefa;
    czasSerwera = czasSerwera.addSecs(zmiana);
    nastepnaSynch = nastepnaSynch.addSecs(zmiana);
    if (synchWlaczona == 1)
        wartoscNastSynch->setText(godzina(nastepnaSynch));
    dopisz(oknoSynchronizacji,
           zeZnacznikiem(czasSerwera,
                         QStringLiteral(" - Zmiana czasu lokalnego o %1%2 s (czas letni lub "
                                        "zimowy, strefa czasowa): zegar serwera przestawiony")
                             .arg(zmiana > 0 ? QStringLiteral("+") : QString())
                             .arg(zmiana)),
           usluga::Uwaga);
}

// The system clock, which the machine's time service keeps near real time,
// leads: the server clock closes a small difference slowly, so that the
// agreed time never jumps, and takes a large one (a step of the system
// clock, an administrator's setting) at once, between exchanges, saying so.
void Serwer::podazajZaSystemowym(qint64 taktow)
{
    const qint32 roznica = roznicaMs(QTime::currentTime(), czasSerweraTeraz());
    // A step waits while replies are measured against the clock: the
    // broadcast and the reply window. An exchange that silent clients keep
    // open past its window has nothing measured to keep (the tick closes one
    // that has), so it holds no step back.
    const bool mierzy = rozsylka.trwa || (wymianaOtwarta && licznikTaktow <= oknoOdpowiedzi);
    if (qAbs(roznica) >= skokZegaraOdMs && mierzy)
        return;
    const qint64 ms = dociagniecieMs(roznica, taktow, dociaganieResztaUs);
    if (ms == 0)
        return;
    const QTime przed = czasSerwera;
    czasSerwera = czasSerwera.addMSecs(int(ms));
    if (qAbs(ms) < skokZegaraOdMs)
        return;
    // The next exchange stays as far off as it was, and the agreed times
    // the machines were sent are as far from the server clock as they
    // were: a machine that took one is still in step.
    nastepnaSynch = nastepnaSynch.addMSecs(int(ms));
    for (qint32 &uzgodniony : uzgodnioneAdresow)
        uzgodniony -= qint32(ms);
    przestawienie = Przestawienie {ms, czasSerwera};
    if (synchWlaczona == 1)
        wartoscNastSynch->setText(godzina(nastepnaSynch));
    const QString wzor = QStringLiteral("HH:mm:ss.zzz");
    dopisz(oknoSynchronizacji,
           zeZnacznikiem(czasSerwera,
                         QStringLiteral(" - Zegar serwera przestawiony za zegarem systemowym z "
                                        "%1 na %2")
                             .arg(przed.toString(wzor), czasSerwera.toString(wzor))),
           usluga::Uwaga);
}

// The server clock between ticks too: as far on from the last tick counted as
// the time since, while the timer runs.
QTime Serwer::czasSerweraTeraz() const
{
    return czasSerwera.addMSecs(zegar->isActive() ? int(monotonicznyMs() - ostatniTakt) : 0);
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
