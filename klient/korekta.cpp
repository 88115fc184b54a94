#include "korekta.h"

#include "sync/doba.h"
#include "zegarSystemowy.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

qint64 korektaMs(QTime uzgodniony, QTime lokalny)
{
    return roznicaMs(uzgodniony, lokalny);
}

Sposob sposobKorekty(qint64 korekta, const PolitykaKorekty &polityka)
{
    if (polityka.bezZmian)
        return Sposob::BezZmian;
    if (std::abs(korekta) > polityka.maksKorektaMs)
        return Sposob::Odrzucona;
    return std::abs(korekta) < polityka.progSkokuMs ? Sposob::Plynnie : Sposob::Skokiem;
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
    const Sposob sposob = sposobKorekty(korekta, polityka);
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
    case Sposob::Plynnie:
    case Sposob::Skokiem:
        break;
    }

    const bool plynnie = sposob == Sposob::Plynnie;
    const int blad = plynnie ? systemowy.przesun(korekta) : systemowy.przestaw(korekta);
    if (blad == 0) {
        wypisz(poczatek
               + (plynnie ? QStringLiteral("wprowadzana płynnie (adjtime)")
                          : QStringLiteral("zegar przestawiony (clock_settime)")));
        return true;
    }
    polityka.bezZmian = true;
    if (blad == EPERM)
        wypisz(QStringLiteral(
            "brak uprawnienia do zmiany zegara systemowego (potrzebny root albo CAP_SYS_TIME): "
            "uruchom jako root, nadaj je poleceniem \"sudo setcap cap_sys_time+ep "
            "$(command -v klient)\" albo użyj usługi klient-systemowy; odtąd tylko pomiar"));
    else
        wypisz(QStringLiteral("nie można zmienić zegara systemowego (%1); odtąd tylko pomiar")
                   .arg(QString::fromLocal8Bit(std::strerror(blad))));
    wypisz(poczatek + QStringLiteral("nie zastosowano"));
    return false;
}
