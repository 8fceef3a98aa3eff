// A scripted TCP peer on a loopback port: each accepted connection in turn runs the script.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "support/Descriptors.h"

namespace zerlan::testing {

class FakeCaster {
public:
    using Script = std::function<void(FakeCaster&, int fd, int attempt)>;

    explicit FakeCaster(Script script) : script_(std::move(script)), listener_(ListenLoopback(port_)) {
        if (listener_ < 0) ADD_FAILURE() << "no loopback listener";
        thread_ = std::thread([this] { Serve(); });
    }
    ~FakeCaster() {
        stop_ = true;
        thread_.join();
        close(listener_);
    }

    std::string port() const { return port_; }
    int attempts() const { return attempts_.load(); }
    bool stopping() const { return stop_.load(); }
    void Record(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.push_back(text);
    }
    std::vector<std::string> received() {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }

    // Bytes through the first empty line, or all that came within 3 s.
    std::string ReadRequest(int fd) {
        std::string text, more;
        while (text.find("\r\n\r\n") == std::string::npos && !(more = ReadSome(fd, 1, 3000)).empty()) {
            text += more;
        }
        return text;
    }
    // At most `n` bytes, whatever came before `ms` passed.
    std::string ReadSome(int fd, size_t n, int ms) {
        std::string text;
        const int64_t end = Clock::Get().MonotonicMs() + ms;
        while (text.size() < n && !stop_) {
            const ssize_t got = ReadReady(fd, text, 5, n - text.size());
            if (got == 0 || (got < 0 && Clock::Get().MonotonicMs() > end)) break;
        }
        return text;
    }
    static void SendAll(int fd, const std::string& text) { WriteAll(fd, text); }
    // Keeps the connection until the peer closes it or the test ends.
    void Hold(int fd) {
        for (std::string ignored; !stop_ && ReadReady(fd, ignored, 5) != 0; ignored.clear()) {
        }
    }

private:
    void Serve() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (poll(&p, 1, 5) <= 0) continue;
            const int fd = accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            script_(*this, fd, attempts_.fetch_add(1));
            close(fd);
        }
    }

    Script script_;
    std::string port_;
    int listener_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<int> attempts_{0};
    std::mutex mutex_;
    std::vector<std::string> received_;
    std::thread thread_;
};

inline std::string ClosedPort() {
    std::string port;
    close(ListenLoopback(port));
    return port;
}

}  // namespace zerlan::testing
