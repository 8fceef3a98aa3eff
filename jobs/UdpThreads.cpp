// The UDP threads of the relay: the input as server (UDP-In-Server-TH) or as
// registering client (UDP-In-Client-TH, a sender and a receiver on instance
// 9), the output as server (UDP-Out-Server-TH with its registration listener
// on instance 2) or client (UDP-Out-Client-TH with its reply listener on
// instance 10).
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/Worker.h"
#include "jobs/GgaUpstream.h"
#include "jobs/OperatorLog.h"
#include "jobs/StreamCommon.h"
#include "jobs/StreamThreads.h"
#include "platform/Sleep.h"
#include "supervision/CharWatch.h"
#include "transport/SuperSocket.h"

namespace zerlan {

namespace {

constexpr int kPositionSlot = 1;  // the UDP clients' replies share this slot
// A datagram is taken whole whatever the read size: a shorter read would cut it.
constexpr int kDatagramSize = CSuperSocket::kMaxReceive;

std::string OpenLine(const UdpParams& p) { return "Udp-Open with " + p.own_address + ":" + p.own_port + " !\r\n"; }

int UdpStartOf(CSuperSocket& socket, const Settings& s, const UdpParams& p, const char* mode) {
    return socket.UdpStart(p.partner_address.c_str(), p.partner_port.c_str(), p.own_address.c_str(),
                           p.own_port.c_str(), s.udp_out.client_limit.c_str(), mode);
}

bool WritePositionSlot(SharedState& state, WorkerScope& worker, const char* data, int n) {
    while (state.position_pool.WriteSlot(data, n, kPositionSlot) < 0) {
        if (worker.StopRequested()) return false;
        Sleep(1);
    }
    return true;
}

void RemovePositionSlot(SharedState& state) {
    for (int tries = 0; tries < 5000 && state.position_pool.RemoveReader(kPositionSlot) < 0; ++tries) Sleep(1);
}

// A datagram socket has no peer that could close it.
std::string UdpReason(const CSuperSocket& socket) { return SocketReason(socket, "the socket failed"); }

// The operator's lines of one UDP socket: a start that keeps failing is told
// once, and its recovery once.
class UdpEvents {
public:
    UdpEvents(SharedState& state, std::string where) : state_(state), where_(std::move(where)) {}
    void StartFailed(const CSuperSocket& socket) {
        if (failing_) return;
        failing_ = true;
        Tell(UdpReason(socket) + "; retrying");
    }
    void Started() {
        if (failing_) Tell("open");
        failing_ = false;
    }
    void Tell(const std::string& text) { ShowEvent(state_, where_ + ": " + text); }

private:
    SharedState& state_;
    const std::string where_;
    bool failing_ = false;
};

std::string ServerWhere(const char* side, const UdpParams& p) {
    return std::string(side) + ": UDP server " + EndpointText(p.own_address, p.own_port);
}
std::string ClientWhere(const char* side, const UdpParams& p) {
    return std::string(side) + ": UDP client to " + p.partner_address + ":" + p.partner_port;
}

// ---- UDP input server ----

void UdpInServerThread(SharedState& state, WorkerScope& worker) {
    const Settings& s = state.settings;
    CharWatch watch(state, &state.input_total, 0, InputWatchLimits(s), ProtocolFileOf(s));
    GgaUpstream gga(state);
    InputDelivery delivery(state, worker, true, false);
    const int read_size = kDatagramSize;
    std::vector<char> buffer(static_cast<size_t>(read_size) + 1);
    bool first = true;
    UdpEvents events(state, ServerWhere("input", s.udp_in));

    while (!worker.StopRequested()) {
        CSuperSocket socket(&state, state.view_window.load());
        delivery.Reset();
        while (UdpStartOf(socket, s, s.udp_in, "INSRV") == CSuperSocket::kRefused) {
            events.StartFailed(socket);
            if (IsAlarm(watch.Check("CharWatch: UdpInServer-Warning !", msg::kInputRate, 1))) {
                state.Send(msg::kInputBar);
            }
            if (!worker.Sleep(20)) return;
        }
        events.Started();
        if (first) {
            state.ShowText(OpenLine(s.udp_in));
            WriteStartRecord(state, "UdpServer-Input", "UdpServerIn-Start");
            first = false;
        }
        // The sender of the last datagram is the only partner there is.
        auto send = [&socket](const char* d, int n) { return socket.UdpSend(d, n, "INSRV"); };
        bool partner_known = false;
        while (true) {
            if (worker.StopRequested()) {
                socket.Stop();
                return;
            }
            if (IsAlarm(watch.Check("CharWatch: UdpInServer-Warning !", msg::kInputRate, 1))) {
                state.Send(msg::kInputBar);
                events.Tell("too little data (rate watch); reopening");
                socket.Stop();
                Sleep(5);
                break;
            }
            // The receive itself waits seconds; the stop must be seen sooner.
            int n = 0;
            if (socket.WaitForReceive(CSuperSocket::kInputWaitMs) &&
                socket.UdpReceive(buffer.data(), read_size, "INSRV", &n) == CSuperSocket::kTransferFailed) {
                events.Tell(UdpReason(socket) + "; reopening");
                socket.Stop();
                Sleep(5);
                break;
            }
            if (n > 0) delivery.Deliver(buffer.data(), n);
            int sent = CSuperSocket::kDone;
            if (n > 0 && !partner_known) {
                partner_known = true;
                sent = gga.SendNow(send);
            } else if (partner_known) {
                sent = gga.SendIfDue(send);
            }
            if (sent == CSuperSocket::kTransferFailed) {
                events.Tell(UdpReason(socket) + "; reopening");
                socket.Stop();
                Sleep(5);
                break;
            }
        }
    }
}

// ---- UDP input client ----

void UdpInClientReceiver(SharedState& state, WorkerScope& worker) {
    SocketSet& sockets = state.sockets;
    InputDelivery delivery(state, worker, true, false);
    delivery.Reset();
    const int read_size = kDatagramSize;
    std::vector<char> buffer(static_cast<size_t>(read_size) + 1);
    while (!worker.StopRequested()) {
        {
            std::lock_guard<std::mutex> lock(sockets.udp_in_client_lock);
            if (sockets.udp_in_client.UdpActive()) {
                int n = 0;
                sockets.udp_in_client.UdpReceive(buffer.data(), read_size, "INCLI", &n);
                if (n > 0) delivery.Deliver(buffer.data(), n);
            }
        }
        Sleep(1);
    }
}

// Sends a 4-byte control datagram to the partner: 2 failed, 0 sent whole,
// -1 sent short.
int SendControl(CSuperSocket& socket, const char* text) {
    int sent = 0;
    if (socket.UdpSend(text, 4, "OUTCLI", &sent) == CSuperSocket::kTransferFailed) return 2;
    return sent == 4 ? 0 : -1;
}

void UdpInClientThread(SharedState& state, WorkerScope& worker) {
    const Settings& s = state.settings;
    SocketSet& sockets = state.sockets;
    CSuperSocket& socket = sockets.udp_in_client;
    CharWatch watch(state, &state.input_total, 0, InputWatchLimits(s), ProtocolFileOf(s));
    GgaUpstream gga(state);
    auto send = [&socket](const char* d, int n) { return socket.UdpSend(d, n, "OUTCLI"); };
    bool first = true;
    UdpEvents events(state, ClientWhere("input", s.udp_in));

    while (!worker.StopRequested()) {
        while (true) {
            int started;
            {
                std::lock_guard<std::mutex> lock(sockets.udp_in_client_lock);
                started = UdpStartOf(socket, s, s.udp_in, "INCLI");
            }
            if (started != CSuperSocket::kRefused) break;
            events.StartFailed(socket);
            if (IsAlarm(watch.Check("CharWatch: UdpInClient-Warning !", msg::kInputRate, 1))) {
                state.Send(msg::kInputBar);
            }
            if (!worker.Sleep(20)) {
                socket.Stop();
                return;
            }
        }
        if (first) {
            state.ShowText(OpenLine(s.udp_in));
            WriteStartRecord(state, "UdpClient-Input", "UdpClientIn-Start");
            StartWorker(state.registry, 0, "UDP-In-Client-TH",
                        [&state](WorkerScope& w) { UdpInClientReceiver(state, w); });
            Sleep(10);
            first = false;
        }
        events.Started();
        int registered;
        while ((registered = SendControl(socket, "!+!+")) == -1 && worker.Sleep(20)) {
        }
        if (registered == 2) {
            events.Tell(UdpReason(socket) + "; reconnecting");
            socket.Stop();
            Sleep(5);
            continue;
        }
        if (registered == 0) {
            state.ShowText("Morvik-Registration send !\r\n");
            Sleep(5);
        }
        std::string why;
        if (gga.SendNow(send) == CSuperSocket::kTransferFailed) why = UdpReason(socket);
        while (why.empty() && !worker.StopRequested()) {
            if (IsAlarm(watch.Check("CharWatch: UdpInClient-Warning !", msg::kInputRate, 1))) {
                why = "too little data (rate watch)";
                break;
            }
            if (gga.SendIfDue(send) == CSuperSocket::kTransferFailed) {
                why = UdpReason(socket);
                break;
            }
            Sleep(1);
        }
        if (!why.empty()) {
            events.Tell(why + "; reconnecting");
            socket.Stop();
            Sleep(5);
            state.Send(msg::kInputBar);
        }
    }
    // Tells the partner to stop sending; at most three tries.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int r = SendControl(socket, "!-!-");
        if (r == 2) break;
        if (r == 0) {
            state.ShowText("Cancel Morvik send !\r\n");
            break;
        }
        Sleep(100);
    }
    socket.Stop();
}

// ---- UDP output server ----

struct UdpOutServerJob {
    std::atomic<int32_t> server_ready{0};
    std::atomic<int32_t> listener_ended{0};
};

void UdpOutServerListener(SharedState& state, WorkerScope& worker, UdpOutServerJob& job) {
    CSuperSocket& socket = state.sockets.udp_out_server;
    const int read_size = kDatagramSize;
    std::vector<char> buffer(static_cast<size_t>(read_size) + 1);
    while (!worker.StopRequested()) {
        if (job.server_ready.load() != 1) {
            Sleep(50);
            continue;
        }
        buffer[0] = '\0';
        int n = 0;
        if (socket.UdpRegister(buffer.data(), read_size, &n) == CSuperSocket::kTransferFailed) {
            Sleep(50);
            continue;
        }
        if (n <= 0) continue;
        if (!WritePositionSlot(state, worker, buffer.data(), n)) break;
        const std::string datagram(buffer.data(), static_cast<size_t>(n));
        if (datagram == "!+!+") {
            state.ShowText("Udp-Contact with Morvik-Client !\r\n");
        } else {
            state.ShowReceivedText(datagram + " \r\n");
        }
        Sleep(50);
    }
    RemovePositionSlot(state);
}

void UdpOutServerThread(SharedState& state, WorkerScope& worker, const std::shared_ptr<UdpOutServerJob>& job) {
    const Settings& s = state.settings;
    CSuperSocket& socket = state.sockets.udp_out_server;
    CharPool& pool = state.SelectOutputPool(0, s.dec_in.Flag(7) ? 1 : 0, 0);
    OutputSlot slot(pool, worker);
    const int kind = static_cast<int>(OutputKind::kUdp);
    CharWatch watch(state, &state.output_watch[kind], 1, OutputWatchLimits(s), ProtocolFileOf(s));
    const int32_t bar_max = std::atoi(s.maz.output_limit.c_str());
    std::vector<char> buffer(CharPool::kBufferSize);
    // The sender leaves only after its listener, which uses the same socket.
    auto leave_when_listener_ended = [&](bool started) {
        if (!worker.StopRequested() || job->listener_ended.load() != 1) return false;
        job->server_ready = 0;
        if (started) {
            Sleep(500);
            socket.Stop();
        } else {
            socket.Stop();
            Sleep(500);
        }
        return true;
    };
    bool first = true;
    UdpEvents events(state, ServerWhere("output", s.udp_out));

    while (true) {
        job->server_ready = 0;
        Sleep(30);
        socket.Attach(state.view_window.load());
        bool stopped = false;
        while (UdpStartOf(socket, s, s.udp_out, "OUTSRV") == CSuperSocket::kRefused) {
            events.StartFailed(socket);
            if (IsAlarm(watch.Check("CharWatch: UdpOutServer-Warning !", msg::kUdpOutRate, 1))) {
                state.Send(msg::kUdpOutBar);
            }
            if ((stopped = leave_when_listener_ended(false))) break;
            Sleep(30);
        }
        if (stopped) return;
        events.Started();
        job->server_ready = 1;
        Sleep(30);
        if (first) {
            state.ShowTextAndWait(OpenLine(s.udp_out));
            WriteStartRecord(state, "UdpServer-Output", "UdpServerOut-Start");
            first = false;
        }
        while (true) {
            if (leave_when_listener_ended(true)) return;
            if (IsAlarm(watch.Check("CarWatch: UdpOutServer-Warning !", msg::kUdpOutRate, 1))) {
                state.Send(msg::kUdpOutBar);
            }
            if (socket.UdpOverrun() == 1) {
                events.Tell(std::to_string(socket.DroppedUdpClients()) +
                            " clients dropped for newer ones (client limit); reopening");
                break;
            }
            const int n = slot.Read(buffer.data());
            if (n > 0) {
                // With no client the block is dropped; re-opening the socket
                // would lose the registrations arriving meanwhile, and one
                // client that cannot be reached is no reason to fail the rest.
                int sent = 0;
                socket.UdpSendAll(buffer.data(), n, &sent);
                if (sent > 0) {
                    CountOutput(state, OutputKind::kUdp, sent, bar_max);
                    state.Post(msg::kUdpOutBar);
                }
            }
        }
        job->server_ready = 0;
        Sleep(100);
        socket.Stop();
    }
}

// ---- UDP output client ----

void UdpOutClientListener(SharedState& state, WorkerScope& worker) {
    CSuperSocket& socket = state.sockets.udp_out_client;
    const int read_size = kDatagramSize;
    std::vector<char> buffer(static_cast<size_t>(read_size) + 1);
    while (!worker.StopRequested()) {
        int n = 0;
        if (socket.UdpReceive(buffer.data(), read_size, "OUTCLI", &n) == CSuperSocket::kTransferFailed) {
            Sleep(5);
        } else if (n > 0) {
            if (!WritePositionSlot(state, worker, buffer.data(), n)) break;
            state.ShowReceivedText(std::string(buffer.data(), static_cast<size_t>(n)) + " \r\n");
        }
        Sleep(1);
    }
    RemovePositionSlot(state);
}

void UdpOutClientThread(SharedState& state, WorkerScope& worker) {
    const Settings& s = state.settings;
    CSuperSocket& socket = state.sockets.udp_out_client;
    CharPool& pool = state.SelectOutputPool(0, s.dec_in.Flag(7) ? 1 : 0, 0);
    OutputSlot slot(pool, worker);
    if (!slot.valid()) return;
    const int kind = static_cast<int>(OutputKind::kUdp);
    CharWatch watch(state, &state.output_watch[kind], 1, OutputWatchLimits(s), ProtocolFileOf(s));
    const int32_t bar_max = std::atoi(s.maz.output_limit.c_str());
    std::vector<char> buffer(CharPool::kBufferSize);
    bool first = true;
    UdpEvents events(state, ClientWhere("output", s.udp_out));

    while (!worker.StopRequested()) {
        while (UdpStartOf(socket, s, s.udp_out, "OUTCLI") == CSuperSocket::kRefused) {
            events.StartFailed(socket);
            if (IsAlarm(watch.Check("CharWatch: UdpOutClient-Warning !", msg::kUdpOutRate, 1))) {
                state.Send(msg::kUdpOutBar);
            }
            if (!worker.Sleep(20)) return;
        }
        if (first) {
            StartWorker(state.registry, 0, "UDP-Out-Client-Listen-TH",
                        [&state](WorkerScope& w) { UdpOutClientListener(state, w); });
            Sleep(4);
            state.ShowText(OpenLine(s.udp_out));
            WriteStartRecord(state, "UdpClient-Output", "UdpClientOut-Start");
            first = false;
        }
        events.Started();
        // One zero byte tells the partner where to answer.
        if (socket.UdpSend("", 1, "OUTCLI") != CSuperSocket::kDone) {
            events.Tell(UdpReason(socket) + "; reconnecting");
            socket.Stop();
            Sleep(5);
            continue;
        }
        while (true) {
            if (worker.StopRequested()) {
                socket.Stop();
                return;
            }
            if (IsAlarm(watch.Check("CharWatch: UdpOutClient-Warning !", msg::kUdpOutRate, 1))) {
                state.Send(msg::kUdpOutBar);
            }
            const int n = slot.Read(buffer.data());
            if (n > 0) {
                int sent = 0;
                if (socket.UdpSend(buffer.data(), n, "OUTCLI", &sent) == CSuperSocket::kTransferFailed) {
                    events.Tell(UdpReason(socket) + "; reconnecting");
                    socket.Stop();
                    Sleep(5);
                    break;
                }
                CountOutput(state, OutputKind::kUdp, sent, bar_max);
                state.Post(msg::kUdpOutBar);
            }
        }
    }
    socket.Stop();
}

}  // namespace

bool StartUdpInputServer(SharedState& state) {
    return StartWorker(state.registry, 0, "UDP-In-Server-TH",
                       [&state](WorkerScope& w) { UdpInServerThread(state, w); }) >= 0;
}

bool StartUdpInputClient(SharedState& state) {
    return StartWorker(state.registry, 0, "UDP-In-Client-TH",
                       [&state](WorkerScope& w) { UdpInClientThread(state, w); }) >= 0;
}

bool StartUdpOutputServer(SharedState& state) {
    auto job = std::make_shared<UdpOutServerJob>();
    const bool started = StartWorker(state.registry, 0, "UDP-Out-Server-TH", [&state, job](WorkerScope& w) {
                             UdpOutServerThread(state, w, job);
                         }) >= 0;
    if (!started) return false;
    if (StartWorker(state.registry, 0, "UDP-Out-ServListen-TH", [&state, job](WorkerScope& w) {
            UdpOutServerListener(state, w, *job);
            job->listener_ended = 1;
        }) < 0) {
        job->listener_ended = 1;
    }
    return true;
}

bool StartUdpOutputClient(SharedState& state) {
    return StartWorker(state.registry, 0, "UDP-Out-Client-TH",
                       [&state](WorkerScope& w) { UdpOutClientThread(state, w); }) >= 0;
}

}  // namespace zerlan
