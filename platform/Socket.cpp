#include "platform/Socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace zerlan::sock {
namespace {

sockaddr_in ToNative(const Endpoint& e) {
    sockaddr_in a;
    std::memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(e.port);
    a.sin_addr.s_addr = htonl(e.address);
    return a;
}

Endpoint FromNative(const sockaddr_in& a) {
    return Endpoint{ntohl(a.sin_addr.s_addr), ntohs(a.sin_port)};
}

}  // namespace

int LastError() { return errno; }

void IgnoreBrokenPipe() { std::signal(SIGPIPE, SIG_IGN); }

uint32_t HostToNet32(uint32_t v) { return htonl(v); }
uint16_t HostToNet16(uint16_t v) { return htons(v); }
uint32_t NetToHost32(uint32_t v) { return ntohl(v); }
uint16_t NetToHost16(uint16_t v) { return ntohs(v); }

uint32_t ParseDotted(const char* text) {
    if (text == nullptr) return 0xFFFFFFFFu;
    return ntohl(inet_addr(text));
}

std::string FormatDotted(uint32_t address) {
    in_addr a;
    a.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

int Open(int type) {
    const int native = type == kStream ? SOCK_STREAM : type == kDatagram ? SOCK_DGRAM : -1;
    if (native < 0) {
        errno = EINVAL;
        return -1;
    }
    return ::socket(AF_INET, native | SOCK_CLOEXEC, 0);
}

int SetReuseAddress(int fd) {
    int on = 1;
    return ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

int Bind(int fd, const Endpoint& local) {
    sockaddr_in a = ToNative(local);
    return ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
}

int Listen(int fd, int backlog) { return ::listen(fd, backlog); }

int MaxBacklog() { return SOMAXCONN; }

int Accept(int fd, Endpoint* peer) {
    sockaddr_in a;
    socklen_t len = sizeof a;
    std::memset(&a, 0, sizeof a);
    const int client = ::accept4(fd, reinterpret_cast<sockaddr*>(&a), &len, SOCK_CLOEXEC);
    if (client >= 0 && peer != nullptr) *peer = FromNative(a);
    return client;
}

int Connect(int fd, const Endpoint& remote, int timeout_ms) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return -1;
    sockaddr_in a = ToNative(remote);
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int error = rc == 0 ? 0 : errno;
    if (rc != 0 && error == EINPROGRESS) {
        const int w = Wait(fd, true, timeout_ms);
        if (w == kWaitReady) {
            socklen_t len = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
        } else {
            error = w == kWaitTimedOut ? ETIMEDOUT : errno;
        }
    }
    ::fcntl(fd, F_SETFL, flags);
    if (error != 0) {
        errno = error;
        return -1;
    }
    return 0;
}

void Shutdown(int fd) { ::shutdown(fd, SHUT_RDWR); }

int Close(int fd) { return ::close(fd); }

int Wait(int fd, bool for_write, int timeout_ms) {
    pollfd p{fd, static_cast<short>(for_write ? POLLOUT : POLLIN), 0};
    const int rc = ::poll(&p, 1, timeout_ms < 0 ? 0 : timeout_ms);
    if (rc < 0) return kWaitFailed;
    if (rc == 0) return kWaitTimedOut;
    if (p.revents & POLLNVAL) {
        errno = EBADF;
        return kWaitFailed;
    }
    // Errors and hang-ups count as ready: the transfer call then reports them.
    return kWaitReady;
}

int WaitAny(WaitItem* items, size_t count, int timeout_ms) {
    // One list per thread, kept: a server's sender asks every few milliseconds.
    thread_local std::vector<pollfd> polled;
    polled.resize(count);
    for (size_t i = 0; i < count; ++i) {
        polled[i] = pollfd{items[i].fd, static_cast<short>(items[i].for_write ? POLLOUT : POLLIN), 0};
        items[i].ready = false;
    }
    const int rc = ::poll(polled.data(), static_cast<nfds_t>(count), timeout_ms < 0 ? 0 : timeout_ms);
    if (rc < 0) return kWaitFailed;
    for (size_t i = 0; i < count; ++i) items[i].ready = polled[i].revents != 0;
    return rc;
}

long SendSome(int fd, const void* data, size_t length) {
    return ::send(fd, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
}

long ReceiveSome(int fd, void* buffer, size_t size) {
    return ::recv(fd, buffer, size, MSG_DONTWAIT);
}

long SendToSome(int fd, const void* data, size_t length, const Endpoint& to) {
    sockaddr_in a = ToNative(to);
    return ::sendto(fd, data, length, MSG_NOSIGNAL | MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&a), sizeof a);
}

long ReceiveFromSome(int fd, void* buffer, size_t size, Endpoint* from) {
    sockaddr_in a;
    socklen_t len = sizeof a;
    std::memset(&a, 0, sizeof a);
    const long n = ::recvfrom(fd, buffer, size, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&a), &len);
    if (n >= 0 && from != nullptr) *from = FromNative(a);
    return n;
}

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

int PeerName(int fd, Endpoint* out) {
    sockaddr_in a;
    socklen_t len = sizeof a;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return -1;
    *out = FromNative(a);
    return 0;
}

int LocalName(int fd, Endpoint* out) {
    sockaddr_in a;
    socklen_t len = sizeof a;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return -1;
    *out = FromNative(a);
    return 0;
}

std::string ErrorText(int code) {
    if (code < 0) return ::gai_strerror(code);
    return std::strerror(code);
}

namespace {

int SystemLookup(const char* name, uint32_t* address) {
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(name, nullptr, &hints, &list);
    if (rc != 0) return rc;
    int result = EAI_NONAME;
    for (addrinfo* p = list; p != nullptr; p = p->ai_next) {
        if (p->ai_family == AF_INET && p->ai_addrlen >= sizeof(sockaddr_in)) {
            *address = ntohl(reinterpret_cast<const sockaddr_in*>(p->ai_addr)->sin_addr.s_addr);
            result = 0;
            break;
        }
    }
    ::freeaddrinfo(list);
    return result;
}

std::atomic<NameLookup> current_lookup{&SystemLookup};

}  // namespace

void SetNameLookup(NameLookup lookup) { current_lookup.store(lookup != nullptr ? lookup : &SystemLookup); }

int ResolveName(const char* name, uint32_t* address) {
    if (name == nullptr || *name == '\0') return EAI_NONAME;
    return current_lookup.load()(name, address);
}

int ResolveNameWithin(const char* name, uint32_t* address, int timeout_ms) {
    if (name == nullptr || *name == '\0') return EAI_NONAME;
    // getaddrinfo cannot be interrupted; a thread that may outlive the wait
    // owns its share of the answer, so nothing it writes is gone.
    struct Answer {
        std::mutex mutex;
        std::condition_variable ready;
        bool done = false;
        int rc = EAI_AGAIN;
        uint32_t address = 0;
    };
    auto answer = std::make_shared<Answer>();
    const NameLookup lookup = current_lookup.load();
    try {
        std::thread([answer, lookup, copy = std::string(name)] {
            uint32_t found = 0;
            const int rc = lookup(copy.c_str(), &found);
            std::lock_guard<std::mutex> lock(answer->mutex);
            answer->rc = rc;
            answer->address = found;
            answer->done = true;
            answer->ready.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return lookup(name, address);
    }
    std::unique_lock<std::mutex> lock(answer->mutex);
    if (!answer->ready.wait_for(lock, std::chrono::milliseconds(timeout_ms > 0 ? timeout_ms : 0),
                                [&answer] { return answer->done; })) {
        return EAI_AGAIN;
    }
    if (answer->rc == 0) *address = answer->address;
    return answer->rc;
}

int ReverseName(uint32_t address, std::string* name) {
    sockaddr_in a = ToNative(Endpoint{address, 0});
    char host[NI_MAXHOST] = "";
    const int rc = ::getnameinfo(reinterpret_cast<sockaddr*>(&a), sizeof a, host, sizeof host, nullptr, 0,
                                 NI_NAMEREQD);
    if (rc != 0) return rc;
    *name = host;
    return 0;
}

}  // namespace zerlan::sock
