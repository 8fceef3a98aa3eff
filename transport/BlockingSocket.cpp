#include "transport/BlockingSocket.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/Clock.h"
#include "platform/Sleep.h"

namespace zerlan {
namespace {

// Ready sockets that still refuse every byte would otherwise spin for ever.
constexpr int kMaxIdleSendRetries = 1000;
// A shut-down socket wakes its users at once; this only bounds a surprise.
constexpr int kMaxReleaseWaitMs = 10000;

int ToMs(int seconds) { return seconds <= 0 ? 0 : seconds * 1000; }

void WaitOrThrow(int fd, bool for_write, int seconds, const char* operation, const char* timeout_text) {
    const int w = sock::Wait(fd, for_write, ToMs(seconds));
    if (w == sock::kWaitTimedOut) throw CBlockingSocketException(timeout_text, 0);
    if (w == sock::kWaitFailed) throw CBlockingSocketException(operation);
}

// Days since 1970-01-01 to a proleptic Gregorian date.
void CivilFromDays(int64_t z, int* y, int* m, int* d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *y = static_cast<int>(yoe + era * 400 + (*m <= 2 ? 1 : 0));
}

}  // namespace

// ---- CSocketAddress ----

CSocketAddress::CSocketAddress(uint32_t host_address, uint16_t port)
    : port_(sock::HostToNet16(port)), address_(sock::HostToNet32(host_address)) {}

CSocketAddress::CSocketAddress(const char* dotted, uint16_t port)
    : port_(sock::HostToNet16(port)), address_(sock::HostToNet32(sock::ParseDotted(dotted))) {}

std::string CSocketAddress::DottedText() const { return sock::FormatDotted(HostAddress()); }
uint16_t CSocketAddress::Port() const { return sock::NetToHost16(port_); }
uint32_t CSocketAddress::HostAddress() const { return sock::NetToHost32(address_); }
sock::Endpoint CSocketAddress::ToEndpoint() const { return sock::Endpoint{HostAddress(), Port()}; }
CSocketAddress CSocketAddress::FromEndpoint(const sock::Endpoint& e) { return CSocketAddress(e.address, e.port); }

// ---- CBlockingSocketException ----

CBlockingSocketException::CBlockingSocketException(const char* message)
    : error_code_(sock::LastError()), message_(message ? message : "") {}

CBlockingSocketException::CBlockingSocketException(const char* message, int error_code)
    : error_code_(error_code), message_(message ? message : "") {}

bool CBlockingSocketException::GetErrorMessage(char* buffer, unsigned maximum, unsigned*) const {
    if (buffer == nullptr || maximum == 0) return true;
    char text[1100];
    if (error_code_ != 0) {
        std::snprintf(text, sizeof text, "%s Fehler #%d", message_.c_str(), error_code_);
    } else {
        std::snprintf(text, sizeof text, "%s Fehler", message_.c_str());
    }
    const size_t n = std::min<size_t>(std::strlen(text), maximum - 1);
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
    return true;
}

std::string CBlockingSocketException::ErrorText(unsigned maximum) const {
    std::string text(maximum + 1, '\0');
    GetErrorMessage(text.data(), maximum);
    text.resize(std::strlen(text.c_str()));
    return text;
}

void LogBlockingSocketException(std::string& log, const char* prefix, const CBlockingSocketException& e) {
    const int64_t now = Clock::Get().EpochSeconds();
    int64_t days = now / 86400;
    int64_t rest = now % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    int year = 0, month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%02d/%02d/%02d %02d:%02d:%02d GMT", month, day, year % 100,
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
    char line[1200];
    std::snprintf(line, sizeof line, "WINSOCK-FEHLER--%s %s -- %s\r\n", prefix ? prefix : "",
                  e.ErrorText(49).c_str(), stamp);
    log += line;
}

// ---- CBlockingSocket ----

CBlockingSocket::~CBlockingSocket() { Cleanup(); }

CBlockingSocket::Use::Use(const CBlockingSocket& socket, const char* operation) : owner(socket) {
    // Counted before the handle is read, so Release sees every call that
    // could still hold the old descriptor.
    owner.users_.fetch_add(1);
    fd = owner.handle_.load();
    if (fd == sock::kNoSocket) {
        owner.users_.fetch_sub(1);
        throw CBlockingSocketException(operation, EBADF);
    }
}

CBlockingSocket::Use::~Use() { owner.users_.fetch_sub(1); }

bool CBlockingSocket::Release(int fd) {
    sock::Shutdown(fd);
    for (int waited = 0; users_.load() > 0 && waited < kMaxReleaseWaitMs; ++waited) Sleep(1);
    return sock::Close(fd) == 0;
}

void CBlockingSocket::Cleanup() {
    const int fd = handle_.exchange(sock::kNoSocket);
    if (fd != sock::kNoSocket) Release(fd);
}

void CBlockingSocket::Create(int type) {
    const int fd = sock::Open(type);
    if (fd < 0) throw CBlockingSocketException("Create");
    type_ = type;
    const int old = handle_.exchange(fd);
    if (old != sock::kNoSocket) Release(old);
}

void CBlockingSocket::Bind(const CSocketAddress& local) {
    const Use use(*this, "Bind");
    const int fd = use.fd;
    if (type_ == kStream && sock::SetReuseAddress(fd) != 0) throw CBlockingSocketException("Bind");
    if (sock::Bind(fd, local.ToEndpoint()) != 0) throw CBlockingSocketException("Bind");
}

void CBlockingSocket::Listen() {
    if (sock::Listen(Use(*this, "Listen").fd, sock::MaxBacklog()) != 0) throw CBlockingSocketException("Listen");
}

bool CBlockingSocket::Accept(CBlockingSocket& target, CSocketAddress* address) {
    const Use use(*this, "Accept");
    const int fd = use.fd;
    sock::Endpoint peer;
    const int client = sock::Accept(fd, &peer);
    if (client < 0) {
        const int error = sock::LastError();
        // A shut-down listener fails with EINVAL; one closed under us with EBADF.
        if (error == EINTR || error == EINVAL || (error == EBADF && handle_.load() != fd)) return false;
        throw CBlockingSocketException("Accept", error);
    }
    target.Cleanup();
    target.type_ = kStream;
    target.handle_.store(client);
    if (address != nullptr) *address = CSocketAddress::FromEndpoint(peer);
    return true;
}

void CBlockingSocket::Close() {
    const int fd = handle_.exchange(sock::kNoSocket);
    if (fd == sock::kNoSocket) return;
    if (!Release(fd)) throw CBlockingSocketException("Close");
}

void CBlockingSocket::Shutdown() {
    const int fd = handle_.load();
    if (fd != sock::kNoSocket) sock::Shutdown(fd);
}

void CBlockingSocket::Connect(const CSocketAddress& remote, int seconds) {
    if (sock::Connect(Use(*this, "Connect").fd, remote.ToEndpoint(), ToMs(seconds)) != 0) {
        throw CBlockingSocketException("Connect");
    }
}

int CBlockingSocket::Send(const char* data, int length, int seconds) {
    const Use use(*this, "Send");
    const int fd = use.fd;
    if (data == nullptr || length <= 0) return 0;
    int sent = 0;
    int idle = 0;
    while (sent < length) {
        // Tried before any wait: a socket with room (the usual case) costs one call.
        const long n = sock::SendSome(fd, data + sent, static_cast<size_t>(length - sent));
        if (n > 0) {
            idle = 0;
            sent += static_cast<int>(n);
            continue;
        }
        if (n < 0) {
            const int error = sock::LastError();
            if (!sock::WouldBlock(error)) throw CBlockingSocketException("Send", error);
            if (++idle > kMaxIdleSendRetries) throw CBlockingSocketException("Send timeout", 0);
        }
        WaitOrThrow(fd, true, seconds, "Send", "Send timeout");
    }
    return sent;
}

int CBlockingSocket::SendWithin(const char* data, int length, int wait_ms) {
    const Use use(*this, "Send");
    const int fd = use.fd;
    if (data == nullptr || length <= 0) return 0;
    long n = sock::SendSome(fd, data, static_cast<size_t>(length));
    if (n < 0) {
        int error = sock::LastError();
        if (!sock::WouldBlock(error)) throw CBlockingSocketException("Send", error);
        const int w = sock::Wait(fd, true, std::max(wait_ms, 0));
        if (w == sock::kWaitFailed) throw CBlockingSocketException("Send");
        if (w == sock::kWaitTimedOut) return 0;
        n = sock::SendSome(fd, data, static_cast<size_t>(length));
        if (n < 0) {
            error = sock::LastError();
            if (sock::WouldBlock(error)) return 0;
            throw CBlockingSocketException("Send", error);
        }
    }
    return static_cast<int>(n);
}

int CBlockingSocket::Receive(char* buffer, int size, int seconds) { return ReceiveWithin(buffer, size, ToMs(seconds)); }

int CBlockingSocket::ReceiveWithin(char* buffer, int size, int wait_ms) {
    const Use use(*this, "Receive");
    const int fd = use.fd;
    const int w = sock::Wait(fd, false, std::max(wait_ms, 0));
    if (w == sock::kWaitTimedOut) throw CBlockingSocketException("Receive timeout", 0);
    if (w == sock::kWaitFailed) throw CBlockingSocketException("Receive");
    const long n = sock::ReceiveSome(fd, buffer, static_cast<size_t>(std::max(size, 0)));
    if (n < 0) {
        const int error = sock::LastError();
        if (sock::WouldBlock(error)) throw CBlockingSocketException("Receive timeout", 0);
        throw CBlockingSocketException("Receive", error);
    }
    return static_cast<int>(n);
}

int CBlockingSocket::ReceiveDatagram(char* buffer, int size, CSocketAddress* from, int seconds) {
    const Use use(*this, "ReceiveDatagram");
    const int fd = use.fd;
    WaitOrThrow(fd, false, seconds, "ReceiveDatagram", "Receive timeout");
    sock::Endpoint sender;
    const long n = sock::ReceiveFromSome(fd, buffer, static_cast<size_t>(std::max(size, 0)), &sender);
    if (n < 0) {
        const int error = sock::LastError();
        if (sock::WouldBlock(error)) throw CBlockingSocketException("Receive timeout", 0);
        throw CBlockingSocketException("ReceiveDatagram", error);
    }
    if (from != nullptr) *from = CSocketAddress::FromEndpoint(sender);
    return static_cast<int>(n);
}

int CBlockingSocket::SendDatagram(const char* data, int length, const CSocketAddress& to, int seconds) {
    const Use use(*this, "SendDatagram");
    const int fd = use.fd;
    WaitOrThrow(fd, true, seconds, "SendDatagram", "Send timeout");
    const long n = sock::SendToSome(fd, data, static_cast<size_t>(std::max(length, 0)), to.ToEndpoint());
    if (n < 0) {
        const int error = sock::LastError();
        if (sock::WouldBlock(error)) throw CBlockingSocketException("Send timeout", 0);
        throw CBlockingSocketException("SendDatagram", error);
    }
    return static_cast<int>(n);
}

void CBlockingSocket::GetPeerName(CSocketAddress* address) {
    sock::Endpoint e;
    if (sock::PeerName(Use(*this, "GetPeerName").fd, &e) != 0) throw CBlockingSocketException("GetPeerName");
    if (address != nullptr) *address = CSocketAddress::FromEndpoint(e);
}

void CBlockingSocket::GetSockName(CSocketAddress* address) {
    sock::Endpoint e;
    if (sock::LocalName(Use(*this, "GetSockName").fd, &e) != 0) throw CBlockingSocketException("GetSockName");
    if (address != nullptr) *address = CSocketAddress::FromEndpoint(e);
}

uint16_t CBlockingSocket::BoundPort() const {
    if (!IsOpen()) return 0;
    try {
        const Use use(*this, "GetSockName");
        sock::Endpoint e;
        return sock::LocalName(use.fd, &e) == 0 ? e.port : 0;
    } catch (const CBlockingSocketException&) {
        return 0;
    }
}

CSocketAddress CBlockingSocket::GetHostByName(const char* name, uint16_t port, int timeout_ms) {
    uint32_t address = 0;
    const int rc =
        timeout_ms < 0 ? sock::ResolveName(name, &address) : sock::ResolveNameWithin(name, &address, timeout_ms);
    if (rc != 0) throw CBlockingSocketException("GetHostByName", rc);
    return CSocketAddress(address, port);
}

std::string CBlockingSocket::GetHostByAddr(const CSocketAddress& address) {
    std::string name;
    const int rc = sock::ReverseName(address.HostAddress(), &name);
    if (rc != 0) throw CBlockingSocketException("GetHostByAddr", rc);
    return name;
}

// ---- CHttpBlockingSocket ----

int CHttpBlockingSocket::ReadHeaderLine(char* buffer, int size, int seconds) {
    int scan_from = 0;
    for (;;) {
        const char* begin = read_ahead_.data();
        const char* lf = static_cast<const char*>(std::memchr(begin + scan_from, '\n', held_ - scan_from));
        if (lf != nullptr) {
            const int line = static_cast<int>(lf - begin) + 1;
            int copied = 0;
            if (buffer != nullptr && size > 0) {
                copied = std::min(line, size - 1);
                std::memcpy(buffer, begin, static_cast<size_t>(copied));
                buffer[copied] = '\0';
            }
            std::memmove(read_ahead_.data(), begin + line, static_cast<size_t>(held_ - line));
            held_ -= line;
            return copied;
        }
        scan_from = held_;
        const int room = kBufferSize - held_;
        // A full buffer without a line feed is a line too long to hold.
        const int n = room > 0 ? Receive(read_ahead_.data() + held_, room, seconds) : 0;
        if (n <= 0) throw CBlockingSocketException("ReadHeaderLine", 0);
        held_ += n;
    }
}

int CHttpBlockingSocket::ReadHttpResponse(char* buffer, int size, int seconds) {
    if (buffer == nullptr || size <= 0) return 0;
    // Keeps what does not fit instead of writing past a small buffer.
    int total = std::min(held_, size);
    std::memcpy(buffer, read_ahead_.data(), static_cast<size_t>(total));
    std::memmove(read_ahead_.data(), read_ahead_.data() + total, static_cast<size_t>(held_ - total));
    held_ -= total;
    while (total < size) {
        const int n = Receive(buffer + total, std::min(kBufferSize, size - total), seconds);
        if (n <= 0) break;
        total += n;
    }
    return total;
}

}  // namespace zerlan
