#ifndef RAMKA_H
#define RAMKA_H

#include <QByteArray>
#include <QDataStream>
#include <QTime>

class QIODevice;

// One message on the wire, in both directions: a 16-bit length of what
// follows (8), a 32-bit signed code and a time of day as a 32-bit count of
// milliseconds since midnight, all big-endian.
namespace ramka {
constexpr QDataStream::Version wersjaStrumienia = QDataStream::Qt_4_6;
constexpr int dlugoscPol = 8;
constexpr int dlugoscRamki = 2 + dlugoscPol;

constexpr qint32 kodZadania = 5; // request: answer with your clock
constexpr qint32 kodWyniku = 6; // the agreed time of an exchange
constexpr qint32 kodStopu = 7; // the server stops listening
constexpr qint32 kodBezCzasu = 0; // a reply that carries no usable time

constexpr quint16 domyslnyPort = 4466; // where the server listens unless told otherwise
} // namespace ramka

// The 10 bytes of a frame with this code and time.
QByteArray zbudujRamke(qint32 kod, QTime czas);

enum class Odczyt {
    Niepelna, // the frame has not all arrived yet; nothing more to read now
    Pominieta, // a whole frame too short to hold a code and a time, dropped
    Ramka, // a frame was read into kod and czas
};

// Reads at most one frame from `wejscie`. `rozmiarBloku` is the length state
// of this peer, kept between calls: 0 while a length is awaited, otherwise the
// announced length of the frame in progress. Never reads a byte that is not
// yet there; bytes announced beyond a code and a time are read and discarded,
// so the reader stays in step with the peer.
Odczyt czytajRamke(QIODevice &wejscie, quint16 &rozmiarBloku, qint32 &kod, QTime &czas);

#endif // RAMKA_H
