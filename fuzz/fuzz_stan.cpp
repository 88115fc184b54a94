// libFuzzer target: arbitrary bytes as the client's state file, read as a
// restart reads it. A state taken is one the client could have made: no
// change dated after the moment it is read, none larger than a day, no
// negative count; and written out again it reads back the same.
//
// Input: 4 bytes of the monotonic clock of the moment (ms), 1 byte choosing
// this start of the machine (none, "a", "b"); the rest is the file.

#include "korekta.h"

#include <cstdint>
#include <cstdlib>

namespace {

void sprawdz(bool warunek)
{
    if (!warunek)
        std::abort();
}

bool tenSam(const StanKorekty &a, const StanKorekty &b)
{
    return a.uzgodnionych == b.uzgodnionych && a.zmiany == b.zmiany
        && a.ostatniaPlynna == b.ostatniaPlynna && a.niepotwierdzone == b.niepotwierdzone;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *dane, size_t rozmiar)
{
    if (rozmiar < 5)
        return 0;
    const qint64 terazMs = qint64(dane[0]) << 24 | dane[1] << 16 | dane[2] << 8 | dane[3];
    const QByteArray rozruchy[] = {QByteArray(), "a", "b"};
    const QByteArray rozruch = rozruchy[dane[4] % 3];
    const QByteArray plik(reinterpret_cast<const char *>(dane + 5), qsizetype(rozmiar - 5));

    StanKorekty stan;
    stan.uzgodnionych = 7; // left as it is unless the file is taken
    const WczytanieStanu w = stanZPliku(plik, rozruch, terazMs, stan);
    const bool przyjety
        = w.wynik == WczytanieStanu::TenRozruch || w.wynik == WczytanieStanu::BezRozruchu;
    if (!przyjety) {
        sprawdz(stan.uzgodnionych == 7 && stan.zmiany.empty());
        sprawdz(w.wynik != WczytanieStanu::Uszkodzony
                || (w.linia >= 1 && w.linia <= plik.count('\n') + 1));
        return 0;
    }
    sprawdz(stan.uzgodnionych >= 0 && stan.niepotwierdzone.isEmpty());
    for (const auto &[kiedy, ile] : stan.zmiany)
        sprawdz(kiedy >= 0 && kiedy <= terazMs && ile >= 0 && ile <= 24 * 3'600'000);

    // What a client writes of it is read back as it was.
    StanKorekty znow;
    const WczytanieStanu w2
        = stanZPliku(stanDoPliku(stan, rozruch, terazMs), rozruch, terazMs, znow);
    sprawdz(w2.wynik == WczytanieStanu::TenRozruch || w2.wynik == WczytanieStanu::BezRozruchu);
    sprawdz(tenSam(stan, znow));
    sprawdz(stan.wGodzinie(terazMs) >= 0);
    return 0;
}
