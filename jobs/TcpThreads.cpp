// The TCP threads of the relay: the input as client (TCP-In-TH) or server
// (TCP-In-Server-TH, one client at a time, with its rate-watch thread), the
// output as client (TCP-Out-Client-TH) or server (TCP-Out-Server-TH, one
// thread per client on the listener the job start opened, with its rate- and
// reset-watch thread), and the same server for the decoded text (DecTCP-Out-TH)
// and for the RINEX records (Rinex-TCP-Out-TH).
#include <atomic>
#include <cstdio>
#include <cstdlib>
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
#include "platform/Socket.h"
#include "supervision/CharWatch.h"
#include "transport/SuperSocket.h"

namespace zerlan {

namespace {

constexpr int kReplyEvery = 5;      // passes between two polls for client replies
constexpr int kReplySize = 90;
constexpr uint32_t kResetWatchMessage = WM_USER + 130;
constexpr int kTcpInRetryMs = 100;

MessageQueue* ViewOf(SharedState& state) { return state.view_window.load(); }

std::string Line(const char* format, const std::string& a, const std::string& b = std::string()) {
    char text[600];
    std::snprintf(text, sizeof text, format, a.c_str(), b.c_str());
    return text;
}

// Writes into one PositionPool slot, retrying while the pool refuses; false
// when a stop came first.
bool WritePosition(SharedState& state, WorkerScope& worker, const char* data, int n, int slot) {
    while (state.position_pool.WriteSlot(data, n, slot) < 0) {
        if (worker.StopRequested()) return false;
        Sleep(1);
    }
    return true;
}

// Removes a reader slot, retrying while the pool refuses.
void RemoveSlot(CharPool& pool, int slot) {
    if (slot < 0) return;
    for (int tries = 0; tries < 5000 && pool.RemoveReader(slot) < 0; ++tries) Sleep(1);
}

// Adds a reader (enabled or not), retrying until one is given; -1 at a stop.
int AddSlot(CharPool& pool, WorkerScope& worker, int enabled) {
    while (!worker.StopRequested()) {
        const int slot = pool.AddReader(enabled);
        if (slot >= 0) return slot;
        Sleep(1);
    }
    return -1;
}

// Connects a client socket under the rate watch (an alarm sends the bar
// message). Between failed connects it waits `retry_ms`, doubled after each
// failure up to `max_retry_ms`; a growing wait also resolves the name again
// before each attempt, so an address that changed or failed once is found.
// False when a stop came first.
bool ConnectClient(SharedState& state, WorkerScope& worker, CSuperSocket& socket, const std::string& address,
                   const std::string& port, CharWatch& watch, const char* warning, uint32_t rate_message,
                   uint32_t bar_message, int retry_ms, int max_retry_ms) {
    int wait_ms = retry_ms;
    bool failed = false;
    for (bool resolve = true;; resolve = max_retry_ms > retry_ms) {
        if (resolve) socket.ResolveHost(address.c_str(), port.c_str());
        const std::string host = socket.HostText();
        if (socket.ClientStart(host.c_str(), port.c_str()) != CSuperSocket::kRefused) {
            if (failed) ShowEvent(state, "TCP client " + address + ":" + port + ": connected");
            return true;
        }
        // Once per outage, not once per attempt.
        if (!failed) {
            ShowEvent(state, "TCP client " + address + ":" + port + ": " + SocketReason(socket) + "; retrying");
            failed = true;
        }
        if (IsAlarm(watch.Check(warning, rate_message, 1))) state.Send(bar_message);
        if (!worker.Sleep(wait_ms)) return false;
        wait_ms = NextRetryWait(wait_ms, max_retry_ms);
    }
}

// ---- TCP input client ----

void TcpInClientThread(SharedState& state, WorkerScope& worker) {
    const Settings& s = state.settings;
    const std::string pr = ProtocolFileOf(s);
    CharWatch watch(state, &state.input_total, 0, InputWatchLimits(s), pr);
    GgaUpstream gga(state);
    InputDelivery delivery(state, worker, true, false);
    const int read_size = NetworkReadSize(s);
    std::vector<char> buffer(static_cast<size_t>(read_size) + 1);
    bool first = true;

    while (!worker.StopRequested()) {
        CSuperSocket socket(&state, ViewOf(state));
        delivery.Reset();
        state.input_total = 0;
        if (!ConnectClient(state, worker, socket, s.tcp_in.address, s.tcp_in.port, watch,
                           "CharWatch: TcpInClient-Warning !", msg::kInputRate, msg::kInputBar, kTcpInRetryMs,
                           kMaxRetryWaitMs)) {
            return;
        }
        if (first) {
            state.ShowText(Line("Connect with %s:%s !\r\n", s.tcp_in.address, s.tcp_in.port));
            WriteStartRecord(state, "TcpClient-Input", "TcpClientIn-Start");
            first = false;
        }
        auto send = [&socket](const char* data, int n) { return socket.Send(data, n); };
        if (gga.SendNow(send) == CSuperSocket::kTransferFailed) {
            socket.Stop();
            continue;
        }
        while (true) {
            if (worker.StopRequested()) {
                socket.Stop();
                return;
            }
            if (IsAlarm(watch.Check("CharWatch: TcpInClient-Warning !", msg::kInputRate, 1))) {
                state.Send(msg::kInputBar);
                ShowEvent(state, "input: TCP client " + s.tcp_in.address + ":" + s.tcp_in.port +
                                     ": too little data (rate watch); reconnecting");
                socket.Stop();
                break;
            }
            // Sleeps until data arrives; the short wait keeps the stop switch seen.
            int n = 0;
            if (socket.ReceiveWithin(buffer.data(), read_size, CSuperSocket::kInputWaitMs, &n) ==
                CSuperSocket::kTransferFailed) {
                ShowEvent(state, "input: TCP client " + s.tcp_in.address + ":" + s.tcp_in.port + ": " +
                                     SocketReason(socket) + "; reconnecting");
                socket.Stop();
                Sleep(5);
                break;
            }
            if (n > 0) delivery.Deliver(buffer.data(), n);
            if (gga.SendIfDue(send) == CSuperSocket::kTransferFailed) {
                socket.Stop();
                break;
            }
        }
    }
}

// ---- TCP input server ----

void TcpInServerThread(SharedState& state, WorkerScope& worker) {
    const Settings& s = state.settings;
    const std::string pr = ProtocolFileOf(s);
    // The job's input counter belongs to the rate-watch thread; this watch
    // counts on its own, without display.
    Counter own{0};
    CharWatch watch(state, &own, 3, InputWatchLimits(s), pr);
    GgaUpstream gga(state);
    InputDelivery delivery(state, worker, true, false);
    const int read_size = NetworkReadSize(s);
    std::vector<char> buffer(static_cast<size_t>(read_size) + 1);
    bool first = true;

    while (!worker.StopRequested()) {
        CSuperSocket socket(&state, ViewOf(state));
        delivery.Reset();
        if (socket.ServerStart(s.tcp_in.port.c_str(), s.tcp_in.address.c_str()) == CSuperSocket::kRefused) {
            const std::string why = "input: TCP server " + EndpointText(s.tcp_in.address, s.tcp_in.port) +
                                    " cannot listen: " + SocketReason(socket);
            ShowEvent(state, why);
            state.outcome.NoteFailure(why);
            socket.Stop();
            state.Send(msg::kStopJob);
            return;
        }
        // Asked after listening: the stop's wake-up connects after raising
        // the stop, so either it is seen here or the accept returns.
        if (worker.StopRequested()) {
            socket.Stop();
            return;
        }
        const int accepted = socket.ServerAccept();
        if (accepted == CSuperSocket::kRefused) {
            state.outcome.NoteFailure("input: TCP server " + EndpointText(s.tcp_in.address, s.tcp_in.port) +
                                      " cannot accept: " + SocketReason(socket));
            socket.Stop();
            state.Send(msg::kStopJob);
            return;
        }
        if (accepted == CSuperSocket::kInterrupted || worker.StopRequested()) {
            socket.Stop();
            if (!worker.Sleep(100)) return;
            continue;
        }
        if (first) {
            state.ShowText(Line("Accept on Port %s !\r\n", s.tcp_in.port));
            WriteStartRecord(state, "TcpServer-Input", "TcpServerIn-Start");
            first = false;
        }
        const std::string source = "input: TCP server " + EndpointText(s.tcp_in.address, s.tcp_in.port) + ": client " +
                                   socket.PeerText();
        ShowEvent(state, source + " connected");
        // The first sentence must not hold up a client that is not reading.
        if (gga.SendNow([&socket](const char* d, int n) { return socket.Send(d, n, 0); }) ==
            CSuperSocket::kTransferFailed) {
            socket.Stop();
            Sleep(100);
            continue;
        }
        while (true) {
            if (worker.StopRequested()) {
                socket.Stop();
                return;
            }
            // The rate-watch thread writes the outage's record; this one only reconnects.
            if (IsAlarm(watch.Check("CharWatch: TcpInServer-Warning !", msg::kInputRate, 0))) {
                state.Send(msg::kInputBar);
                ShowEvent(state, source + " dropped: too little data (rate watch)");
                socket.Stop();
                Sleep(20);
                break;
            }
            int n = 0;
            if (socket.ReceiveWithin(buffer.data(), read_size, CSuperSocket::kInputWaitMs, &n) ==
                CSuperSocket::kTransferFailed) {
                ShowEvent(state, source + " left: " + SocketReason(socket));
                socket.Stop();
                Sleep(100);
                state.ShowTextAndWait("NeuStart TCP-In-Server !!");
                break;
            }
            if (n > 0) {
                own.fetch_add(n);
                delivery.Deliver(buffer.data(), n);
            }
            if (gga.SendIfDue([&socket](const char* d, int k) { return socket.Send(d, k); }) ==
                CSuperSocket::kTransferFailed) {
                socket.Stop();
                Sleep(20);
                break;
            }
        }
    }
}

// ---- TCP output client ----

void TcpOutClientThread(SharedState& state, WorkerScope& worker) {
    const Settings& s = state.settings;
    const std::string pr = ProtocolFileOf(s);
    CharPool& pool = state.SelectOutputPool(0, s.dec_in.Flag(6) ? 1 : 0, 0);
    OutputSlot slot(pool, worker);
    if (!slot.valid()) return;
    const int position_slot = AddSlot(state.position_pool, worker, 1);
    if (position_slot < 0) return;
    struct Release {
        CharPool& pool;
        int slot;
        ~Release() { RemoveSlot(pool, slot); }
    } release{state.position_pool, position_slot};

    const int kind = static_cast<int>(OutputKind::kTcp);
    CharWatch watch(state, &state.output_watch[kind], 1, OutputWatchLimits(s), pr);
    const int32_t bar_max = std::atoi(s.maz.output_limit.c_str());
    std::vector<char> buffer(CharPool::kBufferSize);
    char reply[kReplySize + 1];
    bool first = true;

    while (!worker.StopRequested()) {
        CSuperSocket socket(&state, ViewOf(state));
        if (!ConnectClient(state, worker, socket, s.tcp_out.address, s.tcp_out.port, watch,
                           "CharWatch: TcpOutClient-Warning !", msg::kTcpOutRate, msg::kTcpClientOutBar, 20, 20)) {
            return;
        }
        if (first) {
            state.ShowText(Line("Connect with %s:%s !\r\n", s.tcp_out.address, s.tcp_out.port));
            WriteStartRecord(state, "TcpClient-Output", "TcpClientOut-Start");
            first = false;
        }
        for (int pass = 1;; ++pass) {
            if (worker.StopRequested()) {
                socket.Stop();
                return;
            }
            if (IsAlarm(watch.Check("CharWatch: TcpOutClient-Warning !", msg::kTcpOutRate, 1))) {
                state.Send(msg::kTcpClientOutBar);
            }
            const int n = slot.Read(buffer.data());
            if (n > 0) {
                int sent = 0;
                if (socket.Send(buffer.data(), n, CSuperSocket::kSendSeconds, &sent) ==
                    CSuperSocket::kTransferFailed) {
                    ShowEvent(state, "output: TCP client " + s.tcp_out.address + ":" + s.tcp_out.port + ": " +
                                         SocketReason(socket) + "; reconnecting");
                    socket.Stop();
                    Sleep(5);
                    break;
                }
                CountOutput(state, OutputKind::kTcp, sent, bar_max);
                state.Post(msg::kTcpClientOutBar);
            }
            if (pass % kReplyEvery == 0) {
                // A zero-second poll fails whenever nothing has arrived, so its
                // failure alone says nothing about the connection.
                int got = 0;
                const int r = socket.Receive(reply, kReplySize, 0, &got);
                if (r == CSuperSocket::kTransferFailed && worker.StopRequested()) {
                    socket.Stop();
                    return;
                }
                if (got > 0) {
                    if (!WritePosition(state, worker, reply, got, position_slot)) {
                        socket.Stop();
                        return;
                    }
                    state.ShowReceivedText(std::string(reply, static_cast<size_t>(got)) + " \r\n");
                }
            }
        }
    }
}

// ---- TCP output servers ----

// What tells the relay's TCP output server and the decoded-text server apart.
struct ServerProfile {
    int kind = 1;                 // registry kind
    const char* name = "";        // registry name
    int count_selector = 3;       // registry query of the kind's count
    CSuperSocket* listener = nullptr;
    std::mutex* accept_lock = nullptr;
    CharPool* pool = nullptr;
    std::string port;
    int max_clients = 1;
    const char* protocol_title = "";
    const char* protocol_start = "";
    const char* watch_text = "";
    // The relay's server counts into the TCP output bars and the reset watch
    // and keeps its clients' positions; the decoded-text server does none of it.
    bool relay = true;
};

// What the server's threads of one job share.
struct ServerJob {
    ServerProfile profile;
    std::mutex own_accept_lock;
    Counter reset_counter{0};  // bytes for the reset watch
    std::atomic<bool> bar_due{false};  // clients sent bytes since the bar was last posted
    // Who is waiting to accept (or about to) and who serves a client; one
    // acceptor runs whenever fewer than the maximum are served.
    std::mutex places_lock;
    int acceptors = 0;
    int serving = 0;
};

bool StartTcpServerThread(SharedState& state, const std::shared_ptr<ServerJob>& job);

enum class SendEnd { kSent, kFailed, kLagged, kStopped };

// Sends a block to a server's client in short waits, so that neither a stop
// nor a client that takes nothing holds the thread for the whole send time:
// once its reader is more than the pool window behind, the stream it would
// get has a hole anyway.
SendEnd SendToClient(CBlockingSocket& client, const char* data, int n, int* sent, WorkerScope& worker,
                     CharPool& pool, int slot) {
    constexpr int kStepMs = 100;
    int idle_ms = 0;
    while (*sent < n) {
        int k = 0;
        try {
            k = client.SendWithin(data + *sent, n - *sent, kStepMs);
        } catch (const CBlockingSocketException&) {
            return SendEnd::kFailed;
        }
        if (k > 0) {
            *sent += k;
            idle_ms = 0;
            continue;
        }
        if (worker.StopRequested()) return SendEnd::kStopped;
        if (pool.Overrun(slot)) return SendEnd::kLagged;
        if ((idle_ms += kStepMs) >= CSuperSocket::kSendSeconds * 1000) return SendEnd::kFailed;
    }
    return SendEnd::kSent;
}

// Starts an acceptor unless one is waiting or every place is taken.
void StartAcceptorIfNeeded(SharedState& state, const std::shared_ptr<ServerJob>& job) {
    if (state.registry.StopRequested()) return;
    std::lock_guard<std::mutex> lock(job->places_lock);
    if (job->acceptors > 0 || job->serving >= job->profile.max_clients) return;
    ++job->acceptors;
    if (!StartTcpServerThread(state, job)) --job->acceptors;
}

int MaxClients(const std::string& text) {
    const int n = std::atoi(text.c_str());
    return n < 1 ? 1 : n;
}

// `leaving`: a server thread of `leaving_kind` counted that is about to unregister.
void ShowServerStatus(SharedState& state, int leaving_kind = 0) {
    char text[200];
    std::snprintf(text, sizeof text, "TCP-Server:%i; UDP-Clients:%i; Dec-Server:%i; Rnx-Server:%i",
                  state.registry.Query(3) - (leaving_kind == 1 ? 1 : 0), state.sockets.udp_clients.load(),
                  state.registry.Query(4) - (leaving_kind == 2 ? 1 : 0),
                  state.registry.Query(9) - (leaving_kind == 4 ? 1 : 0));
    state.sockets.tcp_out_server.ShowStatus(text, 1);
}

void TcpServerThread(SharedState& state, WorkerScope& worker, const std::shared_ptr<ServerJob>& job) {
    const ServerProfile& p = job->profile;
    const Settings& s = state.settings;
    const std::string pr = ProtocolFileOf(s);
    CSuperSocket& listener = *p.listener;
    // This thread was counted as an acceptor when it was started.
    bool accepting = true;
    bool serving = false;
    struct Places {
        const std::shared_ptr<ServerJob>& job;
        bool& accepting;
        bool& serving;
        void Leave(bool accepting_now, bool serving_now) {
            std::lock_guard<std::mutex> lock(job->places_lock);
            job->acceptors -= accepting && !accepting_now ? 1 : 0;
            job->serving += (serving_now ? 1 : 0) - (serving ? 1 : 0);
            accepting = accepting_now;
            serving = serving_now;
        }
        ~Places() { Leave(false, false); }
    } places{job, accepting, serving};

    // No data queues for a client that is not yet connected.
    CharPool& pool = *p.pool;
    const int slot = AddSlot(pool, worker, 0);
    const int position_slot = slot < 0 || !p.relay ? -1 : AddSlot(state.position_pool, worker, 1);
    CBlockingSocket client;
    struct Release {
        SharedState& state;
        CharPool& pool;
        int slot, position_slot;
        CBlockingSocket& client;
        ~Release() {
            client.Cleanup();
            RemoveSlot(pool, slot);
            RemoveSlot(state.position_pool, position_slot);
        }
    } release{state, pool, slot, position_slot, client};
    if (slot < 0 || (p.relay && position_slot < 0)) return;

    Counter own{0};
    CharWatch watch(state, &own, 4, OutputWatchLimits(s), pr);
    const int32_t bar_max = std::atoi(s.maz.output_limit.c_str());
    Sleep(2);
    if (worker.StopRequested()) return;
    ShowServerStatus(state);

    CSocketAddress address;
    int accepted;
    {
        std::lock_guard<std::mutex> lock(*p.accept_lock);
        accepted = listener.Accept(client, &address);
    }
    if (accepted != CSuperSocket::kDone) {
        places.Leave(false, false);
        Sleep(10);
        // An interrupted accept means the listener was closed: nothing to wait for.
        if (accepted == CSuperSocket::kRefused) StartAcceptorIfNeeded(state, job);
        return;
    }
    places.Leave(false, true);
    Sleep(1);
    pool.SetEnabled(slot, 1);
    listener.LogAccept(address, pr.c_str());
    if (worker.StopRequested()) return;
    Sleep(4);
    StartAcceptorIfNeeded(state, job);
    state.ShowText(Line("Accept on Port %s !\r\n", p.port));
    WriteStartRecord(state, p.protocol_title, p.protocol_start);
    const std::string who = std::string(p.relay ? "output" : "decoded text") + ": TCP server port " + p.port +
                            ": client " + address.DottedText() + ":" + std::to_string(address.Port());
    ShowEvent(state, who + " connected");

    // A thread that loses its client frees its place for the next one.
    auto lose_client = [&](const char* why) {
        ShowEvent(state, who + " left: " + why);
        places.Leave(false, false);
        StartAcceptorIfNeeded(state, job);
    };
    std::vector<char> buffer(CharPool::kBufferSize);
    char reply[kReplySize + 1];
    for (int pass = 1; !worker.StopRequested(); ++pass) {
        if (IsAlarm(watch.Check(p.watch_text, p.relay ? msg::kTcpOutRate : 0, 1))) {
            if (p.relay) state.Send(msg::kTcpClientOutBar);
            lose_client("too little data taken (rate watch)");
            break;
        }
        // An idle client's thread sleeps until data arrives (or the wait ends).
        const int n = pool.WaitAndRead(buffer.data(), slot, OutputSlot::kIdleWaitMs);
        if (pool.HasLost(slot)) {
            // A stream with a hole is worse than a reconnect: the client goes.
            pool.ReportLoss(who, pool.TakeLost(slot));
            lose_client("it fell more than the pool window behind");
            break;
        }
        if (n > 0) {
            int sent = 0;
            const SendEnd end = SendToClient(client, buffer.data(), n, &sent, worker, pool, slot);
            if (end == SendEnd::kStopped) break;
            if (end == SendEnd::kLagged) {
                pool.ReportLoss(who, pool.TakeLost(slot));
                lose_client("it fell more than the pool window behind");
                break;
            }
            if (end == SendEnd::kFailed) {
                listener.ShowError("Error in ServerSend");
                lose_client("sending failed");
                break;
            }
            own.fetch_add(sent);
            if (p.relay) {
                CountOutput(state, OutputKind::kTcp, sent, bar_max);
                job->reset_counter.fetch_add(sent);
                // The watch thread posts the bar: one post per pass instead of
                // one per client and block onto the view's queue.
                if (!job->bar_due.load(std::memory_order_relaxed)) job->bar_due.store(true, std::memory_order_relaxed);
            }
        }
        // Polled first, so that a failed read means the client has gone.
        if (pass % kReplyEvery == 0 && sock::Wait(client.Handle(), false, 0) == sock::kWaitReady) {
            int got = 0;
            if (listener.ReceiveFrom(reply, kReplySize, client, &got) == CSuperSocket::kTransferFailed) {
                lose_client("the client closed the connection");
                break;
            }
            // Replies to decoded text are read only to notice a client that has gone.
            if (got > 0 && position_slot >= 0) {
                if (!WritePosition(state, worker, reply, got, position_slot)) break;
                state.ShowReceivedText(std::string(reply, static_cast<size_t>(got)) + "\r\n");
            }
        }
    }
}

bool StartTcpServerThread(SharedState& state, const std::shared_ptr<ServerJob>& job) {
    return StartWorker(state.registry, job->profile.kind, job->profile.name, [&state, job](WorkerScope& w) {
               TcpServerThread(state, w, job);
               ShowServerStatus(state, job->profile.kind);
           }) >= 0;
}

// Opens a server's listening socket on `port`; raises `started` when it listens.
// `address` "0.0.0.0" or empty listens on every interface.
bool OpenListener(CSuperSocket& listener, const std::string& port, const std::string& address, Counter& started) {
    if (listener.ServerStart(port.c_str(), address.c_str()) == CSuperSocket::kDone && !listener.ServerIdle()) {
        started = 1;
        return true;
    }
    listener.Stop();
    return false;
}

void TcpOutServerWatchThread(SharedState& state, WorkerScope& worker, const std::shared_ptr<ServerJob>& job) {
    const Settings& s = state.settings;
    CharWatch rate(state, &state.output_watch[static_cast<int>(OutputKind::kTcp)], 1, OutputWatchLimits(s),
                   ProtocolFileOf(s));
    CharWatch reset(state, &job->reset_counter, 4, std::atoi(s.tcp_out.reset_delay_s.c_str()), 0);
    // The watches count per time unit (seconds); a pass every 100 ms is
    // exact enough and keeps an idle server asleep.
    RunWatchThread(worker.registry(), 100, [&] {
        if (job->bar_due.exchange(false)) state.Post(msg::kTcpClientOutBar);
        rate.Check("CharWatch: TcpOutServer-Warning !", msg::kTcpOutRate, 1);
        if (reset.Check("CharWatch: TcpOutServer-Warning !", kResetWatchMessage, 0) == CharWatch::kTooFew &&
            s.tcp_out.reset_after_off) {
            state.ShowTextAndWait("No TcpServer-Output -> Reset-All !");
            state.Post(msg::kRestart);
        }
    });
}

}  // namespace

bool StartTcpInputClient(SharedState& state) {
    return StartWorker(state.registry, 0, "TCP-In-TH", [&state](WorkerScope& w) { TcpInClientThread(state, w); }) >=
           0;
}

bool StartTcpInputServer(SharedState& state) {
    const bool started =
        StartWorker(state.registry, 0, "TCP-In-Server-TH", [&state](WorkerScope& w) { TcpInServerThread(state, w); }) >=
        0;
    if (!started) return false;
    StartWorker(state.registry, 0, "TCP-In-Server-CharWatch-TH", [&state](WorkerScope& w) {
        CharWatch watch(state, &state.input_total, 0, InputWatchLimits(state.settings),
                        ProtocolFileOf(state.settings));
        RunWatchThread(w.registry(), 100,
                       [&] { watch.Check("CharWatch: TcpInServer-Warning !", msg::kInputRate, 1); });
    });
    return true;
}

bool StartTcpOutputClient(SharedState& state) {
    return StartWorker(state.registry, 0, "TCP-Out-Client-TH",
                       [&state](WorkerScope& w) { TcpOutClientThread(state, w); }) >= 0;
}

bool OpenTcpOutputListener(SharedState& state) {
    return OpenListener(state.sockets.tcp_out_server, state.settings.tcp_out.port, state.settings.tcp_out.address,
                        state.tcp_out_server_started);
}

bool StartTcpOutputServer(SharedState& state) {
    const Settings& s = state.settings;
    auto job = std::make_shared<ServerJob>();
    ServerProfile& p = job->profile;
    p.kind = 1;
    p.name = "TCP-Out-Server-TH";
    p.count_selector = 3;
    p.listener = &state.sockets.tcp_out_server;
    p.accept_lock = &state.sockets.tcp_out_accept_lock;
    p.pool = &state.SelectOutputPool(0, s.dec_in.Flag(6) ? 1 : 0, 0);
    p.port = s.tcp_out.port;
    p.max_clients = MaxClients(s.tcp_out.max_clients);
    p.protocol_title = "TcpServer-Output";
    p.protocol_start = "TcpServerOut-Start";
    p.watch_text = "CharWatch: TcpOutServer-Warning !";
    p.relay = true;
    StartAcceptorIfNeeded(state, job);
    StartWorker(state.registry, 0, "TCP-Out-Server-CharWatch-TH",
                [&state, job](WorkerScope& w) { TcpOutServerWatchThread(state, w, job); });
    return true;
}

bool OpenDecTcpOutputListener(SharedState& state) {
    // The decoded-text server has no address setting of its own.
    return OpenListener(state.sockets.decoder_tcp_out_server, state.settings.dec_out.tcp_port, std::string(),
                        state.dec_tcp_out_server_started);
}

bool StartDecTcpOutputServer(SharedState& state) {
    const Settings& s = state.settings;
    auto job = std::make_shared<ServerJob>();
    ServerProfile& p = job->profile;
    p.kind = 2;
    p.name = "DecTCP-Out-TH";
    p.count_selector = 4;
    p.listener = &state.sockets.decoder_tcp_out_server;
    p.accept_lock = &job->own_accept_lock;
    p.pool = &state.decoded_text_pool;
    p.port = s.dec_out.tcp_port;
    p.max_clients = MaxClients(s.dec_out.max_tcp_clients);
    p.protocol_title = "DecTcpServer-Output";
    p.protocol_start = "DecTcpServerOut-Start";
    p.watch_text = "CharWatch: TcpDecOutServer-Warning !";
    p.relay = false;
    StartAcceptorIfNeeded(state, job);
    return true;
}

bool OpenRinexTcpOutputListener(SharedState& state) {
    // Nor has the RINEX server.
    return OpenListener(state.sockets.rinex_tcp_out_server, state.settings.rinex.tcp_port, std::string(),
                        state.rinex_tcp_out_server_started);
}

bool StartRinexTcpOutputServer(SharedState& state) {
    const Settings& s = state.settings;
    auto job = std::make_shared<ServerJob>();
    ServerProfile& p = job->profile;
    p.kind = 4;
    p.name = "Rinex-TCP-Out-TH";
    p.count_selector = 9;
    p.listener = &state.sockets.rinex_tcp_out_server;
    p.accept_lock = &job->own_accept_lock;
    p.pool = &state.rinex_pool;
    p.port = s.rinex.tcp_port;
    p.max_clients = MaxClients(s.rinex.max_clients);
    p.protocol_title = "RinexTcpServer-Output";
    p.protocol_start = "RinexTcpServerOut-Start";
    p.watch_text = "CharWatch: RinexTcpOutServer-Warning !";
    p.relay = false;
    StartAcceptorIfNeeded(state, job);
    return true;
}

void WakeTcpInputServer(SharedState& state) {
    CSuperSocket& waker = state.sockets.waker;
    waker.WakeAndStop(state.settings.tcp_in.port.c_str(), state.settings.tcp_in.address.c_str());
}

void WakeTcpOutputServer(SharedState& state) {
    // Closing the listener releases the thread blocked in its accept, which
    // then finds the stop; a connection would only queue behind it.
    state.sockets.tcp_out_server.Stop();
}

void CloseTcpOutputListener(SharedState& state) { state.sockets.tcp_out_server.Stop(); }

// Closing the listener releases the threads blocked in its accept.
void CloseDecTcpOutputListener(SharedState& state) { state.sockets.decoder_tcp_out_server.Stop(); }
void CloseRinexTcpOutputListener(SharedState& state) { state.sockets.rinex_tcp_out_server.Stop(); }

}  // namespace zerlan
