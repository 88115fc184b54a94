// libFuzzer target: arbitrary bytes, cut into arbitrary pieces, through the
// server's own reassembly of a connection's frames (zlozRamki), and every
// frame that comes out through the server's own handling of a reply
// (przyjmijOdpowiedz), its reply window on the tick and its averaging.
//
// Input: 4 bytes of server clock, 1 byte choosing the rejection threshold,
// 1 byte choosing how many clients a request asks, 1 byte giving the number
// of pieces, one byte per piece giving its length (and, in its low two bits,
// the ticks that pass after it); the rest is what the peers send.

#include "sync/berkeley.h"
#include "sync/doba.h"
#include "sync/ramka.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

void sprawdz(bool warunek)
{
    if (!warunek)
        std::abort();
}

quint16 dlugoscOd(const QByteArray &dane, qint64 pozycja)
{
    return quint16((quint8(dane[pozycja]) << 8) | quint8(dane[pozycja + 1]));
}

// The exchange state of the window, driven as its slots drive it: every
// frame is the answer of the next client asked until all have answered.
struct Wymiana
{
    QTime serwer;
    qint32 prog = 1200;
    qint32 liczbaZapytanych = 1;
    qint32 liczbaOdpowiedzi = 0;
    qint32 licznikTaktow = 0;
    qint32 roznice[pojemnoscWymiany] = {};
    qint32 przyjete[pojemnoscWymiany] = {};
    bool saRoznice = false;

    void odpowiedz(qint32 kod, QTime czas)
    {
        if (liczbaOdpowiedzi >= liczbaZapytanych)
            return; // not asked: left out before it reaches the arrays
        const Odpowiedz o = przyjmijOdpowiedz(kod, czas, serwer, liczbaZapytanych, liczbaOdpowiedzi,
                                              licznikTaktow, roznice, przyjete);
        sprawdz(o.n == liczbaOdpowiedzi && o.n <= liczbaZapytanych);
        if (!o.zCzasem) {
            sprawdz(o.zamkniecie == Zamkniecie::Otwarta);
            return;
        }
        saRoznice = true;
        sprawdz(o.roznica >= -msDoby / 2000 && o.roznica <= msDoby / 2000);
        sprawdz(o.zamkniecie != Zamkniecie::WOknie || o.n == liczbaZapytanych);
        if (o.zamkniecie != Zamkniecie::Otwarta)
            zamknij();
    }

    void tyknij()
    {
        ++licznikTaktow;
        if (zamknacNaTakcie(saRoznice, licznikTaktow))
            zamknij();
    }

    void zamknij()
    {
        const qint32 ile = std::min(liczbaOdpowiedzi, pojemnoscWymiany - 1);
        QList<qint32> odrzucone;
        const qint32 sredniaWymiany = usrednijRoznice(roznice, przyjete, ile, prog, odrzucone);
        // The server's own difference of 0 is always among the accepted.
        qint32 najmniejsza = 0, najwieksza = 0;
        for (qint32 i = 1; i <= ile; ++i) {
            const bool odrzucona = odrzucone.contains(i);
            sprawdz(odrzucona == (std::abs(roznice[i]) > prog));
            if (przyjete[i] == 1) {
                najmniejsza = std::min(najmniejsza, roznice[i]);
                najwieksza = std::max(najwieksza, roznice[i]);
            }
        }
        sprawdz(sredniaWymiany >= najmniejsza && sredniaWymiany <= najwieksza);
        // The agreed time goes out; the next request asks everyone again.
        liczbaOdpowiedzi = licznikTaktow = 0;
        saRoznice = false;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *dane, size_t rozmiar)
{
    constexpr size_t naglowek = 7;
    if (rozmiar < naglowek)
        return 0;
    Wymiana wymiana;
    const quint32 ms
        = (quint32(dane[0]) << 24) | (quint32(dane[1]) << 16) | (quint32(dane[2]) << 8) | dane[3];
    wymiana.serwer = QTime::fromMSecsSinceStartOfDay(int(ms % quint32(msDoby)));
    wymiana.prog = 60 * (1 + dane[4] % 180);
    wymiana.liczbaZapytanych = 1 + dane[5] % (pojemnoscWymiany + 10);
    const size_t kawalkow = std::min<size_t>(dane[6], rozmiar - naglowek);
    const uint8_t *dlugosci = dane + naglowek;
    const QByteArray strumien(reinterpret_cast<const char *>(dane + naglowek + kawalkow),
                              qsizetype(rozmiar - naglowek - kawalkow));

    // Where each frame of the stream starts and how long it says it is, by
    // walking the lengths: what the reader must keep in step with.
    QList<std::pair<qint64, quint16>> ramki;
    for (qint64 poczatek = 0; poczatek + 2 <= strumien.size();) {
        const quint16 dlugosc = dlugoscOd(strumien, poczatek);
        ramki.append({poczatek, dlugosc});
        poczatek += 2 + dlugosc;
    }

    // Through the server's own reassembly, a piece at a time.
    QByteArray zalegle;
    quint16 rozmiarBloku = 0;
    quint16 doPominiecia = 0;
    qint64 podane = 0;
    qsizetype ramka = 0; // the next frame to come out
    for (size_t k = 0; k <= kawalkow; ++k) {
        const qint64 kawalek = k < kawalkow ? dlugosci[k] : strumien.size() - podane;
        const qint64 doPodania = std::min<qint64>(kawalek, strumien.size() - podane);
        const QByteArray nowe = strumien.mid(podane, doPodania);
        podane += doPodania;
        zlozRamki(
            zalegle, rozmiarBloku, doPominiecia, nowe, [&](Odczyt odczyt, qint32 kod, QTime czas) {
                sprawdz(ramka < ramki.size() && rozmiarBloku == 0);
                const auto [poczatek, dlugosc] = ramki[ramka++];
                const qint64 koniec = poczatek + 2 + dlugosc;
                if (odczyt == Odczyt::Pominieta) {
                    sprawdz(dlugosc < ramka::dlugoscPol && koniec <= podane && doPominiecia == 0);
                    return true;
                }
                // Its code and time were there; the surplus goes as it
                // comes.
                sprawdz(dlugosc >= ramka::dlugoscPol && poczatek + ramka::dlugoscRamki <= podane
                        && doPominiecia <= dlugosc - ramka::dlugoscPol
                        && koniec - doPominiecia <= podane);
                wymiana.odpowiedz(kod, czas);
                return true;
            });
        // Waiting only for bytes that really are not there, and holding none
        // of a surplus.
        const qint64 pos = podane - zalegle.size();
        if (doPominiecia > 0)
            sprawdz(zalegle.isEmpty());
        else if (rozmiarBloku == 0)
            sprawdz(zalegle.size() < 2);
        else
            sprawdz(zalegle.size() < std::min<qint64>(rozmiarBloku, ramka::dlugoscPol)
                    && rozmiarBloku == dlugoscOd(strumien, pos - 2));
        for (int takt = 0; k < kawalkow && takt < (dlugosci[k] & 3); ++takt)
            wymiana.tyknij();
    }
    return 0;
}
