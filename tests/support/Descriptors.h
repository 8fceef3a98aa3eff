// Raw descriptors for fake peers: loopback sockets on kernel-chosen ports, whole writes, bounded reads.
#pragma once

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>

namespace zerlan::testing {

inline sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A TCP listener on a kernel-chosen loopback port (its number into `port`); -1 when none.
inline int ListenLoopback(std::string& port, int backlog = 4) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = LoopbackAddress(0);
    socklen_t len = sizeof a;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (fd >= 0) close(fd);
        return -1;
    }
    port = std::to_string(ntohs(a.sin_port));
    return fd;
}

inline int ConnectLoopback(const std::string& port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in a = LoopbackAddress(static_cast<uint16_t>(std::stoi(port)));
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return fd;
    if (fd >= 0) close(fd);
    return -1;
}

// False once the peer is gone; a socket peer that left must not end the tests with SIGPIPE.
inline bool WriteAll(int fd, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Appends at most `max` bytes ready within `wait_ms`: their number, 0 when closed, -1 when none.
inline ssize_t ReadReady(int fd, std::string& got, int wait_ms, size_t max = 8192) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, wait_ms) <= 0) return -1;
    char buffer[8192];
    const ssize_t n = read(fd, buffer, std::min(sizeof buffer, max));
    if (n <= 0) return 0;
    got.append(buffer, static_cast<size_t>(n));
    return n;
}

// Bytes of every value without a short period, so a lost or repeated piece never lines up.
inline std::string Noise(size_t n, unsigned seed) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    return s;
}

}  // namespace zerlan::testing
