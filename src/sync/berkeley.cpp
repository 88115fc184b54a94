#include "berkeley.h"

#include "doba.h"
#include "ramka.h"

#include <limits>

bool zPetliZwrotnej(quint32 adres)
{
    return adres >> 24 == 127;
}

int miejscDlaAdresu(bool petla, int ustawione)
{
    constexpr int wszystkie = std::numeric_limits<int>::max();
    if (ustawione > 0)
        return ustawione < pojemnoscWymiany - 1 ? ustawione : wszystkie;
    return petla ? wszystkie : 1;
}

qint64 dziesiate(qint64 ms)
{
    return ms >= 0 ? (ms + 50) / 100 : -((-ms + 50) / 100);
}

qint32 roznicaSekund(QTime klient, QTime serwer)
{
    return roznicaMs(klient, serwer) / 1000;
}

bool czyOdrzucic(qint32 roznica, qint32 prog)
{
    return roznica > prog || roznica < -prog;
}

qint32 srednia(qint32 sumaPrzyjetych, qint32 liczbaOdpowiedzi)
{
    return sumaPrzyjetych / (liczbaOdpowiedzi + 1);
}

qint32 usrednijRoznice(qint32 roznice[], qint32 przyjete[], qint32 ile, qint32 prog,
                       QList<qint32> &odrzucone)
{
    roznice[0] = 0;
    for (qint32 i = 1; i <= ile; ++i) {
        if (czyOdrzucic(roznice[i], prog)) {
            przyjete[i] = 0;
            odrzucone.append(i);
        }
    }
    for (qint32 i = 1; i <= ile; ++i) {
        if (przyjete[i] == 1)
            roznice[0] += roznice[i];
    }
    roznice[0] = srednia(roznice[0], ile);
    return roznice[0];
}

Odpowiedz przyjmijOdpowiedz(qint32 kod, QTime czasKlienta, QTime czasSerwera,
                            qint32 liczbaZapytanych, qint32 &liczbaOdpowiedzi,
                            qint32 &licznikTaktow, qint32 roznice[], qint32 przyjete[])
{
    const qint32 n = ++liczbaOdpowiedzi;
    const bool maMiejsce = n < pojemnoscWymiany;
    if (kod == ramka::kodBezCzasu || !czasKlienta.isValid()) {
        if (maMiejsce)
            roznice[n] = przyjete[n] = 0;
        return {n, false, 0, Zamkniecie::Otwarta};
    }

    if (n == 1)
        licznikTaktow = 0;
    const qint32 roznica = roznicaSekund(czasKlienta, czasSerwera);
    if (maMiejsce) {
        roznice[n] = roznica;
        przyjete[n] = 1;
    }
    return {n, true, roznica, zamkniecieWymiany(n, liczbaZapytanych, licznikTaktow)};
}

Zamkniecie zamkniecieWymiany(qint32 odpowiedzi, qint32 oczekiwanych, qint32 licznikTaktow)
{
    if (odpowiedzi == oczekiwanych && licznikTaktow <= oknoOdpowiedzi)
        return Zamkniecie::WOknie;
    if (licznikTaktow > oknoOdpowiedzi)
        return Zamkniecie::PoOknie;
    return Zamkniecie::Otwarta;
}
