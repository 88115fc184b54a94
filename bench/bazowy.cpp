// The baseline: the least a server can do for one exchange, with plain POSIX
// sockets and no Qt, waiting with poll() or (on Linux) epoll. It accepts N
// clients, then for every "teraz" on standard input sends them the same
// request frame, collects N replies, sends one result frame and reports the
// steady-clock times of both ends.
//
//   bazowy PORT N [poll|epoll]

#include "sync/termin.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#ifdef __linux__
#include <sys/epoll.h>
#endif
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static uint32_t msDnia()
{
    const auto teraz = std::chrono::system_clock::now().time_since_epoch();
    return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(teraz).count()
                    % 86'400'000);
}

static void ramka(unsigned char *b, int32_t kod, uint32_t czas)
{
    const unsigned char r[10] = {0,
                                 8,
                                 uint8_t(kod >> 24),
                                 uint8_t(kod >> 16),
                                 uint8_t(kod >> 8),
                                 uint8_t(kod),
                                 uint8_t(czas >> 24),
                                 uint8_t(czas >> 16),
                                 uint8_t(czas >> 8),
                                 uint8_t(czas)};
    std::memcpy(b, r, 10);
}

static void doWszystkich(const std::vector<int> &klienci, const unsigned char *b)
{
    for (int k : klienci)
        if (send(k, b, 10, MSG_NOSIGNAL) != 10)
            std::perror("send");
}

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 4)
        return 2;
    const int n = std::atoi(argv[2]);
    [[maybe_unused]] const bool epollem = argc == 4 && std::strcmp(argv[3], "epoll") == 0;
    rlimit limit {};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);

    const int nasluch = socket(AF_INET, SOCK_STREAM, 0);
    const int tak = 1;
    setsockopt(nasluch, SOL_SOCKET, SO_REUSEADDR, &tak, sizeof tak);
    sockaddr_in adres {};
    adres.sin_family = AF_INET;
    adres.sin_port = htons(uint16_t(std::atoi(argv[1])));
    if (bind(nasluch, reinterpret_cast<sockaddr *>(&adres), sizeof adres) != 0
        || listen(nasluch, 4096) != 0) {
        std::perror("listen");
        return 1;
    }
    std::printf("gotowy\n");
    std::fflush(stdout);

    std::vector<int> klienci;
    while (int(klienci.size()) < n) {
        const int k = accept(nasluch, nullptr, nullptr);
        setsockopt(k, IPPROTO_TCP, TCP_NODELAY, &tak, sizeof tak); // as the server does
        klienci.push_back(k);
    }
    std::printf("klienci %d\n", n);
    std::fflush(stdout);

    std::vector<pollfd> czekaj(klienci.size());
    std::vector<std::string> bufory(klienci.size());
#ifdef __linux__
    const int epoll = epoll_create1(0);
    for (size_t i = 0; i < klienci.size(); ++i) {
        epoll_event zdarzenie {};
        zdarzenie.events = EPOLLIN;
        zdarzenie.data.u64 = i;
        epoll_ctl(epoll, EPOLL_CTL_ADD, klienci[i], &zdarzenie);
    }
    std::vector<epoll_event> gotowe(klienci.size());
#endif
    char polecenie[64];
    while (std::fgets(polecenie, sizeof polecenie, stdin)
           && std::strncmp(polecenie, "teraz", 5) == 0) {
        const int64_t start = monotonicznyNs();
        const uint32_t czasSerwera = msDnia();
        unsigned char b[10];
        ramka(b, 5, czasSerwera);
        doWszystkich(klienci, b);

        int64_t suma = 0;
        int odpowiedzi = 0;
        // The replies of client i that have come; false when it has gone.
        const auto przeczytaj = [&](size_t i) {
            char dane[4096];
            const ssize_t ile = recv(klienci[i], dane, sizeof dane, 0);
            if (ile <= 0)
                return false;
            bufory[i].append(dane, size_t(ile));
            while (bufory[i].size() >= 10) {
                const auto *r = reinterpret_cast<const unsigned char *>(bufory[i].data());
                const uint32_t czas
                    = uint32_t(r[6]) << 24 | uint32_t(r[7]) << 16 | uint32_t(r[8]) << 8 | r[9];
                suma += (int64_t(czas) - czasSerwera) / 1000;
                ++odpowiedzi;
                bufory[i].erase(0, 10);
            }
            return true;
        };
        while (odpowiedzi < n) {
#ifdef __linux__
            if (epollem) {
                const int ile = epoll_wait(epoll, gotowe.data(), int(gotowe.size()), -1);
                for (int j = 0; j < ile; ++j)
                    if (!przeczytaj(size_t(gotowe[size_t(j)].data.u64)))
                        return 1;
                continue;
            }
#endif
            for (size_t i = 0; i < klienci.size(); ++i)
                czekaj[i] = {klienci[i], POLLIN, 0};
            poll(czekaj.data(), czekaj.size(), -1);
            for (size_t i = 0; i < klienci.size(); ++i)
                if ((czekaj[i].revents & POLLIN) && !przeczytaj(i))
                    return 1;
        }
        ramka(b, 6, uint32_t((czasSerwera + suma / (n + 1) * 1000 + 86'400'000) % 86'400'000));
        doWszystkich(klienci, b);
        std::printf("wynik %lld %lld\n", static_cast<long long>(start),
                    static_cast<long long>(monotonicznyNs()));
        std::fflush(stdout);
    }
    return 0;
}
