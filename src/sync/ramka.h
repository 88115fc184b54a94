#ifndef RAMKA_H
#define RAMKA_H

#include <QByteArray>
#include <QDataStream>
#include <QTime>

#include <functional>

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

// Reads at most one frame from `wejscie`, keeping the state of this peer
// between calls: `rozmiarBloku` is 0 while a length is awaited, otherwise
// the announced length of the frame whose code and time are awaited;
// `doPominiecia` counts the bytes a frame announced beyond its code and
// time, still to come. Never reads a byte that is not yet there, and never
// holds more of a frame than its code and time: a frame is handed on once
// they are in, and its surplus is discarded as it arrives, so the reader
// stays in step with the peer whatever length it announces.
Odczyt czytajRamke(QIODevice &wejscie, quint16 &rozmiarBloku, quint16 &doPominiecia, qint32 &kod,
                   QTime &czas);

// Takes `nowe`, the bytes one connection has sent since the last call, after
// what `zalegle` kept of a frame not yet whole: each frame goes to `ramka`
// (Odczyt::Ramka with its code and time, or Odczyt::Pominieta), in order,
// until it returns false. The state of the connection between calls is
// `zalegle` (at most 9 bytes), `rozmiarBloku` and `doPominiecia` (as for
// czytajRamke). Pieces of any size give the same frames as one.
void zlozRamki(QByteArray &zalegle, quint16 &rozmiarBloku, quint16 &doPominiecia, QByteArray nowe,
               const std::function<bool(Odczyt, qint32, QTime)> &ramka);

#endif // RAMKA_H
