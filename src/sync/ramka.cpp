#include "ramka.h"

#include <QBuffer>
#include <QIODevice>

#include <utility>

QByteArray zbudujRamke(qint32 kod, QTime czas)
{
    QByteArray blok;
    QDataStream strumien(&blok, QIODevice::WriteOnly);
    strumien.setVersion(ramka::wersjaStrumienia);
    strumien << quint16(0) << kod << czas;
    strumien.device()->seek(0);
    strumien << quint16(blok.size() - 2);
    return blok;
}

namespace {
// Discards what has come of the surplus; whether all of it is gone.
bool pomin(QIODevice &wejscie, quint16 &doPominiecia)
{
    if (doPominiecia > 0)
        doPominiecia -= quint16(wejscie.skip(qMin<qint64>(doPominiecia, wejscie.bytesAvailable())));
    return doPominiecia == 0;
}
} // namespace

Odczyt czytajRamke(QIODevice &wejscie, quint16 &rozmiarBloku, quint16 &doPominiecia, qint32 &kod,
                   QTime &czas)
{
    if (!pomin(wejscie, doPominiecia))
        return Odczyt::Niepelna;
    QDataStream strumien(&wejscie);
    strumien.setVersion(ramka::wersjaStrumienia);

    if (rozmiarBloku == 0) {
        if (wejscie.bytesAvailable() < 2)
            return Odczyt::Niepelna;
        strumien >> rozmiarBloku;
        if (rozmiarBloku == 0)
            return Odczyt::Pominieta;
    }
    // Too short for a code and a time: its few bytes wait, and go whole.
    const quint16 potrzeba = qMin<quint16>(rozmiarBloku, ramka::dlugoscPol);
    if (wejscie.bytesAvailable() < potrzeba)
        return Odczyt::Niepelna;

    const quint16 dlugosc = rozmiarBloku;
    rozmiarBloku = 0;
    if (dlugosc < ramka::dlugoscPol) {
        wejscie.skip(dlugosc);
        return Odczyt::Pominieta;
    }
    strumien >> kod >> czas;
    doPominiecia = dlugosc - ramka::dlugoscPol;
    pomin(wejscie, doPominiecia);
    return Odczyt::Ramka;
}

void zlozRamki(QByteArray &zalegle, quint16 &rozmiarBloku, quint16 &doPominiecia, QByteArray nowe,
               const std::function<bool(Odczyt, qint32, QTime)> &ramka)
{
    if (!zalegle.isEmpty())
        nowe.prepend(std::exchange(zalegle, QByteArray()));
    QBuffer bufor(&nowe);
    bufor.open(QIODevice::ReadOnly);
    for (;;) {
        qint32 kod = 0;
        QTime czas;
        const Odczyt odczyt = czytajRamke(bufor, rozmiarBloku, doPominiecia, kod, czas);
        if (odczyt == Odczyt::Niepelna) {
            zalegle = nowe.mid(bufor.pos());
            return;
        }
        if (!ramka(odczyt, kod, czas))
            return;
    }
}
