#include "korekta.h"

#include "sync/doba.h"
#include "zegarSystemowy.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <utility>

namespace {
constexpr qint64 godzinaMs = 3600 * 1000;
// A minute's entry holds no more than an hour allows at most: a day, with
// fast convergence and the largest bound an hour.
constexpr qint64 najwiecejWpisuMs = 24 * godzinaMs;
// Ours holds a few lines and at most about sixty changes; a larger file is
// not one.
constexpr qint64 najwiekszyStan = 64 * 1024;
} // namespace

qint64 korektaMs(QTime uzgodniony, QTime lokalny)
{
    return roznicaMs(uzgodniony, lokalny);
}

qint64 StanKorekty::wGodzinie(qint64 terazMs)
{
    while (!zmiany.empty() && terazMs - zmiany.front().first >= godzinaMs)
        zmiany.pop_front();
    qint64 suma = 0;
    for (const auto &zmiana : zmiany)
        suma = zmiana.second > std::numeric_limits<qint64>::max() - suma
            ? std::numeric_limits<qint64>::max()
            : suma + zmiana.second;
    return suma;
}

void StanKorekty::zapisz(qint64 terazMs, const Decyzja &decyzja, bool naStarcie)
{
    ostatniaPlynna = decyzja.sposob == Sposob::Plynnie;
    // The start's steps are granted apart from the hour's bound.
    if (decyzja.sposob == Sposob::Skokiem && naStarcie)
        return;
    wGodzinie(terazMs);
    const qint64 ile = std::abs(decyzja.ms);
    // One entry a minute of the monotonic clock, dated by its latest
    // change: the sum leaves the hour no sooner than its last part.
    if (!zmiany.empty() && terazMs >= zmiany.back().first
        && terazMs / scalanieMs == zmiany.back().first / scalanieMs) {
        zmiany.back() = {terazMs, zmiany.back().second + ile};
        return;
    }
    zmiany.emplace_back(terazMs, ile);
}

void StanKorekty::skrocOstatnia(qint64 pozostalo)
{
    if (ostatniaPlynna && !zmiany.empty())
        zmiany.back().second = qMax<qint64>(0, zmiany.back().second - std::abs(pozostalo));
}

void StanKorekty::policzUzgodniony()
{
    if (uzgodnionych < std::numeric_limits<int>::max())
        ++uzgodnionych;
}

Decyzja sposobKorekty(qint64 korekta, const PolitykaKorekty &polityka, StanKorekty &stan,
                      qint64 terazMs)
{
    stan.policzUzgodniony();
    if (polityka.bezZmian)
        return {Sposob::BezZmian, 0};
    const qint64 wielkosc = std::abs(korekta);
    const bool skok = wielkosc >= polityka.progSkokuMs;
    if (!skok || wielkosc > polityka.maksKorektaMs)
        stan.niepotwierdzone.clear(); // the row of large ones is broken
    if (wielkosc > polityka.maksKorektaMs)
        return {Sposob::Odrzucona, 0};
    if (korekta == 0)
        return {Sposob::BezZmiany, 0};
    if (skok && naStarcie(polityka, stan.uzgodnionych))
        return {Sposob::Skokiem, korekta};

    const qint64 zostalo = polityka.maksNaGodzineMs - stan.wGodzinie(terazMs);
    if (skok && polityka.szybkaZbieznosc) {
        // Confirmed when the last few all ask for much the same step.
        if (std::any_of(stan.niepotwierdzone.cbegin(), stan.niepotwierdzone.cend(),
                        [korekta](qint64 wczesniejsza) {
                            return std::abs(wczesniejsza - korekta) > PolitykaKorekty::zgodnoscMs;
                        }))
            stan.niepotwierdzone.clear();
        stan.niepotwierdzone.append(korekta);
        if (stan.niepotwierdzone.size() < PolitykaKorekty::potwierdzen)
            return {Sposob::Niepotwierdzona, 0};
        stan.niepotwierdzone.clear();
        if (wielkosc > zostalo)
            return {Sposob::PonadGodzine, 0};
        return {Sposob::Skokiem, korekta};
    }
    // A slew, of as much as the hour still allows.
    if (zostalo <= 0)
        return {Sposob::PonadGodzine, 0};
    return {Sposob::Plynnie, korekta < 0 ? -qMin(wielkosc, zostalo) : qMin(wielkosc, zostalo)};
}

QString opisKorekty(qint64 korekta)
{
    return QStringLiteral("%1%2.%3 s")
        .arg(korekta < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(std::abs(korekta) / 1000)
        .arg(std::abs(korekta) % 1000, 3, 10, QLatin1Char('0'));
}

bool zapiszCaly(const QString &sciezka, const QByteArray &dane, QString &powod)
{
    QSaveFile plik(sciezka);
    // Qt keeps what is written in a buffer of its own, and commit() does not
    // tell when emptying it failed (a full disk): it is emptied and checked
    // first, and a file not written whole never takes the old one's place.
    if (!plik.open(QIODevice::WriteOnly) || plik.write(dane) != dane.size() || !plik.flush()) {
        powod = plik.errorString();
        plik.cancelWriting();
        plik.commit(); // takes the unfinished file away
        return false;
    }
    if (!plik.commit()) {
        powod = plik.errorString();
        return false;
    }
    return true;
}

QByteArray stanDoPliku(const StanKorekty &stan, const QByteArray &rozruch, qint64 terazMs)
{
    QByteArray dane = "rozruch " + rozruch + "\nzapisano " + QByteArray::number(terazMs)
        + "\nuzgodnionych " + QByteArray::number(stan.uzgodnionych) + "\nplynna "
        + QByteArray::number(int(stan.ostatniaPlynna)) + '\n';
    for (const auto &[kiedy, ile] : stan.zmiany)
        dane += "zmiana " + QByteArray::number(kiedy) + ' ' + QByteArray::number(ile) + '\n';
    return dane;
}

WczytanieStanu stanZPliku(const QByteArray &dane, const QByteArray &rozruch, qint64 terazMs,
                          StanKorekty &stan)
{
    StanKorekty wczytany;
    QByteArray zapisanyRozruch;
    qint64 zapisano = -1;
    qint64 poprzednia = 0; // the time of the change before
    bool plynna = false;
    int naglowkow = 0; // of the four lines every state has
    const QList<QByteArray> linie = dane.split('\n');
    // Cut short, a file does not end where a line does.
    if (!dane.endsWith('\n'))
        return {WczytanieStanu::Uszkodzony, int(linie.size())};
    for (int nr = 1; nr < linie.size(); ++nr) {
        QByteArray linia = linie[nr - 1];
        if (linia.endsWith('\r'))
            linia.chop(1);
        const QList<QByteArray> pola = linia.split(' ');
        bool ok = false;
        if (pola[0] == "rozruch") {
            zapisanyRozruch = linia.mid(8);
            ok = true;
            ++naglowkow;
        } else if (pola.size() == 2 && pola[0] == "zapisano") {
            zapisano = pola[1].toLongLong(&ok);
            ok = ok && zapisano >= 0;
            ++naglowkow;
        } else if (pola.size() == 2 && pola[0] == "uzgodnionych") {
            wczytany.uzgodnionych = pola[1].toInt(&ok);
            ok = ok && wczytany.uzgodnionych >= 0;
            ++naglowkow;
        } else if (pola.size() == 2 && pola[0] == "plynna") {
            ok = pola[1] == "0" || pola[1] == "1";
            plynna = pola[1] == "1";
            ++naglowkow;
        } else if (pola.size() == 3 && pola[0] == "zmiana") {
            bool ok2 = false;
            const qint64 kiedy = pola[1].toLongLong(&ok);
            const qint64 ile = pola[2].toLongLong(&ok2);
            // In the order they were made, as the client writes them, so that
            // what is read is what it would write again.
            ok = ok && ok2 && kiedy >= poprzednia && kiedy <= zapisano && ile >= 0
                && ile <= najwiecejWpisuMs;
            poprzednia = kiedy;
            wczytany.zapisz(kiedy, {Sposob::Plynnie, ile}, false);
            // Lines of one minute are one entry, which must read back too.
            ok = ok && wczytany.zmiany.back().second <= najwiecejWpisuMs;
        }
        if (!ok)
            return {WczytanieStanu::Uszkodzony, nr};
    }
    if (naglowkow != 4)
        return {WczytanieStanu::Uszkodzony, int(linie.size())};
    const bool znane = !rozruch.isEmpty() && !zapisanyRozruch.isEmpty();
    if (znane && zapisanyRozruch != rozruch)
        return {WczytanieStanu::InnyRozruch};
    // The monotonic clock begins again with the machine: a state from its
    // future is from an earlier start.
    if (zapisano > terazMs)
        return {znane ? WczytanieStanu::Uszkodzony : WczytanieStanu::InnyRozruch, 2};
    wczytany.ostatniaPlynna = plynna;
    stan = wczytany;
    return {znane ? WczytanieStanu::TenRozruch : WczytanieStanu::BezRozruchu};
}

ZegarMaszyny::ZegarMaszyny(ZegarSystemowy &zegarSystemu, const PolitykaKorekty &dozwolone,
                           Wypisz wypisywanie, const QString &sciezkaStanu,
                           std::function<void()> przyPoddaniu)
    : systemowy(zegarSystemu)
    , polityka(dozwolone)
    , wypisz(std::move(wypisywanie))
    , plikStanu(sciezkaStanu)
    , poddajSie(std::move(przyPoddaniu))
{
    wczytaj();
}

ZegarMaszyny::~ZegarMaszyny()
{
    if (niezapisany)
        zachowaj(stan);
}

// One line says what the state is and what is done with it: whatever is
// wrong with it, the client starts as after a reboot, never with more.
void ZegarMaszyny::wczytaj()
{
    if (plikStanu.isEmpty())
        return;
    const QString odNowa = QStringLiteral("zaczynam jak po ponownym uruchomieniu maszyny: %1 "
                                          "skoki na starcie i pełna godzina")
                               .arg(polityka.skokowNaStarcie);
    QFile plik(plikStanu);
    if (!plik.exists()) {
        wypisz(QStringLiteral("stanu %1 jeszcze nie ma: %2").arg(plikStanu, odNowa),
               usluga::Informacja);
        return;
    }
    if (!plik.open(QIODevice::ReadOnly)) {
        wypisz(QStringLiteral("nie można odczytać stanu %1 (%2): %3")
                   .arg(plikStanu, plik.errorString(), odNowa),
               usluga::Ostrzezenie);
        return;
    }
    const QByteArray dane = plik.read(najwiekszyStan + 1);
    const WczytanieStanu w = dane.size() > najwiekszyStan
        ? WczytanieStanu {WczytanieStanu::Uszkodzony, 0}
        : stanZPliku(dane, systemowy.rozruch(), systemowy.monotonicznyMs(), stan);
    const QString co = QStringLiteral("%1 czasów uzgodnionych, w ostatniej godzinie zegar "
                                      "przesunięto o %2")
                           .arg(stan.uzgodnionych)
                           .arg(opisKorekty(stan.wGodzinie(systemowy.monotonicznyMs())).mid(1));
    switch (w.wynik) {
    case WczytanieStanu::TenRozruch:
        wypisz(QStringLiteral("stan %1: %2").arg(plikStanu, co), usluga::Informacja);
        break;
    case WczytanieStanu::BezRozruchu:
        wypisz(QStringLiteral("stan %1 (ten sam rozruch maszyny, jak wskazuje zegar "
                              "monotoniczny; system nie podaje identyfikatora rozruchu): %2")
                   .arg(plikStanu, co),
               usluga::Informacja);
        break;
    case WczytanieStanu::InnyRozruch:
        wypisz(QStringLiteral("stan %1 sprzed ponownego uruchomienia maszyny: %2")
                   .arg(plikStanu, odNowa),
               usluga::Informacja);
        break;
    case WczytanieStanu::Uszkodzony:
        niezapisany = true; // written anew at the first chance
        wypisz(QStringLiteral("stan %1 jest uszkodzony (linia %2), pomijam go: %3")
                   .arg(plikStanu)
                   .arg(w.linia)
                   .arg(odNowa),
               usluga::Ostrzezenie);
        break;
    }
}

// Written whole, durably, or not at all; a failure is said once, and so is
// the first success after it.
void ZegarMaszyny::zachowaj(const StanKorekty &doZapisu)
{
    if (plikStanu.isEmpty())
        return;
    QString powod;
    const bool zapisano = zapiszCaly(
        plikStanu, stanDoPliku(doZapisu, systemowy.rozruch(), systemowy.monotonicznyMs()), powod);
    niezapisany = !zapisano;
    if (!zapisano && !std::exchange(zapisZawodzi, true))
        wypisz(QStringLiteral("nie można zapisać stanu %1 (%2): zostaje poprzedni, a po "
                              "ponownym uruchomieniu klient znów dostałby %3 skoki na starcie; "
                              "ponawiam przy kolejnych wymianach")
                   .arg(plikStanu, powod)
                   .arg(polityka.skokowNaStarcie),
               usluga::Blad);
    else if (zapisano && std::exchange(zapisZawodzi, false))
        wypisz(QStringLiteral("stan %1 znów zapisany").arg(plikStanu), usluga::Informacja);
}

QTime ZegarMaszyny::czas() const
{
    return systemowy.czas();
}

bool ZegarMaszyny::ustaw(QTime uzgodniony)
{
    const qint64 korekta = korektaMs(uzgodniony, systemowy.czas());
    const QString poczatek
        = QStringLiteral("korekta ") + opisKorekty(korekta) + QStringLiteral(": ");
    const qint64 teraz = systemowy.monotonicznyMs();
    if (!przyjmuje(poczatek, teraz))
        return false;
    const Decyzja decyzja = sposobKorekty(korekta, polityka, stan, teraz);
    // Past the start's steps the count no longer decides anything.
    niezapisany = niezapisany || stan.uzgodnionych <= polityka.skokowNaStarcie + 1;
    if (decyzja.sposob != Sposob::Plynnie && decyzja.sposob != Sposob::Skokiem) {
        if (niezapisany)
            zachowaj(stan);
        const auto [tresc, waga] = dlaczegoBezZmiany(decyzja.sposob, teraz);
        wypisz(poczatek + tresc, waga);
        return decyzja.sposob == Sposob::BezZmiany;
    }
    return zmien(decyzja, korekta, poczatek, teraz);
}

// Whether an agreed time is taken now: at most every 5 s, and not while a
// refused change waits to be tried again.
bool ZegarMaszyny::przyjmuje(const QString &poczatek, qint64 teraz)
{
    if (przyjetoMs >= 0 && teraz - przyjetoMs < PolitykaKorekty::najkrotszyOdstepMs) {
        if (!std::exchange(zaWczesniePowiedziane, true))
            wypisz(poczatek
                       + QStringLiteral("pominięta: czas uzgodniony przyjmuję najwyżej co %1 s, "
                                        "poprzedni przyjęto %2 s temu")
                             .arg(PolitykaKorekty::najkrotszyOdstepMs / 1000)
                             .arg(double(teraz - przyjetoMs) / 1000, 0, 'f', 1),
                   usluga::Ostrzezenie);
        return false;
    }
    przyjetoMs = teraz;
    zaWczesniePowiedziane = false;
    if (teraz < ponowienieOdMs) {
        wypisz(poczatek
                   + QStringLiteral("nie zastosowano: zegara nie dało się zmienić, ponowię za "
                                    "%1 s")
                         .arg((ponowienieOdMs - teraz + 999) / 1000),
               usluga::Ostrzezenie);
        return false;
    }
    return true;
}

// Why the clock is left as it is, and how serious that is.
std::pair<QString, usluga::Waga> ZegarMaszyny::dlaczegoBezZmiany(Sposob sposob, qint64 teraz)
{
    switch (sposob) {
    case Sposob::BezZmian:
        return {QStringLiteral("nie zastosowano, tylko pomiar"), usluga::Informacja};
    case Sposob::BezZmiany:
        return {QStringLiteral("zegar zgodny, bez zmiany"), usluga::Informacja};
    case Sposob::Odrzucona:
        return {QStringLiteral("odrzucono, większa niż %1 s (--maks-korekta): serwer może "
                               "działać w innej strefie czasowej albo to nie ten serwer, a "
                               "zegar tak odległy trzeba ustawić ręcznie")
                    .arg(polityka.maksKorektaMs / 1000),
                usluga::Ostrzezenie};
    case Sposob::Niepotwierdzona:
        return {QStringLiteral("odrzucono na razie: po pierwszych %1 czasach uzgodnionych "
                               "zegar jest przestawiany (o %2 s i więcej, --prog-skoku) "
                               "dopiero, gdy zgodzą się na to %3 kolejne wymiany; zgodnych "
                               "dotąd: %4")
                    .arg(polityka.skokowNaStarcie)
                    .arg(double(polityka.progSkokuMs) / 1000)
                    .arg(PolitykaKorekty::potwierdzen)
                    .arg(stan.niepotwierdzone.size()),
                usluga::Ostrzezenie};
    case Sposob::PonadGodzine:
    case Sposob::Plynnie:
    case Sposob::Skokiem:
        break;
    }
    return {QStringLiteral("odrzucono: w ciągu ostatniej godziny zegar przesunięto już o %1, "
                           "a wolno najwyżej o %2 s (--maks-na-godzine)")
                .arg(opisKorekty(stan.wGodzinie(teraz)).mid(1))
                .arg(double(polityka.maksNaGodzineMs) / 1000),
            usluga::Ostrzezenie};
}

// The clock slewed or stepped, the change on its way to the disk first.
bool ZegarMaszyny::zmien(const Decyzja &decyzja, qint64 korekta, const QString &poczatek,
                         qint64 teraz)
{
    const bool start = naStarcie(polityka, stan.uzgodnionych);
    // On its way to the disk before the clock moves, as if made: a crash in
    // between must not give the change again.
    StanKorekty zmieniony = stan;
    zmieniony.zapisz(teraz, decyzja, start);
    zachowaj(zmieniony);
    const bool plynnie = decyzja.sposob == Sposob::Plynnie;
    qint64 pozostalo = 0;
    const int blad
        = plynnie ? systemowy.przesun(decyzja.ms, pozostalo) : systemowy.przestaw(decyzja.ms);
    if (blad != 0) {
        // A step that was not made is not one of the start's.
        if (!plynnie && start)
            --stan.uzgodnionych;
        niezapisany = true;
        return zawiodlaZmiana(blad, poczatek, teraz);
    }
    bledowZRzedu = 0;
    stan.skrocOstatnia(pozostalo);
    stan.zapisz(teraz, decyzja, start);
    niezapisany = niezapisany || pozostalo != 0; // the file has what the slew before left undone
    QString linia = poczatek
        + (plynnie ? QStringLiteral("wprowadzana płynnie (%1)").arg(wywolaniePlynne)
                   : QStringLiteral("zegar przestawiony (%1)").arg(wywolanieSkoku));
    if (decyzja.ms != korekta)
        linia += QStringLiteral(" w części %1: więcej w ciągu godziny nie wolno "
                                "(--maks-na-godzine %2 s)")
                     .arg(opisKorekty(decyzja.ms))
                     .arg(double(polityka.maksNaGodzineMs) / 1000);
    wypisz(linia, usluga::Uwaga);
    return true;
}

// A refused change is tried again later, less and less often; one that keeps
// failing ends the client, so that a service does not look healthy while it
// only measures.
bool ZegarMaszyny::zawiodlaZmiana(int blad, const QString &poczatek, qint64 teraz)
{
    zawiodlaKiedys = true;
    ++bledowZRzedu;
    const QString powod = blad == EPERM
        ? QStringLiteral("brak uprawnienia do zmiany zegara systemowego (%1)")
              .arg(wskazowkaUprawnien())
        : QStringLiteral("system nie zmienił zegara (%1)").arg(systemowy.opisBledu(blad));
    if (bledowZRzedu >= PolitykaKorekty::bledowNajwyzej) {
        wypisz(poczatek
                   + QStringLiteral("nie zastosowano: %1; to %2. nieudana próba z rzędu, kończę "
                                    "pracę")
                         .arg(powod)
                         .arg(bledowZRzedu),
               usluga::Blad);
        if (poddajSie)
            poddajSie();
        return false;
    }
    const qint64 za = PolitykaKorekty::ponowienieZmianyMs << (bledowZRzedu - 1);
    ponowienieOdMs = teraz + za;
    wypisz(poczatek
               + QStringLiteral("nie zastosowano: %1; ponowię nie wcześniej niż za %2 s")
                     .arg(powod)
                     .arg(za / 1000),
           usluga::Blad);
    return false;
}
