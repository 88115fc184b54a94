#ifndef ZAKRESY_H
#define ZAKRESY_H

#include "ramka.h"

// The window's three settings: the ranges its spin boxes take, what they
// start at, and so what the command line accepts and its help says.
struct Zakres
{
    int od;
    int doWartosci;
    int domyslnie;
};

namespace zakresy {
constexpr Zakres port {1, 65535, ramka::domyslnyPort};
constexpr Zakres okres {10, 500, 20}; // seconds between exchanges
constexpr Zakres prog {60, 10800, 1200}; // seconds of difference beyond which a reply is left out
constexpr int krokProgu = 60;
} // namespace zakresy

#endif // ZAKRESY_H
