// Hostile connections on loopback, for the benchmark:
//
//   burza PORT THREADS SECONDS FRAMES
//       a storm of short connections (narzedzia/burza.h); prints the
//       connections that got their frames through
//   burza PORT trzymaj N BYTES SECONDS
//       N connections held open for SECONDS; with BYTES, each announces the
//       longest frame and sends BYTES of it; prints the connections made

#include "narzedzia/burza.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

long trzymaj(uint16_t port, int ile, int bajtow, int sekund)
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    sockaddr_in adres {};
    adres.sin_family = AF_INET;
    adres.sin_port = htons(port);
    adres.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string ramka;
    if (bajtow > 0)
        ramka = std::string("\xff\xff", 2) + std::string(std::size_t(bajtow), 'x');
    std::vector<int> gniazda;
    long polaczonych = 0;
    for (int i = 0; i < ile; ++i) {
        const int g = socket(AF_INET, SOCK_STREAM, 0);
        if (g < 0)
            break;
        gniazda.push_back(g);
        const timeval sekunda {1, 0};
        setsockopt(g, SOL_SOCKET, SO_SNDTIMEO, &sekunda, sizeof sekunda);
        if (connect(g, reinterpret_cast<const sockaddr *>(&adres), sizeof adres) != 0)
            continue;
        ++polaczonych;
        if (!ramka.empty())
            send(g, ramka.data(), ramka.size(), MSG_NOSIGNAL);
    }
    std::this_thread::sleep_for(std::chrono::seconds(sekund));
    for (int g : gniazda)
        close(g);
    return polaczonych;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 6 && std::strcmp(argv[2], "trzymaj") == 0) {
        std::printf("trzymane %ld\n",
                    trzymaj(uint16_t(std::atoi(argv[1])), std::atoi(argv[3]), std::atoi(argv[4]),
                            std::atoi(argv[5])));
        return 0;
    }
    if (argc != 5)
        return 2;
    std::printf("burza %ld\n",
                burza(uint16_t(std::atoi(argv[1])), std::atoi(argv[2]), std::atof(argv[3]),
                      std::atoi(argv[4])));
    return 0;
}
