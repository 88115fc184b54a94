#include "korekta.h"

#include "sync/doba.h"
#include "zegarSystemowy.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

qint64 korektaMs(QTime uzgodniony, QTime lokalny)
{
    return roznicaMs(uzgodniony, lokalny);
}

qint64 StanKorekty::wGodzinie(qint64 terazMs)
{
    constexpr qint64 godzinaMs = 3600 * 1000;
    while (!zmiany.empty() && terazMs - zmiany.front().first >= godzinaMs)
        zmiany.pop_front();
    qint64 suma = 0;
    for (const auto &zmiana : zmiany)
        suma += zmiana.second;
    return suma;
}

Sposob sposobKorekty(qint64 korekta, const PolitykaKorekty &polityka, StanKorekty &stan,
                     qint64 terazMs)
{
    ++stan.uzgodnionych;
    if (polityka.bezZmian)
        return Sposob::BezZmian;
    const bool skok = std::abs(korekta) >= polityka.progSkokuMs;
    if (!skok || std::abs(korekta) > polityka.maksKorektaMs)
        stan.niepotwierdzone.clear(); // the row of large ones is broken
    if (std::abs(korekta) > polityka.maksKorektaMs)
        return Sposob::Odrzucona;
    if (skok && stan.uzgodnionych > polityka.skokowNaStarcie) {
        // Confirmed when the last few all ask for much the same step.
        if (std::any_of(stan.niepotwierdzone.cbegin(), stan.niepotwierdzone.cend(),
                        [korekta](qint64 wczesniejsza) {
                            return std::abs(wczesniejsza - korekta) > PolitykaKorekty::zgodnoscMs;
                        }))
            stan.niepotwierdzone.clear();
        stan.niepotwierdzone.append(korekta);
        if (stan.niepotwierdzone.size() < PolitykaKorekty::potwierdzen)
            return Sposob::Niepotwierdzona;
        stan.niepotwierdzone.clear();
    }
    if (stan.wGodzinie(terazMs) + std::abs(korekta) > polityka.maksNaGodzineMs)
        return Sposob::PonadGodzine;
    return skok ? Sposob::Skokiem : Sposob::Plynnie;
}

QString opisKorekty(qint64 korekta)
{
    return QStringLiteral("%1%2.%3 s")
        .arg(korekta < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(std::abs(korekta) / 1000)
        .arg(std::abs(korekta) % 1000, 3, 10, QLatin1Char('0'));
}

ZegarMaszyny::ZegarMaszyny(ZegarSystemowy &systemowy, const PolitykaKorekty &polityka,
                           std::function<void(const QString &)> wypisz)
    : systemowy(systemowy)
    , polityka(polityka)
    , wypisz(std::move(wypisz))
{
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
    const Sposob sposob = sposobKorekty(korekta, polityka, stan, teraz);
    switch (sposob) {
    case Sposob::BezZmian:
        wypisz(poczatek + QStringLiteral("nie zastosowano, tylko pomiar"));
        return false;
    case Sposob::Odrzucona:
        wypisz(poczatek
               + QStringLiteral("odrzucono, większa niż %1 s (--maks-korekta): serwer może "
                                "działać w innej strefie czasowej albo to nie ten serwer, a zegar "
                                "tak odległy trzeba ustawić ręcznie")
                     .arg(polityka.maksKorektaMs / 1000));
        return false;
    case Sposob::Niepotwierdzona:
        wypisz(poczatek
               + QStringLiteral("odrzucono na razie: po pierwszych %1 czasach uzgodnionych zegar "
                                "jest przestawiany (o %2 s i więcej, --prog-skoku) dopiero, gdy "
                                "zgodzą się na to %3 kolejne wymiany; zgodnych dotąd: %4")
                     .arg(polityka.skokowNaStarcie)
                     .arg(double(polityka.progSkokuMs) / 1000)
                     .arg(PolitykaKorekty::potwierdzen)
                     .arg(stan.niepotwierdzone.size()));
        return false;
    case Sposob::PonadGodzine:
        wypisz(poczatek
               + QStringLiteral("odrzucono: w ciągu ostatniej godziny zegar przesunięto już o "
                                "%1, a wolno najwyżej o %2 s (--maks-na-godzine)")
                     .arg(opisKorekty(stan.wGodzinie(teraz)).mid(1))
                     .arg(double(polityka.maksNaGodzineMs) / 1000));
        return false;
    case Sposob::Plynnie:
    case Sposob::Skokiem:
        break;
    }

    const bool plynnie = sposob == Sposob::Plynnie;
    const int blad = plynnie ? systemowy.przesun(korekta) : systemowy.przestaw(korekta);
    if (blad == 0) {
        stan.zmiany.emplace_back(teraz, std::abs(korekta));
        wypisz(poczatek
               + (plynnie ? QStringLiteral("wprowadzana płynnie (%1)").arg(wywolaniePlynne)
                          : QStringLiteral("zegar przestawiony (%1)").arg(wywolanieSkoku)));
        return true;
    }
    polityka.bezZmian = true;
    if (blad == EPERM)
        wypisz(QStringLiteral("brak uprawnienia do zmiany zegara systemowego (%1); odtąd tylko "
                              "pomiar")
                   .arg(wskazowkaUprawnien()));
    else
        wypisz(QStringLiteral("nie można zmienić zegara systemowego (%1); odtąd tylko pomiar")
                   .arg(opisBleduZegara(blad)));
    wypisz(poczatek + QStringLiteral("nie zastosowano"));
    return false;
}
