// Relay test streams: written at a steady pace, read back with a bounded wait.
#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "support/Descriptors.h"
#include "support/ZerlanRun.h"

namespace zerlan::testing {

// Up to 8 s: a writer gone for a moment (a reopened port or pipe) may come back.
inline std::string ReadBytes(int fd, size_t want) {
    std::string got;
    WaitFor([&] {
        ReadReady(fd, got, 5);
        return got.size() >= want;
    }, 8000);
    return got;
}

// The pace of a fast serial line, so the test measures the relay, not a loaded scheduler.
inline bool WritePaced(int fd, const std::string& bytes, int pause_ms = 4) {
    for (size_t at = 0; at < bytes.size(); at += 256) {
        if (!WriteAll(fd, bytes.substr(at, 256))) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
    }
    return true;
}

}  // namespace zerlan::testing
