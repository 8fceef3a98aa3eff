// A scripted TCP peer on a kernel-chosen loopback port for the caster and
// sourcetable tests: each accepted connection runs the script with its
// attempt number, in order, on the fake's own thread.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"

namespace zerlan::testing {

// Serves one scripted conversation per accepted connection, in order.
class FakeCaster {
public:
    using Script = std::function<void(FakeCaster&, int fd, int attempt)>;

    explicit FakeCaster(Script script) : script_(std::move(script)) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 4) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            ADD_FAILURE() << "no loopback listener";
        }
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~FakeCaster() {
        stop_ = true;
        thread_.join();
        close(listener_);
    }

    std::string port() const { return std::to_string(port_); }
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
        std::string text;
        while (text.find("\r\n\r\n") == std::string::npos) {
            const std::string more = ReadSome(fd, 1, 3000);
            if (more.empty()) break;
            text += more;
        }
        return text;
    }
    // At most `n` bytes, whatever came before `ms` passed.
    std::string ReadSome(int fd, size_t n, int ms) {
        std::string text;
        const int64_t end = Clock::Get().MonotonicMs() + ms;
        while (text.size() < n && !stop_) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 5) <= 0) {
                if (Clock::Get().MonotonicMs() > end) break;
                continue;
            }
            char c[4096];
            const ssize_t got = recv(fd, c, std::min(sizeof c, n - text.size()), 0);
            if (got <= 0) break;
            text.append(c, static_cast<size_t>(got));
        }
        return text;
    }
    static void SendAll(int fd, const std::string& text) {
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }
    // Keeps the connection until the peer closes it or the test ends.
    void Hold(int fd) {
        while (!stop_) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 5) > 0) {
                char c[256];
                if (recv(fd, c, sizeof c, 0) <= 0) return;
            }
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
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> attempts_{0};
    std::mutex mutex_;
    std::vector<std::string> received_;
    std::thread thread_;
};

// A loopback port that nobody listens on.
inline std::string ClosedPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return std::to_string(ntohs(a.sin_port));
}

}  // namespace zerlan::testing
