#ifndef BERKELEY_H
#define BERKELEY_H

#include <QList>
#include <QTime>

// Room for replies in one exchange: ordinals 1 to 29 of the arrays of
// differences; index 0 holds the sum and then the average.
constexpr qint32 pojemnoscWymiany = 30;

// The reply window: ticks after the first reply with a time (or after the
// request, when that reply carried none) within which all replies count as
// in time.
constexpr qint32 oknoOdpowiedzi = 10;

// A machine in step with the others is within this of the agreed time it
// was sent, as the frames carry whole seconds; farther, it did not take it,
// or cannot (it only measures, its slew is bounded, it is stuck).
constexpr qint32 zgodnoscMs = 2000;

// Milliseconds in tenths of a second, rounded half away from zero, so that
// a machine as far behind as another is ahead shows the same.
qint64 dziesiate(qint64 ms);

// Whether an IPv4 address is of loopback (127.0.0.0/8), where a machine's
// own simulated clients come from.
bool zPetliZwrotnej(quint32 adres);

// Of the averaged places of an exchange, how many one address may fill:
// `ustawione` when it is set (above 0; all of them from 29); otherwise one
// for an address other than loopback, and all for loopback.
int miejscDlaAdresu(bool petla, int ustawione);

// How far a client's clock is ahead of the server's, in whole seconds
// truncated toward zero. The two are times of day, so the difference is taken
// as the equivalent nearest zero (from -12 h to +12 h): a client at 00:00:01
// is 3 s ahead of a server at 23:59:58, not almost a day behind.
qint32 roznicaSekund(QTime klient, QTime serwer);

// A difference beyond the threshold in either direction is left out of the
// average; one of exactly the threshold counts.
bool czyOdrzucic(qint32 roznica, qint32 prog);

// The Berkeley average: the sum of the accepted differences over the replies
// plus the server itself, whose own difference is 0. Truncated toward zero.
qint32 srednia(qint32 sumaPrzyjetych, qint32 liczbaOdpowiedzi);

// The averaging of one exchange over ordinals 1 to `ile` of the two arrays:
// every outlier is marked as not accepted in `przyjete` and its ordinal
// appended to `odrzucone`, in ascending order; the accepted differences are
// summed in roznice[0], which is left holding the average and returned.
qint32 usrednijRoznice(qint32 roznice[], qint32 przyjete[], qint32 ile, qint32 prog,
                       QList<qint32> &odrzucone);

// What one counted reply leads to.
enum class Zamkniecie {
    Otwarta, // the exchange waits for more replies
    WOknie, // every client asked has answered within the window
    PoOknie, // the window has passed
};

// Whether an exchange closes once `odpowiedzi` of the `oczekiwanych` replies
// have come: all of them within the window, or the window has passed.
Zamkniecie zamkniecieWymiany(qint32 odpowiedzi, qint32 oczekiwanych, qint32 licznikTaktow);

struct Odpowiedz
{
    qint32 n; // its ordinal in the exchange
    bool zCzasem; // it carried a usable time, and so a difference
    qint32 roznica; // in seconds, when it carried a time
    Zamkniecie zamkniecie;
};

// One reply counted in an exchange, taken from a client that was asked and
// has not answered yet: it gets the next ordinal in `liczbaOdpowiedzi`; when
// it carries a time, its difference goes to that ordinal of the arrays (while
// there is room) and the first one restarts the window in `licznikTaktow`.
// A reply without a time takes its ordinal only, and clears the slot so that
// an earlier exchange's difference stays out of this average.
Odpowiedz przyjmijOdpowiedz(qint32 kod, QTime czasKlienta, QTime czasSerwera,
                            qint32 liczbaZapytanych, qint32 &liczbaOdpowiedzi,
                            qint32 &licznikTaktow, qint32 roznice[], qint32 przyjete[]);

// Whether the tick closes an open exchange: one with a difference to average
// whose window has passed, though not every client asked has answered.
inline bool zamknacNaTakcie(bool saRoznice, qint32 licznikTaktow)
{
    return saRoznice && licznikTaktow > oknoOdpowiedzi;
}

#endif // BERKELEY_H
