#ifndef CHWILA_H
#define CHWILA_H

#include <chrono>
#include <cstdint>

// Nanoseconds of the steady clock: comparable between processes of one
// machine, which is what the benchmark's programs time each other with.
inline int64_t chwilaNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

#endif // CHWILA_H
