// libFuzzer target: arbitrary bytes, cut into arbitrary pieces, through the
// server's frame reader with its per-client length state, and every frame
// that comes out through the reply arithmetic.
//
// Input: 4 bytes of server clock, 1 byte choosing the rejection threshold,
// 1 byte giving the number of pieces, one byte per piece giving its length;
// the rest is what the peer sends.

#include "sync/berkeley.h"
#include "sync/doba.h"
#include "sync/ramka.h"

#include <QBuffer>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr int miejsca = 30;

void sprawdz(bool warunek)
{
    if (!warunek)
        std::abort();
}

quint16 dlugoscOd(const QByteArray &dane, qint64 pozycja)
{
    return quint16((quint8(dane[pozycja]) << 8) | quint8(dane[pozycja + 1]));
}

struct Wymiana
{
    QTime serwer;
    qint32 prog = 1200;
    qint32 n = 0;
    qint32 roznice[miejsca] = {};
    qint32 przyjete[miejsca] = {};

    void odpowiedz(qint32 kod, QTime czas)
    {
        ++n;
        const bool maMiejsce = n < miejsca;
        if (kod == ramka::kodBezCzasu || !czas.isValid()) {
            if (maMiejsce)
                roznice[n] = przyjete[n] = 0;
            return;
        }
        const qint32 roznica = roznicaSekund(czas, serwer);
        sprawdz(roznica >= -msDoby / 2000 && roznica <= msDoby / 2000);
        if (maMiejsce) {
            roznice[n] = roznica;
            przyjete[n] = 1;
        }
        if (n >= miejsca + 3)
            zamknij();
    }

    void zamknij()
    {
        const qint32 ile = std::min(n, miejsca - 1);
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
        n = 0;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *dane, size_t rozmiar)
{
    if (rozmiar < 6)
        return 0;
    Wymiana wymiana;
    const quint32 ms = (quint32(dane[0]) << 24) | (quint32(dane[1]) << 16)
        | (quint32(dane[2]) << 8) | dane[3];
    wymiana.serwer = QTime::fromMSecsSinceStartOfDay(int(ms % quint32(msDoby)));
    wymiana.prog = 60 * (1 + dane[4] % 180);
    const size_t kawalkow = std::min<size_t>(dane[5], rozmiar - 6);
    const uint8_t *dlugosci = dane + 6;
    const QByteArray strumien(reinterpret_cast<const char *>(dane + 6 + kawalkow),
                              qsizetype(rozmiar - 6 - kawalkow));

    QBuffer bufor;
    bufor.open(QIODevice::ReadWrite);
    quint16 rozmiarBloku = 0;
    qint64 podane = 0;
    qint64 poczatekRamki = 0;
    for (size_t k = 0; k <= kawalkow; ++k) {
        const qint64 kawalek = k < kawalkow ? dlugosci[k] : strumien.size() - podane;
        const qint64 doPodania = std::min<qint64>(kawalek, strumien.size() - podane);
        const qint64 pozycja = bufor.pos();
        bufor.seek(bufor.size());
        bufor.write(strumien.constData() + podane, doPodania);
        bufor.seek(pozycja);
        podane += doPodania;

        for (;;) {
            if (rozmiarBloku == 0)
                poczatekRamki = bufor.pos();
            qint32 kod = 0;
            QTime czas;
            const Odczyt odczyt = czytajRamke(bufor, rozmiarBloku, kod, czas);
            sprawdz(bufor.pos() <= podane);
            const bool jestDlugosc = podane - poczatekRamki >= 2;
            const qint64 koniecRamki
                = jestDlugosc ? poczatekRamki + 2 + dlugoscOd(strumien, poczatekRamki) : -1;
            if (odczyt == Odczyt::Niepelna) {
                // Waiting only while the frame really is not all there.
                sprawdz(!jestDlugosc || koniecRamki > podane);
                break;
            }
            sprawdz(jestDlugosc && bufor.pos() == koniecRamki);
            sprawdz(rozmiarBloku == 0);
            if (odczyt == Odczyt::Ramka) {
                sprawdz(koniecRamki - poczatekRamki >= ramka::dlugoscRamki);
                wymiana.odpowiedz(kod, czas);
            }
        }
    }
    if (wymiana.n > 0)
        wymiana.zamknij();
    return 0;
}
