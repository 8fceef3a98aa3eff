// Thread tests never sleep as synchronisation and never wait without a limit.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace zerlan::testing {

inline bool WaitFor(const std::function<bool()>& done, int max_ms = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(max_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace zerlan::testing
