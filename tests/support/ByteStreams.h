// Byte streams for relay tests: pseudo-random bytes of every value, written
// at a steady pace and read back with a bounded wait.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "support/ZerlanRun.h"

namespace zerlan::testing {

// Reads `fd` until `want` bytes came or 8 s passed.
inline std::string ReadBytes(int fd, size_t want) {
    std::string got;
    WaitFor([&] {
        pollfd p{fd, POLLIN, 0};
        char buffer[8192];
        const ssize_t n = poll(&p, 1, 5) > 0 && (p.revents & POLLIN) ? read(fd, buffer, sizeof buffer) : 0;
        if (n > 0) got.append(buffer, static_cast<size_t>(n));
        return got.size() >= want;
    }, 8000);
    return got;
}

// Writes at the pace of a fast serial line, so that the test measures the
// relay and not the scheduling of a loaded machine.
inline bool WritePaced(int fd, const std::string& bytes, int pause_ms = 4) {
    for (size_t at = 0; at < bytes.size(); at += 256) {
        for (size_t done = 0, size = std::min<size_t>(256, bytes.size() - at); done < size;) {
            const ssize_t n = write(fd, bytes.data() + at + done, size - done);
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
    }
    return true;
}

inline std::string Noise(size_t n, unsigned seed) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    return s;
}

}  // namespace zerlan::testing
