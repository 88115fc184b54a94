#ifndef KOREKTA_H
#define KOREKTA_H

#include "app/waga.h"
#include "zegarKlienta.h"
#include "zmianaZegara.h"

#include <QList>
#include <QString>

#include <deque>
#include <functional>
#include <utility>

class ZegarSystemowy;

// What the client may do to this machine's clock. As the established time
// daemons do, it steps the clock only at start; after that it only slews it,
// and no hour moves it more than a slew at the system's rate can (1.8 s), so
// that no server, or whoever stands in for one, can run a clock away by
// more than 43 s a day. A lab that wants fast convergence and trusts its
// server asks for steps later too (`szybkaZbieznosc`): a step once three
// agreed times in a row ask for it, and up to 1200 s an hour.
struct PolitykaKorekty
{
    qint64 progSkokuMs = 1000; // smaller corrections are slewed, larger stepped
    qint64 maksKorektaMs = 1200 * 1000; // larger ones are refused
    int skokowNaStarcie = 3; // agreed times after start that may step at once
    qint64 maksNaGodzineMs = plynnieNaGodzineMs; // all corrections of any hour together
    bool szybkaZbieznosc = false; // steps after the start too, confirmed
    bool bezZmian = false; // measure and report only

    // With `szybkaZbieznosc`, the bound of an hour unless one is given.
    static constexpr qint64 maksNaGodzineSzybkoMs = 1200 * 1000;
    // Later steps are taken when this many consecutive agreed times ask
    // for them, all within `zgodnoscMs` of each other.
    static constexpr int potwierdzen = 3;
    static constexpr qint64 zgodnoscMs = 1000;
    // Agreed times are taken at most this often: a server asks every 10 s
    // at the most, and one that runs exchanges back to back must not make
    // the client write its state and its lines as fast.
    static constexpr qint64 najkrotszyOdstepMs = 5000;
    // A change the system refuses is tried again after a minute, then after
    // twice as long each time; after this many failures in a row the
    // client ends, so that the service manager sees it fail.
    static constexpr qint64 ponowienieZmianyMs = 60'000;
    static constexpr int bledowNajwyzej = 5;
};

enum class Sposob {
    Plynnie, // slewed: the clock never runs backwards
    Skokiem, // stepped
    BezZmiany, // nothing to correct
    Odrzucona, // beyond the limit: not applied
    Niepotwierdzona, // a step after start, not yet confirmed (fast convergence)
    PonadGodzine, // the hour's bound is spent
    BezZmian, // measure only
};

// What to do with a correction, and how much of it: a slew is cut to what
// the hour still allows.
struct Decyzja
{
    Sposob sposob;
    qint64 ms;
};

// What earlier agreed times leave for the later: how many came, the large
// corrections asked in a row and not yet taken, and what the clock was moved
// within the last hour (monotonic ms, ms) but for the start's steps.
// Changes of one minute of the monotonic clock are summed in one entry,
// dated by the latest, so that an hour holds at most sixty-one however often
// the clock is changed.
struct StanKorekty
{
    int uzgodnionych = 0; // saturates, never wraps
    QList<qint64> niepotwierdzone;
    std::deque<std::pair<qint64, qint64>> zmiany;
    // The last change was a slew, which the next may cut short.
    bool ostatniaPlynna = false;

    static constexpr qint64 scalanieMs = 60'000;

    // The changes within the hour before `terazMs`, together; older ones are
    // forgotten.
    qint64 wGodzinie(qint64 terazMs);
    // A change taken at `terazMs`.
    void zapisz(qint64 terazMs, const Decyzja &decyzja, bool naStarcie);
    // A slew cut short by the next, `pozostalo` ms of it not made.
    void skrocOstatnia(qint64 pozostalo);
    void policzUzgodniony();
};

// The correction an agreed time asks of a clock that reads `lokalny`: the
// difference taken nearest zero (within ±12 h), so it is right across
// midnight.
qint64 korektaMs(QTime uzgodniony, QTime lokalny);

// What to do with the correction of the next agreed time, at monotonic
// time `terazMs`; it counts the agreed time in `stan`. One that is taken is
// recorded by the caller once done (StanKorekty::zapisz).
Decyzja sposobKorekty(qint64 korektaMs, const PolitykaKorekty &polityka, StanKorekty &stan,
                      qint64 terazMs);

// Whether a correction of this agreed time, the `uzgodnionych`-th, may step.
inline bool naStarcie(const PolitykaKorekty &polityka, int uzgodnionych)
{
    return uzgodnionych <= polityka.skokowNaStarcie;
}

// The state as a file keeps it, and back. It holds within one start of the
// machine (`rozruch`), where the monotonic clock has not begun again; where
// either start is not known (an empty `rozruch`), a state dated later than
// `terazMs` is of another start and one dated earlier is taken as of this
// one. Lines may end with CR LF, as an editor on Windows leaves them.
QByteArray stanDoPliku(const StanKorekty &stan, const QByteArray &rozruch, qint64 terazMs);
struct WczytanieStanu
{
    enum Wynik {
        TenRozruch, // taken
        BezRozruchu, // taken, by the monotonic clock alone
        InnyRozruch, // the machine has started again since: begun afresh
        Uszkodzony, // not a state: begun afresh
    };
    Wynik wynik;
    int linia = 0; // of the first fault, when Uszkodzony
};
WczytanieStanu stanZPliku(const QByteArray &dane, const QByteArray &rozruch, qint64 terazMs,
                          StanKorekty &stan);

// `dane` in place of the file at `sciezka`, whole and durably, or nothing
// changed, with why in `powod`.
bool zapiszCaly(const QString &sciezka, const QByteArray &dane, QString &powod);

// "+0.312 s", "-5000.000 s".
QString opisKorekty(qint64 korektaMs);

// This machine's clock as the clock of a client: it reports the system time
// of day, and brings the system clock to each agreed time within the policy,
// saying in one line per exchange what it did. Without the privilege to
// change the clock it says what is missing and tries again later; after
// repeated failures it gives up (`poddajSie`), so that a service shows it
// failed. Its state outlives the program in a file, when given one, so that
// a restart grants no new steps and no new hour: written durably before the
// clock is changed, once an exchange at most, and only when it matters.
class ZegarMaszyny : public ZegarKlienta
{
public:
    using Wypisz = std::function<void(const QString &linia, usluga::Waga waga)>;
    ZegarMaszyny(ZegarSystemowy &zegarSystemu, const PolitykaKorekty &dozwolone, Wypisz wypisywanie,
                 const QString &sciezkaStanu = QString(), std::function<void()> przyPoddaniu = {});
    ~ZegarMaszyny() override;
    QTime czas() const override;
    bool ustaw(QTime uzgodniony) override;
    // A change of the clock has failed in this run.
    bool zawiodl() const { return zawiodlaKiedys; }

private:
    void wczytaj();
    bool przyjmuje(const QString &poczatek, qint64 teraz);
    std::pair<QString, usluga::Waga> dlaczegoBezZmiany(Sposob sposob, qint64 teraz);
    bool zmien(const Decyzja &decyzja, qint64 korekta, const QString &poczatek, qint64 teraz);
    void zachowaj(const StanKorekty &doZapisu);
    bool zawiodlaZmiana(int blad, const QString &poczatek, qint64 teraz);

    ZegarSystemowy &systemowy;
    PolitykaKorekty polityka;
    StanKorekty stan;
    Wypisz wypisz;
    QString plikStanu;
    std::function<void()> poddajSie;
    bool niezapisany = false; // the state has changed since it was last written
    bool zapisZawodzi = false; // and writing it failed, which was said
    qint64 przyjetoMs = -1; // monotonic time of the last agreed time taken
    bool zaWczesniePowiedziane = false;
    int bledowZRzedu = 0;
    bool zawiodlaKiedys = false;
    qint64 ponowienieOdMs = 0; // no change is tried before
};

#endif // KOREKTA_H
