#include "transport/SuperSocket.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/FixedText.h"
#include "core/Messages.h"
#include "core/SharedState.h"
#include "platform/Clock.h"
#include "platform/MessageQueue.h"
#include "platform/Paths.h"
#include "platform/Sleep.h"
#include "platform/Socket.h"

namespace zerlan {
namespace {

constexpr int kStatusSlot = 10;
constexpr int kStatusMirrorSlot = 20;
constexpr int kRegisterSeconds = 1;
constexpr int kSendAllSeconds = 1;

// A wait that ended with nothing to read: the short time-outs only let
// threads see the stop switch, so this is no failure.
bool IsIdleTimeout(const CBlockingSocketException& e) {
    return e.ErrorCode() == 0 && e.Message() == "Receive timeout";
}

// atoi of the setting; a port outside 0..65535 would bind or reach a
// different port than the one configured.
uint16_t PortOrThrow(const char* text, const char* operation) {
    const long value = text != nullptr ? std::atol(text) : -1;
    if (value < 0 || value > 65535) throw CBlockingSocketException(operation, EINVAL);
    return static_cast<uint16_t>(value);
}

// An empty address means every local address; a name is resolved.
CSocketAddress LocalAddressOf(const char* address, uint16_t port) {
    if (address == nullptr || *address == '\0') return CSocketAddress(0u, port);
    if (sock::ParseDotted(address) == 0xFFFFFFFFu && std::strcmp(address, "255.255.255.255") != 0) {
        return CBlockingSocket::GetHostByName(address, port);
    }
    return CSocketAddress(address, port);
}

}  // namespace

CSuperSocket::CSuperSocket(SharedState* shared) : shared_(shared) { Reset(); }

CSuperSocket::CSuperSocket(SharedState* shared, MessageQueue* window) : shared_(shared) {
    window_.store(window);
    has_window_.store(1);
    Reset();
}

void CSuperSocket::Reset() {
    client_idle_.store(1);
    server_idle_.store(1);
    udp_idle_.store(1);
    udp_active_.store(0);
    server_mode_.store(0);
    library_started_.store(0);
    bytes_sent_.store(0);
    bytes_received_.store(0);
    udp_client_limit_.store(0);
    {
        std::lock_guard<std::mutex> lock(text_mutex_);
        CopyText(host_text_, "0.0.0.0");
        CopyText(peer_text_, "0.0.0.0");
        for (auto& t : date_texts_) t[0] = '\0';
        for (auto& t : message_texts_) t[0] = '\0';
    }
    ClearUdpClients();
}

void CSuperSocket::Attach(MessageQueue* window) {
    window_.store(window);
    has_window_.store(1);
    Reset();
    std::lock_guard<std::mutex> lock(text_mutex_);
    host_text_[0] = '\0';
}

void CSuperSocket::ClearUdpClients() {
    std::lock_guard<std::mutex> lock(table_mutex_);
    for (int i = 0; i < kUdpClientSlots; ++i) {
        udp_clients_[i] = CSocketAddress("0.0.0.0", 0);
        per_client_sent_[i] = 0;
    }
    udp_client_count_ = 0;
    dropped_udp_clients_ = 0;
    udp_overrun_ = 0;
}

bool CSuperSocket::StopRequested() const { return shared_ != nullptr && shared_->registry.StopRequested(); }

// ---- roles ----

int CSuperSocket::ServerStart(const char* port, const char* local_address) {
    if (server_idle_.load() != 1) return kDone;
    try {
        const uint16_t p = PortOrThrow(port, "Bind");
        main_.Create(CBlockingSocket::kStream);
        main_.Bind(LocalAddressOf(local_address, p));
        main_.Listen();
    } catch (const CBlockingSocketException& e) {
        last_error_.store(e.ErrorCode());
        ShowError("Error in ServerStart");
        main_.Cleanup();
        return kRefused;
    }
    server_mode_.store(1);
    udp_active_.store(0);
    server_idle_.store(0);
    return kDone;
}

int CSuperSocket::ClientStart(const char* address, const char* port, int connect_seconds) {
    if (client_idle_.load() != 1) return kDone;
    try {
        const uint16_t p = PortOrThrow(port, "Connect");
        main_.Create(CBlockingSocket::kStream);
        main_.Connect(CSocketAddress(address != nullptr ? address : "", p), connect_seconds);
    } catch (const CBlockingSocketException& e) {
        if (unresolved_.load() == 0) last_error_.store(e.ErrorCode());
        main_.Cleanup();
        return kRefused;
    }
    client_idle_.store(0);
    server_mode_.store(0);
    udp_active_.store(0);
    return kDone;
}

int CSuperSocket::UdpStart(const char* remote_address, const char* remote_port, const char* local_address,
                           const char* local_port, const char* client_limit, const char* mode) {
    if (udp_idle_.load() != 1) return kDone;
    // The table holds per-client counts for 200 entries, and a limit below 1
    // would make room by dropping from an empty table.
    int limit = client_limit != nullptr ? std::atoi(client_limit) : 0;
    if (limit < 1) limit = 1;
    if (limit > kUdpClientSlots) limit = kUdpClientSlots;
    udp_client_limit_.store(limit);
    const std::string m = mode != nullptr ? mode : "";
    try {
        const CSocketAddress local = LocalAddressOf(local_address, PortOrThrow(local_port, "Bind"));
        {
            std::lock_guard<std::mutex> lock(address_mutex_);
            local_address_ = local;
            if (m == "OUTCLI" || m == "INCLI") {
                remote_address_ =
                    CSocketAddress(remote_address != nullptr ? remote_address : "", PortOrThrow(remote_port, "Bind"));
            }
        }
        main_.Create(CBlockingSocket::kDatagram);
        main_.Bind(local);
    } catch (const CBlockingSocketException& e) {
        last_error_.store(e.ErrorCode());
        // Callers retry every few milliseconds: one text per run of failures.
        if (udp_start_failed_.exchange(1) == 0) ShowError("Error in UdpStart");
        main_.Cleanup();
        return kRefused;
    }
    udp_start_failed_.store(0);
    server_mode_.store(0);
    udp_active_.store(1);
    udp_idle_.store(0);
    return kDone;
}

int CSuperSocket::ServerAccept() {
    try {
        CSocketAddress client;
        if (!main_.Accept(connection_, &client)) return kInterrupted;
        std::lock_guard<std::mutex> lock(address_mutex_);
        local_address_ = client;
    } catch (const CBlockingSocketException&) {
        ShowError("Error in ServerAccept");
        return kRefused;
    }
    return kDone;
}

int CSuperSocket::Accept(CBlockingSocket& target, CSocketAddress* address) {
    try {
        if (!main_.Accept(target, address)) return kInterrupted;
    } catch (const CBlockingSocketException&) {
        ShowError("Error in ServerAccept");
        return kRefused;
    }
    return kDone;
}

int CSuperSocket::Stop() {
    // Whatever happens, the role ends idle: a role left busy after a failed
    // close would make every later start a silent no-op.
    if (server_mode_.load() == 0 && udp_active_.load() == 0 && client_idle_.load() == 0) {
        int result = kDone;
        try {
            main_.Close();
        } catch (const CBlockingSocketException&) {
            ShowError("Error in ClientStop");
            result = kRefused;
        }
        main_.Cleanup();
        client_idle_.store(1);
        return result;
    }
    if (server_mode_.load() == 1 && udp_active_.load() == 0 && server_idle_.load() == 0) {
        int result = kDone;
        try {
            connection_.Close();
            ShowStatus("Kill Empfangs-Socket !!");
            main_.Close();
        } catch (const CBlockingSocketException&) {
            ShowError("Error in ServerStop");
            result = kRefused;
        }
        connection_.Cleanup();
        main_.Cleanup();
        server_idle_.store(1);
        return result;
    }
    if (server_mode_.load() == 0 && udp_active_.load() == 1 && udp_idle_.load() == 0) {
        int result = kDone;
        try {
            main_.Close();
        } catch (const CBlockingSocketException&) {
            ShowError("Error in UdpStop");
            result = kRefused;
        }
        main_.Cleanup();
        udp_idle_.store(1);
        return result;
    }
    return kDone;
}

int CSuperSocket::Wake(const char* port, const char* address) {
    // A listener on every interface is reached through the loopback.
    const bool any = address == nullptr || *address == '\0' || std::strcmp(address, "0.0.0.0") == 0;
    return ClientStart(any ? "127.0.0.1" : address, port);
}

void CSuperSocket::WakeAndStop(const char* port, const char* address) {
    Wake(port, address);
    Sleep(10);
    Stop();
}

// ---- transfers ----

int CSuperSocket::Receive(char* buffer, int size, int seconds, int* count) {
    return ReceiveWithin(buffer, size, seconds <= 0 ? 0 : seconds * 1000, count);
}

int CSuperSocket::ReceiveWithin(char* buffer, int size, int wait_ms, int* count) {
    if (count != nullptr) *count = 0;
    if (buffer == nullptr || size < 1 || size > kMaxReceive) return kRefused;
    bytes_received_.store(0);
    buffer[0] = '\0';
    const bool server = server_mode_.load() == 1;
    try {
        const int n = TransferSocket().ReceiveWithin(buffer, size, wait_ms);
        // A closed peer never sends again; reading on would spin.
        if (n == 0) throw CBlockingSocketException("Receive", 0);
        buffer[n] = '\0';
        bytes_received_.store(n);
        if (count != nullptr) *count = n;
    } catch (const CBlockingSocketException& e) {
        if (IsIdleTimeout(e)) return kDone;
        last_error_.store(e.ErrorCode());
        if (server && wait_ms > 0) ShowError("Error in ServerRecive");
        return kTransferFailed;
    }
    return kDone;
}

int CSuperSocket::Send(const char* data, int length, int seconds, int* count) {
    if (count != nullptr) *count = 0;
    if (length < 0 || length > kMaxSend || (data == nullptr && length > 0)) return kRefused;
    bytes_sent_.store(0);
    const bool server = server_mode_.load() == 1;
    try {
        const int n = TransferSocket().Send(data, length, seconds);
        bytes_sent_.store(n);
        if (count != nullptr) *count = n;
    } catch (const CBlockingSocketException& e) {
        last_error_.store(e.ErrorCode());
        if (server && seconds > 0) ShowError("Error in ServerSend");
        return kTransferFailed;
    }
    return kDone;
}

int CSuperSocket::ReceiveFrom(char* buffer, int size, CBlockingSocket& socket, int* count) {
    if (count != nullptr) *count = 0;
    if (buffer == nullptr || size < 1 || size > kMaxReceive) return kRefused;
    if (server_mode_.load() != 1) return kDone;
    bytes_received_.store(0);
    buffer[0] = '\0';
    try {
        const int n = socket.Receive(buffer, size, 0);
        if (n == 0) throw CBlockingSocketException("Receive", 0);
        buffer[n] = '\0';
        bytes_received_.store(n);
        if (count != nullptr) *count = n;
    } catch (const CBlockingSocketException& e) {
        if (IsIdleTimeout(e)) return kDone;
        last_error_.store(e.ErrorCode());
        ShowError("Error in ServerRecive");
        return kTransferFailed;
    }
    return kDone;
}

int CSuperSocket::ReadLine(char* buffer, CBlockingSocket& socket, int* count) {
    if (count != nullptr) *count = 0;
    if (buffer == nullptr) return kRefused;
    buffer[0] = '\0';
    if (server_mode_.load() != 1) return kDone;
    int n = 0;
    try {
        while (n < kLineSize - 1) {
            if (StopRequested()) break;
            char c = 0;
            if (socket.Receive(&c, 1, kReceiveSeconds) == 0) throw CBlockingSocketException("Receive", 0);
            buffer[n++] = c;
            buffer[n] = '\0';
            if (c == '\n') break;
        }
    } catch (const CBlockingSocketException&) {
        bytes_received_.store(n);
        if (count != nullptr) *count = n;
        ShowError("Error in ServerRecive");
        return kTransferFailed;
    }
    bytes_received_.store(n);
    if (count != nullptr) *count = n;
    return kDone;
}

int CSuperSocket::SendTo(const char* data, int length, CBlockingSocket& socket, int seconds, int* count) {
    if (count != nullptr) *count = 0;
    if (data == nullptr || length < 1 || length > kMaxSend) return kRefused;
    if (server_mode_.load() != 1) return kDone;
    bytes_sent_.store(0);
    try {
        const int n = socket.Send(data, length, seconds);
        bytes_sent_.store(n);
        if (count != nullptr) *count = n;
    } catch (const CBlockingSocketException&) {
        ShowError("Error in ServerSend");
        return kTransferFailed;
    }
    return kDone;
}

int CSuperSocket::UdpReceive(char* buffer, int size, const char* mode, int* count) {
    if (count != nullptr) *count = 0;
    if (buffer == nullptr || size < 1 || size > kMaxReceive) return kRefused;
    if (udp_active_.load() != 1 || mode == nullptr || (mode[0] != 'O' && mode[0] != 'I')) return kDone;
    bytes_received_.store(0);
    buffer[0] = '\0';
    try {
        CSocketAddress sender;
        const int n = main_.ReceiveDatagram(buffer, size, &sender, kUdpSeconds);
        buffer[n] = '\0';
        {
            std::lock_guard<std::mutex> lock(address_mutex_);
            last_sender_ = sender;
        }
        bytes_received_.store(n);
        if (count != nullptr) *count = n;
    } catch (const CBlockingSocketException& e) {
        if (IsIdleTimeout(e)) return kDone;
        last_error_.store(e.ErrorCode());
        ShowError("Error in UdpRecive");
        return kTransferFailed;
    }
    return kDone;
}

int CSuperSocket::SendDatagrams(const char* data, int length, const CSocketAddress& to, int seconds) {
    int total = 0;
    do {
        const int piece = std::min(length - total, kMaxDatagram);
        total += main_.SendDatagram(data + total, piece, to, seconds);
    } while (total < length);
    return total;
}

int CSuperSocket::UdpSend(const char* data, int length, const char* mode, int* count) {
    if (count != nullptr) *count = 0;
    if (length < 0 || length > kMaxSend || (data == nullptr && length > 0)) return kRefused;
    if (udp_active_.load() != 1) return kDone;
    bytes_sent_.store(0);
    CSocketAddress to;
    {
        std::lock_guard<std::mutex> lock(address_mutex_);
        to = (mode != nullptr && mode[0] == 'O') ? remote_address_ : last_sender_;
    }
    try {
        const int n = SendDatagrams(data, length, to, kUdpSeconds);
        bytes_sent_.store(n);
        if (count != nullptr) *count = n;
    } catch (const CBlockingSocketException& e) {
        last_error_.store(e.ErrorCode());
        ShowError("Error in UdpSend");
        return kTransferFailed;
    }
    return kDone;
}

int CSuperSocket::UdpSendAll(const char* data, int length, int* count) {
    if (count != nullptr) *count = 0;
    if (length < 0 || length > kMaxSend || (data == nullptr && length > 0)) return kRefused;
    if (udp_active_.load() != 1) return kDone;
    bytes_sent_.store(0);
    // Held for the whole block, so a client whose cancel was handled gets
    // nothing more; registrations never wait for it.
    std::lock_guard<std::mutex> sending(send_mutex_);
    std::vector<CSocketAddress> clients = UdpClients();
    std::vector<int32_t> sent(clients.size(), 0);
    int result = kDone;
    int32_t total = 0;
    for (size_t i = 0; i < clients.size(); ++i) {
        try {
            sent[i] = SendDatagrams(data, length, clients[i], kSendAllSeconds);
            total += sent[i];
        } catch (const CBlockingSocketException&) {
            ShowError("Error in UdpSend");
            result = kTransferFailed;
        }
    }
    {
        std::lock_guard<std::mutex> lock(table_mutex_);
        for (size_t i = 0; i < sent.size() && i < static_cast<size_t>(kUdpClientSlots); ++i) {
            per_client_sent_[i] = sent[i];
        }
    }
    bytes_sent_.store(total);
    if (count != nullptr) *count = total;
    return result;
}

int CSuperSocket::UdpRegister(char* buffer, int size, int* count) {
    if (count != nullptr) *count = 0;
    if (buffer == nullptr || size < 1 || size > kMaxReceive) return kRefused;
    if (udp_active_.load() != 1) return kDone;
    bytes_received_.store(0);
    buffer[0] = '\0';
    CSocketAddress sender;
    int n = 0;
    try {
        n = main_.ReceiveDatagram(buffer, size, &sender, kRegisterSeconds);
    } catch (const CBlockingSocketException&) {
        return kTransferFailed;  // a time-out is the normal idle case
    }
    buffer[n] = '\0';
    bytes_received_.store(n);
    if (count != nullptr) *count = n;
    {
        std::lock_guard<std::mutex> lock(address_mutex_);
        registration_sender_ = sender;
    }
    if (StopRequested()) return kRefused;
    if (std::strcmp(buffer, "!-!-") == 0 || std::strcmp(buffer, "0000") == 0) {
        DeregisterClient(sender);
    } else {
        RegisterClient(sender);
    }
    return kDone;
}

void CSuperSocket::DropOldest() {
    const int limit = udp_client_limit_.load();
    for (int i = 1; i < limit && i < kUdpTableSize; ++i) udp_clients_[i - 1] = udp_clients_[i];
    if (udp_client_count_ > 0) --udp_client_count_;
    ++dropped_udp_clients_;
    if (dropped_udp_clients_ >= limit) udp_overrun_ = 1;
}

void CSuperSocket::RegisterClient(const CSocketAddress& sender) {
    int count = 0;
    {
        std::lock_guard<std::mutex> lock(table_mutex_);
        for (int i = 0; i < udp_client_count_; ++i) {
            if (udp_clients_[i] == sender) return;
        }
        if (udp_client_count_ >= udp_client_limit_.load()) DropOldest();
        if (udp_client_count_ >= kUdpTableSize) return;
        udp_clients_[udp_client_count_++] = sender;
        count = udp_client_count_;
    }
    ShowUdpClientStatus(count);
}

void CSuperSocket::DeregisterClient(const CSocketAddress& sender) {
    int count = 0;
    {
        std::lock_guard<std::mutex> sending(send_mutex_);
        std::lock_guard<std::mutex> lock(table_mutex_);
        int found = -1;
        for (int i = 0; i < udp_client_count_ && found < 0; ++i) {
            if (udp_clients_[i] == sender) found = i;
        }
        if (found < 0) return;
        for (int i = found + 1; i < udp_client_count_; ++i) udp_clients_[i - 1] = udp_clients_[i];
        --udp_client_count_;
        count = udp_client_count_;
    }
    ShowUdpClientStatus(count);
}

void CSuperSocket::ShowUdpClientStatus(int count) {
    if (udp_client_counter_ != nullptr) udp_client_counter_->store(count);
    if (has_window_.load() != 1) return;
    const int tcp = shared_ != nullptr ? shared_->registry.Query(5) : 0;
    const int dec = shared_ != nullptr ? shared_->registry.Query(6) : 0;
    char text[200];
    std::snprintf(text, sizeof text, "TCP-Server:%i; UDP-Clients:%i; Dec-Server:%i", tcp, count, dec);
    ShowStatus(text);
}

// ---- services ----

int CSuperSocket::ResolveHost(const char* host, const char* port, int timeout_ms) {
    const char* h = host != nullptr ? host : "";
    {
        std::lock_guard<std::mutex> lock(text_mutex_);
        CopyText(host_text_, h);
    }
    bool has_letter = false;
    for (const char* p = h; *p != '\0'; ++p) {
        if (std::isalpha(static_cast<unsigned char>(*p)) && static_cast<unsigned char>(*p) < 0x80) has_letter = true;
    }
    if (!has_letter) {
        unresolved_.store(0);
        return 0;
    }
    try {
        const long p = port != nullptr ? std::atol(port) : 0;
        const CSocketAddress resolved =
            CBlockingSocket::GetHostByName(h, static_cast<uint16_t>(p >= 0 && p <= 65535 ? p : 0), timeout_ms);
        {
            std::lock_guard<std::mutex> lock(address_mutex_);
            resolved_address_ = resolved;
        }
        std::lock_guard<std::mutex> lock(text_mutex_);
        CopyText(host_text_, resolved.DottedText().c_str());
    } catch (const CBlockingSocketException& e) {
        last_error_.store(e.ErrorCode());
        unresolved_.store(1);
        ShowError("Error in GetHostName");
        return 0;
    }
    unresolved_.store(0);
    return 1;
}

int CSuperSocket::LogAccept(const CSocketAddress& client, const char* file_name) {
    if (file_name == nullptr) return 1;
    std::FILE* file = std::fopen(MapPath(file_name).c_str(), "a");
    if (file == nullptr) return 1;
    const LocalTime t = Clock::Get().Now();
    char line[1200];
    {
        std::lock_guard<std::mutex> lock(text_mutex_);
        CopyText(peer_text_, client.DottedText().c_str());
        std::snprintf(date_texts_[0], sizeof date_texts_[0], "%02i", t.day);
        std::snprintf(date_texts_[1], sizeof date_texts_[1], "%02i", t.month);
        std::snprintf(date_texts_[2], sizeof date_texts_[2], "%i", t.year);
        std::snprintf(date_texts_[3], sizeof date_texts_[3], "%02i", t.hour);
        std::snprintf(date_texts_[4], sizeof date_texts_[4], "%02i", t.minute);
        std::snprintf(date_texts_[5], sizeof date_texts_[5], "%02i", t.second);
        std::snprintf(line, sizeof line, "NF Accept_TCP_Client : no_failure, on_%s %s.%s.%s  %s:%s:%s\n", peer_text_,
                      date_texts_[0], date_texts_[1], date_texts_[2], date_texts_[3], date_texts_[4], date_texts_[5]);
    }
    std::fputs(line, file);
    std::fclose(file);
    return 0;
}

void CSuperSocket::ShowError(const char* text) {
    MessageQueue* window = window_.load();
    if (has_window_.load() != 1 || window == nullptr || text == nullptr) return;
    std::string line = std::string(text) + "\r\n";
    if (shared_ != nullptr && shared_->view_window.load() == window) {
        shared_->ShowText(line);
    } else {
        window->PostText(msg::kDisplayText, line);
    }
}

void CSuperSocket::SetStatusSlots(const char* text) {
    {
        std::lock_guard<std::mutex> lock(text_mutex_);
        CopyText(message_texts_[10], text);
    }
    if (shared_ == nullptr) return;
    int fields = 1;
    for (const char* p = text; *p != '\0'; ++p) fields += *p == ';';
    for (;;) {
        const int rc = fields == 4 ? shared_->status_board.SetText(text, kStatusSlot, kStatusMirrorSlot)
                                   : shared_->status_board.SetText(text, kStatusSlot);
        if (rc >= 0 || StopRequested()) break;
        Sleep(1);
    }
}

void CSuperSocket::ShowStatus(const char* text) {
    MessageQueue* window = window_.load();
    if (has_window_.load() != 1 || window == nullptr || text == nullptr) return;
    SetStatusSlots(text);
    window->Post(msg::kStatusSlot10);
}

void CSuperSocket::ShowStatus(const char* text, int flag) {
    if (flag != 1 || text == nullptr) return;
    SetStatusSlots(text);
    if (shared_ != nullptr) shared_->Post(msg::kStatusSlot10);
}

int CSuperSocket::StartSocketLibrary() {
    if (library_started_.load() == 1) return 0;
    sock::IgnoreBrokenPipe();
    library_started_.store(1);
    return 0;
}

int CSuperSocket::EndSocketLibrary() {
    library_started_.store(0);
    return 0;
}

// ---- state ----

std::string CSuperSocket::HostText() const {
    std::lock_guard<std::mutex> lock(text_mutex_);
    return host_text_;
}

std::string CSuperSocket::PeerText() const {
    std::lock_guard<std::mutex> lock(text_mutex_);
    return peer_text_;
}

std::string CSuperSocket::MessageText(int index) const {
    if (index < 0 || index >= kMessageTexts) return "";
    std::lock_guard<std::mutex> lock(text_mutex_);
    return message_texts_[index];
}

int CSuperSocket::UdpClientCount() const {
    std::lock_guard<std::mutex> lock(table_mutex_);
    return udp_client_count_;
}

int CSuperSocket::DroppedUdpClients() const {
    std::lock_guard<std::mutex> lock(table_mutex_);
    return dropped_udp_clients_;
}

int CSuperSocket::UdpOverrun() const {
    std::lock_guard<std::mutex> lock(table_mutex_);
    return udp_overrun_;
}

std::vector<CSocketAddress> CSuperSocket::UdpClients() const {
    std::lock_guard<std::mutex> lock(table_mutex_);
    return std::vector<CSocketAddress>(udp_clients_, udp_clients_ + udp_client_count_);
}

std::vector<int32_t> CSuperSocket::PerClientBytesSent() const {
    std::lock_guard<std::mutex> lock(table_mutex_);
    return std::vector<int32_t>(per_client_sent_, per_client_sent_ + kUdpClientSlots);
}

CSocketAddress CSuperSocket::ResolvedAddress() const {
    std::lock_guard<std::mutex> lock(address_mutex_);
    return resolved_address_;
}

CSocketAddress CSuperSocket::LastSender() const {
    std::lock_guard<std::mutex> lock(address_mutex_);
    return last_sender_;
}

CSocketAddress CSuperSocket::RegistrationSender() const {
    std::lock_guard<std::mutex> lock(address_mutex_);
    return registration_sender_;
}

CSocketAddress CSuperSocket::ClientAddress() const {
    std::lock_guard<std::mutex> lock(address_mutex_);
    return local_address_;
}

}  // namespace zerlan
