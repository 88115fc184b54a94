#include "ramka.h"

#include <QIODevice>

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

Odczyt czytajRamke(QIODevice &wejscie, quint16 &rozmiarBloku, qint32 &kod, QTime &czas)
{
    QDataStream strumien(&wejscie);
    strumien.setVersion(ramka::wersjaStrumienia);

    if (rozmiarBloku == 0) {
        if (wejscie.bytesAvailable() < 2)
            return Odczyt::Niepelna;
        strumien >> rozmiarBloku;
        if (rozmiarBloku == 0)
            return Odczyt::Pominieta;
    }
    if (wejscie.bytesAvailable() < rozmiarBloku)
        return Odczyt::Niepelna;

    const quint16 dlugosc = rozmiarBloku;
    rozmiarBloku = 0;
    if (dlugosc < ramka::dlugoscPol) {
        wejscie.skip(dlugosc);
        return Odczyt::Pominieta;
    }
    strumien >> kod >> czas;
    wejscie.skip(dlugosc - ramka::dlugoscPol);
    return Odczyt::Ramka;
}
