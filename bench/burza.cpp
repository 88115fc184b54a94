// A storm of short connections on loopback (narzedzia/burza.h). Prints the
// connections that got their frames through.
//
//   burza PORT THREADS SECONDS FRAMES

#include "narzedzia/burza.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc != 5)
        return 2;
    std::printf("burza %ld\n",
                burza(uint16_t(std::atoi(argv[1])), std::atoi(argv[2]), std::atof(argv[3]),
                      std::atoi(argv[4])));
    return 0;
}
