// The lowest network layer: blocking IPv4 TCP and UDP sockets whose every wait
// is bounded by a time-out in whole seconds. Failures are thrown as
// `CBlockingSocketException` by value, naming the operation and carrying the
// system error number; only `Accept` reports an interrupted wait by its result.
//
// Thread-safety: a socket object is used by one thread at a time, except that
// any thread may `Close`, `Cleanup` or `Shutdown` it to release a thread
// blocked in `Accept` or in a wait. Closing shuts the socket down first and
// closes the descriptor only once no call is using it any more, so a
// descriptor number is never reused under a running call.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <string>

#include "platform/Socket.h"

namespace zerlan {

// An IPv4 socket address laid out as sockaddr_in: family, port and address in
// network byte order, eight zero bytes.
class CSocketAddress {
public:
    CSocketAddress() = default;
    CSocketAddress(uint32_t host_address, uint16_t port);
    // An address that is not dotted decimal becomes 255.255.255.255.
    CSocketAddress(const char* dotted, uint16_t port);

    std::string DottedText() const;
    uint16_t Port() const;
    uint32_t HostAddress() const;
    sock::Endpoint ToEndpoint() const;
    static CSocketAddress FromEndpoint(const sock::Endpoint& e);

    bool operator==(const CSocketAddress& other) const {
        return port_ == other.port_ && address_ == other.address_;
    }

private:
    uint16_t family_ = 2;  // AF_INET
    uint16_t port_ = 0;
    uint32_t address_ = 0;
    uint8_t zero_[8] = {};
};
static_assert(sizeof(CSocketAddress) == 16);

class CBlockingSocketException : public std::exception {
public:
    // Takes the error number the system recorded last.
    explicit CBlockingSocketException(const char* message);
    CBlockingSocketException(const char* message, int error_code);

    int ErrorCode() const { return error_code_; }
    const std::string& Message() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

    // "%s Fehler #%d", or "%s Fehler" when the code is 0, cut to maximum - 1
    // characters and terminated. Always true.
    bool GetErrorMessage(char* buffer, unsigned maximum, unsigned* help_context = nullptr) const;
    std::string ErrorText(unsigned maximum = 1000) const;

private:
    int32_t error_code_ = 0;
    std::string message_;
};

// Appends "WINSOCK-FEHLER--<prefix> <error text> -- <UTC time> GMT\r\n" to a log text.
void LogBlockingSocketException(std::string& log, const char* prefix, const CBlockingSocketException& e);

class CBlockingSocket {
public:
    static constexpr int kStream = sock::kStream;
    static constexpr int kDatagram = sock::kDatagram;
    static constexpr int kConnectSeconds = 5;

    CBlockingSocket() = default;
    // Closes quietly what the owner left open, so no descriptor leaks.
    virtual ~CBlockingSocket();
    CBlockingSocket(const CBlockingSocket&) = delete;
    CBlockingSocket& operator=(const CBlockingSocket&) = delete;

    // Never throws; leaves the object reusable.
    void Cleanup();
    void Create(int type = kStream);
    // Stream sockets are bound with address reuse, so a restarted job can
    // listen on its port again at once.
    void Bind(const CSocketAddress& local);
    void Listen();
    // True when a connection was accepted into `target` (which must be
    // closed); false when the wait was interrupted or the listener was shut
    // down while waiting.
    bool Accept(CBlockingSocket& target, CSocketAddress* address);
    // Shuts the socket down before closing it, which releases a thread
    // blocked in Accept on it.
    void Close();
    // Releases a thread blocked in Accept without closing; never throws.
    void Shutdown();
    void Connect(const CSocketAddress& remote, int seconds = kConnectSeconds);
    // Sends every byte; gives up ("Send timeout") when `seconds` pass without
    // any byte taken. Returns length.
    int Send(const char* data, int length, int seconds);
    // Sends what fits, waiting at most `wait_ms` for room; 0 when none came.
    int SendWithin(const char* data, int length, int wait_ms);
    // One read of what has arrived; 0 when the peer has closed.
    int Receive(char* buffer, int size, int seconds);
    // The same with the wait in milliseconds.
    int ReceiveWithin(char* buffer, int size, int wait_ms);
    int ReceiveDatagram(char* buffer, int size, CSocketAddress* from, int seconds);
    int SendDatagram(const char* data, int length, const CSocketAddress& to, int seconds);
    void GetPeerName(CSocketAddress* address);
    void GetSockName(CSocketAddress* address);

    // A `timeout_ms` of 0 or more gives up on a slow lookup after that time.
    static CSocketAddress GetHostByName(const char* name, uint16_t port = 0, int timeout_ms = -1);
    static std::string GetHostByAddr(const CSocketAddress& address);

    int Handle() const { return handle_.load(); }
    bool IsOpen() const { return handle_.load() != sock::kNoSocket; }
    // The local port of a bound socket (port 0 binds pick one); 0 if unknown.
    uint16_t BoundPort() const;

private:
    // Holds the descriptor open for the duration of one call.
    struct Use {
        Use(const CBlockingSocket& socket, const char* operation);
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        const CBlockingSocket& owner;
        int fd;
    };
    // Shuts down and closes `fd` once no call uses it; false if close failed.
    bool Release(int fd);

    std::atomic<int> handle_{sock::kNoSocket};
    mutable std::atomic<int> users_{0};
    int type_ = 0;
};

// A stream socket that reads HTTP header lines through a 1000-byte read-ahead
// buffer.
class CHttpBlockingSocket : public CBlockingSocket {
public:
    static constexpr int kBufferSize = 1000;

    // Next line through its line feed (a CR before it stays), cut to size - 1
    // bytes and NUL-terminated; returns the bytes copied. Throws
    // "ReadHeaderLine" when the peer closes first or a line outgrows the buffer.
    int ReadHeaderLine(char* buffer, int size, int seconds);
    // Read-ahead bytes first, then the stream until the peer closes or `size`
    // bytes are held. Not terminated.
    int ReadHttpResponse(char* buffer, int size, int seconds);

    int BytesHeld() const { return held_; }

private:
    std::array<char, kBufferSize> read_ahead_{};
    int held_ = 0;
};

}  // namespace zerlan
