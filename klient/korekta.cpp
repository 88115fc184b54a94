#include "korekta.h"

#include "sync/doba.h"
#include "zegarSystemowy.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {
constexpr qint64 godzinaMs = 3600 * 1000;
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
        suma += zmiana.second;
    return suma;
}

void StanKorekty::zapisz(qint64 terazMs, const Decyzja &decyzja, bool naStarcie)
{
    ostatniaPlynna = decyzja.sposob == Sposob::Plynnie;
    // The start's steps are granted apart from the hour's bound.
    if (decyzja.sposob == Sposob::Skokiem && naStarcie)
        return;
    zmiany.emplace_back(terazMs, std::abs(decyzja.ms));
}

void StanKorekty::skrocOstatnia(qint64 pozostalo)
{
    if (ostatniaPlynna && !zmiany.empty())
        zmiany.back().second = qMax<qint64>(0, zmiany.back().second - std::abs(pozostalo));
}

Decyzja sposobKorekty(qint64 korekta, const PolitykaKorekty &polityka, StanKorekty &stan,
                      qint64 terazMs)
{
    ++stan.uzgodnionych;
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

QByteArray stanDoPliku(const StanKorekty &stan, const QByteArray &rozruch, qint64 terazMs)
{
    QByteArray dane = "rozruch " + rozruch + "\nzapisano " + QByteArray::number(terazMs)
        + "\nuzgodnionych " + QByteArray::number(stan.uzgodnionych) + "\nplynna "
        + QByteArray::number(int(stan.ostatniaPlynna)) + '\n';
    for (const auto &[kiedy, ile] : stan.zmiany)
        dane += "zmiana " + QByteArray::number(kiedy) + ' ' + QByteArray::number(ile) + '\n';
    return dane;
}

bool stanZPliku(const QByteArray &dane, const QByteArray &rozruch, qint64 terazMs,
                StanKorekty &stan)
{
    StanKorekty wczytany;
    bool tenRozruch = false;
    for (const QByteArray &linia : dane.split('\n')) {
        const QList<QByteArray> pola = linia.split(' ');
        bool ok = true;
        if (pola.size() >= 1 && pola[0] == "rozruch")
            tenRozruch = linia.mid(8) == rozruch;
        else if (pola.size() == 2 && pola[0] == "zapisano")
            ok = pola[1].toLongLong(&ok) <= terazMs && ok;
        else if (pola.size() == 2 && pola[0] == "uzgodnionych")
            wczytany.uzgodnionych = pola[1].toInt(&ok);
        else if (pola.size() == 2 && pola[0] == "plynna")
            wczytany.ostatniaPlynna = pola[1] == "1";
        else if (pola.size() == 3 && pola[0] == "zmiana") {
            bool ok2 = true;
            wczytany.zmiany.emplace_back(pola[1].toLongLong(&ok), pola[2].toLongLong(&ok2));
            // A time still to come belongs to another start of the machine.
            ok = ok && ok2 && wczytany.zmiany.back().first <= terazMs
                && wczytany.zmiany.back().second >= 0;
        } else if (!linia.isEmpty())
            ok = false;
        if (!ok)
            return false;
    }
    if (!tenRozruch || wczytany.uzgodnionych < 0)
        return false;
    stan = wczytany;
    return true;
}

ZegarMaszyny::ZegarMaszyny(ZegarSystemowy &systemowy, const PolitykaKorekty &polityka,
                           Wypisz wypisz, const QString &plikStanu)
    : systemowy(systemowy)
    , polityka(polityka)
    , wypisz(std::move(wypisz))
    , plikStanu(plikStanu)
{
    QFile plik(plikStanu);
    if (!plikStanu.isEmpty() && plik.open(QIODevice::ReadOnly))
        stanZPliku(plik.readAll(), systemowy.rozruch(), systemowy.monotonicznyMs(), stan);
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
    const Decyzja decyzja = sposobKorekty(korekta, polityka, stan, teraz);
    const bool start = naStarcie(polityka, stan.uzgodnionych);
    const auto zachowaj = [this] {
        QSaveFile plik(plikStanu);
        if (!plikStanu.isEmpty() && plik.open(QIODevice::WriteOnly)) {
            plik.write(stanDoPliku(stan, systemowy.rozruch(), systemowy.monotonicznyMs()));
            plik.commit();
        }
    };
    zachowaj(); // the agreed times counted, whatever follows
    switch (decyzja.sposob) {
    case Sposob::BezZmian:
        wypisz(poczatek + QStringLiteral("nie zastosowano, tylko pomiar"), false);
        return false;
    case Sposob::BezZmiany:
        wypisz(poczatek + QStringLiteral("zegar zgodny, bez zmiany"), false);
        return true;
    case Sposob::Odrzucona:
        wypisz(poczatek
                   + QStringLiteral("odrzucono, większa niż %1 s (--maks-korekta): serwer może "
                                    "działać w innej strefie czasowej albo to nie ten serwer, a "
                                    "zegar tak odległy trzeba ustawić ręcznie")
                         .arg(polityka.maksKorektaMs / 1000),
               false);
        return false;
    case Sposob::Niepotwierdzona:
        wypisz(poczatek
                   + QStringLiteral("odrzucono na razie: po pierwszych %1 czasach uzgodnionych "
                                    "zegar jest przestawiany (o %2 s i więcej, --prog-skoku) "
                                    "dopiero, gdy zgodzą się na to %3 kolejne wymiany; zgodnych "
                                    "dotąd: %4")
                         .arg(polityka.skokowNaStarcie)
                         .arg(double(polityka.progSkokuMs) / 1000)
                         .arg(PolitykaKorekty::potwierdzen)
                         .arg(stan.niepotwierdzone.size()),
               false);
        return false;
    case Sposob::PonadGodzine:
        wypisz(poczatek
                   + QStringLiteral("odrzucono: w ciągu ostatniej godziny zegar przesunięto już "
                                    "o %1, a wolno najwyżej o %2 s (--maks-na-godzine)")
                         .arg(opisKorekty(stan.wGodzinie(teraz)).mid(1))
                         .arg(double(polityka.maksNaGodzineMs) / 1000),
               false);
        return false;
    case Sposob::Plynnie:
    case Sposob::Skokiem:
        break;
    }

    const bool plynnie = decyzja.sposob == Sposob::Plynnie;
    qint64 pozostalo = 0;
    const int blad
        = plynnie ? systemowy.przesun(decyzja.ms, pozostalo) : systemowy.przestaw(decyzja.ms);
    if (blad == 0) {
        stan.skrocOstatnia(pozostalo);
        stan.zapisz(teraz, decyzja, start);
        zachowaj();
        QString linia = poczatek
            + (plynnie ? QStringLiteral("wprowadzana płynnie (%1)").arg(wywolaniePlynne)
                       : QStringLiteral("zegar przestawiony (%1)").arg(wywolanieSkoku));
        if (decyzja.ms != korekta)
            linia += QStringLiteral(" w części %1: więcej w ciągu godziny nie wolno "
                                    "(--maks-na-godzine %2 s)")
                         .arg(opisKorekty(decyzja.ms))
                         .arg(double(polityka.maksNaGodzineMs) / 1000);
        wypisz(linia, true);
        return true;
    }
    polityka.bezZmian = true;
    brakUprawnien = blad == EPERM;
    if (blad == EPERM)
        wypisz(QStringLiteral("brak uprawnienia do zmiany zegara systemowego (%1); odtąd tylko "
                              "pomiar")
                   .arg(wskazowkaUprawnien()),
               true);
    else
        wypisz(QStringLiteral("nie można zmienić zegara systemowego (%1); odtąd tylko pomiar")
                   .arg(opisBleduZegara(blad)),
               true);
    wypisz(poczatek + QStringLiteral("nie zastosowano"), false);
    return false;
}
