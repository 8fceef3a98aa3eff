// The network endpoint of the stream threads. One object plays one role at a
// time: TCP client, TCP server with one current connection, or UDP endpoint
// (server or client, input or output). Socket exceptions never leave it: every
// call returns 0 done (also when there was nothing to do), 1 refused (argument
// out of range, start/stop/accept failed), 2 transfer failed (socket error,
// time-out, or the TCP peer closed), 3 an accept wait was interrupted (the
// listener was shut down or the wait broken) - no connection was made.
// Transfers also hand their byte count to the caller, because several threads
// may share one object.
//
// Thread-safety: roles are started and stopped by their owner thread, but any
// thread may Stop an object to release a thread blocked in ServerAccept or
// Accept. One thread may send while another receives on the same UDP object;
// the UDP client table is guarded by a lock so the registration listener can
// change it while the sender walks it. Counters, flags and texts are safe to
// read from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "transport/BlockingSocket.h"

namespace zerlan {

class SharedState;
class MessageQueue;

class CSuperSocket {
public:
    static constexpr int kDone = 0;
    static constexpr int kRefused = 1;
    static constexpr int kTransferFailed = 2;
    static constexpr int kInterrupted = 3;

    static constexpr int kMaxReceive = 1499;
    static constexpr int kMaxSend = 7000;
    // Larger blocks are sent as several datagrams, which pass any usual path
    // without fragments.
    static constexpr int kMaxDatagram = 1400;
    static constexpr int kLineSize = 1000;
    static constexpr int kUdpTableSize = 210;
    static constexpr int kUdpClientSlots = 200;
    static constexpr int kReceiveSeconds = 2;
    static constexpr int kInputWaitMs = 100;
    static constexpr int kSendSeconds = 5;
    static constexpr int kUdpSeconds = 3;
    static constexpr int kTextSize = 200;
    static constexpr int kMessageTexts = 12;
    static constexpr int kMessageSize = 1000;

    // Silent object: errors and status lines are not shown. `shared` may be
    // null (no stop checks, no status board).
    explicit CSuperSocket(SharedState* shared = nullptr);
    // Object that shows errors and status lines to `window`.
    CSuperSocket(SharedState* shared, MessageQueue* window);
    CSuperSocket(const CSuperSocket&) = delete;
    CSuperSocket& operator=(const CSuperSocket&) = delete;
    ~CSuperSocket() = default;

    void Reset();
    void Attach(MessageQueue* window);
    void ClearUdpClients();
    // Where UdpRegister publishes the number of registered clients.
    void SetUdpClientCounter(std::atomic<int32_t>* counter) { udp_client_counter_ = counter; }

    // ---- roles ----
    // Listens on the port (any local address, or `local_address` when given).
    int ServerStart(const char* port, const char* local_address = nullptr);
    // The system's reason of the last start, transfer or name lookup that
    // failed: errno, a negative name-lookup code, or 0 when the peer closed.
    int LastError() const { return last_error_.load(); }
    int ClientStart(const char* address, const char* port, int connect_seconds = CBlockingSocket::kConnectSeconds);
    // mode "OUTSRV", "OUTCLI", "INSRV" or "INCLI"; client modes also fix the
    // remote address. Limits outside 1..200 are clamped into it.
    int UdpStart(const char* remote_address, const char* remote_port, const char* local_address,
                 const char* local_port, const char* client_limit, const char* mode);
    // Waits without time-out for a client on the connection socket.
    int ServerAccept();
    // Waits for a client on a socket owned by the caller.
    int Accept(CBlockingSocket& target, CSocketAddress* address);
    int Stop();
    // Connects to the listener's address (127.0.0.1 for every interface) so
    // that a blocked accept returns, then stops.
    void WakeAndStop(const char* port, const char* address = nullptr);
    int Wake(const char* port, const char* address = nullptr);

    // ---- transfers (`count` receives the bytes moved by this call) ----
    // Reads at most `size` (1..1499) bytes; the buffer must hold size + 1.
    // A closed peer is a transfer failure.
    int Receive(char* buffer, int size, int seconds = kReceiveSeconds, int* count = nullptr);
    // The same with the wait in milliseconds: input threads wait in short
    // steps so that they see the stop switch.
    int ReceiveWithin(char* buffer, int size, int wait_ms, int* count = nullptr);
    // Sends all of at most 7000 bytes; gives up after `seconds` without progress.
    int Send(const char* data, int length, int seconds = kSendSeconds, int* count = nullptr);
    // Server role: a poll of the caller's client socket.
    int ReceiveFrom(char* buffer, int size, CBlockingSocket& socket, int* count = nullptr);
    // Server role: one line (through its LF, at most 999 bytes) into a buffer
    // of kLineSize bytes; a stop request ends it with 0.
    int ReadLine(char* buffer, CBlockingSocket& socket, int* count = nullptr);
    int SendTo(const char* data, int length, CBlockingSocket& socket, int seconds = kSendSeconds,
               int* count = nullptr);
    int UdpReceive(char* buffer, int size, const char* mode, int* count = nullptr);
    // False when nothing arrived within `wait_ms`, so that a receiver can
    // look at the stop switch between short waits.
    bool WaitForReceive(int wait_ms) {
        return sock::Wait(TransferSocket().Handle(), false, wait_ms) != sock::kWaitTimedOut;
    }
    // Mode starting with 'O': to the remote address; otherwise to the last sender.
    int UdpSend(const char* data, int length, const char* mode, int* count = nullptr);
    // To every registered client; `count` is the sum sent. 2 if any send failed.
    // Once a cancel has been handled, its client is sent nothing more.
    int UdpSendAll(const char* data, int length, int* count = nullptr);
    // Reads one registration datagram (1 s) and updates the client table.
    int UdpRegister(char* buffer, int size, int* count = nullptr);

    // ---- services ----
    // 1 when a host name was resolved (host text becomes dotted), 0 otherwise.
    // A `timeout_ms` of 0 or more bounds the lookup.
    int ResolveHost(const char* host, const char* port, int timeout_ms = -1);
    int LogAccept(const CSocketAddress& client, const char* file_name);
    void ShowError(const char* text);
    void ShowStatus(const char* text);
    // Shows to the main view window, when flag is 1, even from a silent object.
    void ShowStatus(const char* text, int flag);
    // The library needs no start on this platform: always version 2.2 (0).
    int StartSocketLibrary();
    int EndSocketLibrary();

    // ---- state ----
    std::string HostText() const;
    std::string PeerText() const;
    std::string MessageText(int index) const;
    int32_t BytesSent() const { return bytes_sent_.load(); }
    int32_t BytesReceived() const { return bytes_received_.load(); }
    int UdpClientLimit() const { return udp_client_limit_.load(); }
    int UdpClientCount() const;
    int DroppedUdpClients() const;
    int UdpOverrun() const;
    std::vector<CSocketAddress> UdpClients() const;
    std::vector<int32_t> PerClientBytesSent() const;
    CSocketAddress ResolvedAddress() const;
    CSocketAddress LastSender() const;
    CSocketAddress RegistrationSender() const;
    CSocketAddress ClientAddress() const;  // of the last ServerAccept
    bool ClientIdle() const { return client_idle_.load() == 1; }
    bool ServerIdle() const { return server_idle_.load() == 1; }
    bool UdpIdle() const { return udp_idle_.load() == 1; }
    bool UdpActive() const { return udp_active_.load() == 1; }
    bool ServerMode() const { return server_mode_.load() == 1; }
    bool HasWindow() const { return has_window_.load() == 1; }
    bool SocketLibraryStarted() const { return library_started_.load() == 1; }
    // Local port of the main socket (listener or UDP socket); 0 when closed.
    uint16_t LocalPort() const { return main_.BoundPort(); }
    CBlockingSocket& ConnectionSocket() { return connection_; }

private:
    CBlockingSocket& TransferSocket() { return server_mode_.load() == 1 ? connection_ : main_; }
    bool StopRequested() const;
    void SetStatusSlots(const char* text);
    void ShowUdpClientStatus(int count);
    void RegisterClient(const CSocketAddress& sender);
    void DeregisterClient(const CSocketAddress& sender);
    void DropOldest();
    // The block in datagrams of at most kMaxDatagram bytes; throws.
    int SendDatagrams(const char* data, int length, const CSocketAddress& to, int seconds);

    SharedState* shared_ = nullptr;
    std::atomic<MessageQueue*> window_{nullptr};
    std::atomic<int32_t> last_error_{0};
    std::atomic<int32_t> unresolved_{0};  // the last name lookup failed
    std::atomic<int32_t>* udp_client_counter_ = nullptr;

    mutable std::mutex text_mutex_;  // host, peer, date and message texts
    char host_text_[kTextSize] = "";
    char peer_text_[kTextSize] = "";
    char date_texts_[7][100] = {};
    char message_texts_[kMessageTexts][kMessageSize] = {};

    std::atomic<int32_t> bytes_sent_{0};
    std::atomic<int32_t> bytes_received_{0};
    std::atomic<int32_t> udp_client_limit_{0};

    std::mutex send_mutex_;           // one UdpSendAll at a time; taken before table_mutex_
    mutable std::mutex table_mutex_;  // the UDP client table and its counts
    int32_t udp_client_count_ = 0;
    int32_t udp_overrun_ = 0;
    int32_t dropped_udp_clients_ = 0;
    int32_t per_client_sent_[kUdpClientSlots] = {};
    CSocketAddress udp_clients_[kUdpTableSize];

    mutable std::mutex address_mutex_;
    CSocketAddress registration_sender_;
    CSocketAddress last_sender_;
    CSocketAddress local_address_;
    CSocketAddress resolved_address_;
    CSocketAddress remote_address_;

    CBlockingSocket connection_;
    CBlockingSocket main_;

    std::atomic<int32_t> client_idle_{1};
    std::atomic<int32_t> server_idle_{1};
    std::atomic<int32_t> udp_active_{0};
    std::atomic<int32_t> server_mode_{0};
    std::atomic<int32_t> has_window_{0};
    std::atomic<int32_t> library_started_{0};
    std::atomic<int32_t> udp_idle_{1};
    std::atomic<int32_t> udp_start_failed_{0};
};

}  // namespace zerlan
