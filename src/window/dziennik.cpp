#include "dziennik.h"

#include "serwer.h"
#include "sync/doba.h"
#include "sync/termin.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

#include <utility>

QString godzina(QTime czas)
{
    return czas.toString(QStringLiteral("HH:mm:ss"));
}

QString zeZnacznikiem(QTime czas, const QString &tresc)
{
    return godzina(czas) + tresc;
}

namespace {
// Lines go into a pane a few hundred at a time (each share one edit), for
// this long at most in one pass: into a full pane, whose oldest lines leave
// as new ones come, a line costs about 80 µs, twice as much as into one
// with room.
constexpr qsizetype liniiNaRaz = 250;
constexpr qint64 dopisywanieNaPrzebiegMs = 30;
} // namespace

QString opisAdresu(quint32 adres, quint16 port)
{
    return QHostAddress(adres).toString() + QStringLiteral("; Port:") + QString::number(port);
}

namespace {

// The lines at the end of the pane, without taking the oldest away.
void wstawLinie(QTextEdit *okno, const QStringList &linie)
{
    QScrollBar *pasek = okno->verticalScrollBar();
    const bool naKoncu = pasek->value() >= pasek->maximum();
    QTextDocument *dokument = okno->document();
    // Lines the pane would drop at once are not laid out at all.
    const auto pominiete = linie.size() - qMin<qsizetype>(linie.size(), maksLinii);
    if (linie.size() >= maksLinii)
        dokument->clear(); // every line there would leave
    QTextCursor kursor(dokument);
    kursor.beginEditBlock();
    kursor.movePosition(QTextCursor::End);
    for (auto linia = linie.cbegin() + pominiete; linia != linie.cend(); ++linia) {
        if (!dokument->isEmpty())
            kursor.insertBlock();
        kursor.insertText(*linia);
    }
    kursor.endEditBlock();
    if (naKoncu)
        pasek->setValue(pasek->maximum());
}

// Whether the pane holds so many lines that the oldest must go.
bool przepelnione(const QTextEdit *okno)
{
    return okno->document()->blockCount() > maksLinii + liniiZaRazem;
}

// The oldest go, all together, down to the newest the pane keeps.
void przytnij(QTextEdit *okno)
{
    QTextDocument *dokument = okno->document();
    QTextCursor najstarsze(dokument);
    najstarsze.setPosition(
        dokument->findBlockByNumber(dokument->blockCount() - maksLinii).position(),
        QTextCursor::KeepAnchor);
    najstarsze.removeSelectedText();
}

} // namespace

void dopiszLinie(QTextEdit *okno, const QStringList &linie)
{
    wstawLinie(okno, linie);
    if (przepelnione(okno))
        przytnij(okno);
}

void Serwer::przekazujLinie(OdbiorcaLinii odbiorca)
{
    odbiorcyLinii.push_back(std::move(odbiorca));
}

void Serwer::dopisz(QTextBrowser *okno, const QString &wiersz, usluga::Waga waga)
{
    przekaz(okno, wiersz, waga);
    doPanelu(okno, wiersz);
}

// A line about a peer, one of those it can cause at will: the pane takes
// them all, what can fill a disk at most a few a second from one address.
void Serwer::dopiszOAdresie(quint32 adres, QTextBrowser *okno, const QString &wiersz,
                            usluga::Waga waga, RodzajLinii rodzaj)
{
    // Away from the pane, a summary leaves out what is routine.
    if (!(waga == usluga::Informacja && podsumowanie))
        przekazOAdresie(adres, okno, wiersz, waga, rodzaj);
    doPanelu(okno, wiersz);
}

void Serwer::przekazOAdresie(quint32 adres, QTextBrowser *okno, const QString &wiersz,
                             usluga::Waga waga, RodzajLinii rodzaj)
{
    if (odbiorcyLinii.empty())
        return;
    if (ogranicznik.wolno(adres, monotonicznyMs()))
        przekaz(okno, wiersz, waga);
    else
        ++pominieteRodzaju[int(rodzaj)];
}

// A line of the course of an exchange: in the pane always, elsewhere only
// when every line is asked for, not one per exchange.
void Serwer::dopiszSzczegol(QTextBrowser *okno, const QString &wiersz)
{
    if (!podsumowanie)
        przekaz(okno, wiersz);
    doPanelu(okno, wiersz);
}

// One line for all that was left out, however many peers: what the lines
// were about, and the address that caused most of them.
void Serwer::podsumujPominiete()
{
    qint64 razem = 0;
    std::pair<quint32, qint64> najwiecej {0, 0};
    const auto pominiete = ogranicznik.podsumuj(monotonicznyMs());
    for (const auto &[adres, ile] : pominiete) {
        razem += ile;
        if (ile > najwiecej.second)
            najwiecej = {adres, ile};
    }
    static const char *const oCzym[]
        = {"o połączeniach", "o odpowiedziach", "o odmowach i zerwaniach"};
    QStringList rodzaje;
    for (int r = 0; r < int(RodzajLinii::Rodzajow); ++r)
        if (const qint64 ile = std::exchange(pominieteRodzaju[r], 0); ile > 0)
            rodzaje << QStringLiteral("%1 %2").arg(QString::fromUtf8(oCzym[r])).arg(ile);
    const QString granice = QStringLiteral(" (ponad %1 na sekundę z adresu, %2 ze wszystkich)")
                                .arg(liniiZAdresuNaSekunde)
                                .arg(liniiNaSekunde);
    const QString ilu = QStringLiteral(" - Pominięto w dzienniku %1 linii (%2) z ")
                            .arg(razem)
                            .arg(rodzaje.join(QStringLiteral(", ")));
    if (pominiete.size() == 1)
        przekaz(oknoSerwera,
                zeZnacznikiem(
                    czasSerwera,
                    ilu + QStringLiteral("adresu %1").arg(QHostAddress(najwiecej.first).toString())
                        + granice),
                usluga::Ostrzezenie);
    else if (pominiete.size() > 1)
        przekaz(oknoSerwera,
                zeZnacznikiem(czasSerwera,
                              ilu
                                  + QStringLiteral("%1 adresów, najwięcej z adresu %2: %3")
                                        .arg(pominiete.size())
                                        .arg(QHostAddress(najwiecej.first).toString())
                                        .arg(najwiecej.second)
                                  + granice),
                usluga::Ostrzezenie);
    if (zerwanePrzedPrzyjeciem > 0)
        przekaz(oknoSerwera,
                zeZnacznikiem(czasSerwera,
                              QStringLiteral(" - Zerwano przed przyjęciem %1 połączeń; ich "
                                             "adresów nie da się już odczytać")
                                  .arg(std::exchange(zerwanePrzedPrzyjeciem, 0))),
                usluga::Ostrzezenie);
}

void Serwer::przekaz(QTextBrowser *okno, const QString &wiersz, usluga::Waga waga)
{
    przekazJako(okno == oknoSerwera ? QLatin1String("serwer") : QLatin1String("synchronizacja"),
                wiersz, waga);
}

void Serwer::przekazJako(QLatin1String nazwa, const QString &wiersz, usluga::Waga waga)
{
    if (odbiorcyLinii.empty())
        return;
    // The date whose day the server clock is in: the one that puts it
    // nearest to the system clock, right on either side of midnight.
    // Reading the system's local time costs a look at its time zone, so it
    // is read once for each reading of the server clock.
    if (czasDaty != czasSerwera) {
        const QDateTime teraz = QDateTime::currentDateTime();
        dataZegara = teraz.addMSecs(roznicaMs(czasSerwera, teraz.time())).date();
        czasDaty = czasSerwera;
    }
    // Away from the pane every line carries its time: the bare ones
    // ("----…") get the server clock's.
    const QString zCzasem = wiersz.startsWith(QLatin1Char('-'))
        ? godzina(czasSerwera) + QLatin1Char(' ') + wiersz
        : wiersz;
    for (const OdbiorcaLinii &odbiorca : odbiorcyLinii)
        odbiorca(nazwa, dataZegara, zCzasem, waga);
}

void Serwer::doPanelu(QTextBrowser *okno, const QString &wiersz)
{
    if (!widoczny)
        return; // nobody would see the pane; its layout would cost time and memory
    if (doDopisania.isEmpty())
        QMetaObject::invokeMethod(this, &Serwer::dopiszOczekujace, Qt::QueuedConnection);
    QStringList &linie = doDopisania[okno];
    linie.append(wiersz);
    if (linie.size() > maksLinii)
        linie.removeFirst(); // the pane would not keep it
}

void Serwer::dopiszOczekujace()
{
    // Laying out a line costs tens of microseconds, and a full pane moves all
    // its lines each time the oldest leave: a storm of lines goes in shares,
    // for a limited time each pass, between the other events, so that no
    // pass holds the event loop long.
    // Taking the oldest lines away is a pass of its own.
    for (auto it = doDopisania.cbegin(); it != doDopisania.cend(); ++it)
        if (przepelnione(it.key())) {
            przytnij(it.key());
            QMetaObject::invokeMethod(this, &Serwer::dopiszOczekujace, Qt::QueuedConnection);
            return;
        }
    QElapsedTimer czas;
    czas.start();
    for (auto it = doDopisania.begin(); it != doDopisania.end();) {
        QStringList &linie = it.value();
        while (!linie.isEmpty() && czas.elapsed() < dopisywanieNaPrzebiegMs) {
            const qsizetype ile = qMin(liniiNaRaz, linie.size());
            wstawLinie(it.key(), linie.first(ile));
            linie.remove(0, ile);
        }
        it = linie.isEmpty() ? doDopisania.erase(it) : std::next(it);
    }
    if (!doDopisania.isEmpty())
        QMetaObject::invokeMethod(this, &Serwer::dopiszOczekujace, Qt::QueuedConnection);
}

void Serwer::czysc()
{
    doDopisania.clear(); // lines logged before the clearing go with it
    oknoSerwera->clear();
    oknoSynchronizacji->clear();
}
