// The TCP threads of the relay: the input as client (TCP-In-TH) or server
// (TCP-In-Server-TH, one client at a time, with its rate-watch thread), the
// output as client (TCP-Out-Client-TH) or server (TCP-Out-Server-TH accepts
// on the listener the job start opened, one sender thread serves every
// client, a watch thread keeps the rate and reset watches), and the same
// server for the decoded text (DecTCP-Out-TH) and for the RINEX records
// (Rinex-TCP-Out-TH).
#include <atomic>
#include <chrono>
#include <condition_variable>
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
#include "platform/Clock.h"
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

// One connected client of a server. Its reader slot (and position slot) are
// taken before the accept, as a waiting place; its registry entry, under the
// server's name and kind, is taken at the accept, so that the counts of the
// status line stay "clients plus the waiting acceptor".
struct ServerClient {
    ServerClient(SharedState& state, CharPool& pool)
        : state(state),
          pool(pool),
          watch(state, &own, 4, OutputWatchLimits(state.settings), ProtocolFileOf(state.settings)),
          buffer(CharPool::kBufferSize) {}
    ~ServerClient() {
        socket.Cleanup();
        RemoveSlot(pool, slot);
        RemoveSlot(state.position_pool, position_slot);
        entry.reset();  // the registry last, as a leaving thread does
    }
    ServerClient(const ServerClient&) = delete;
    ServerClient& operator=(const ServerClient&) = delete;

    bool Owes() const { return done < length; }

    SharedState& state;
    CharPool& pool;
    CBlockingSocket socket;
    int slot = -1;
    int position_slot = -1;
    std::unique_ptr<WorkerScope> entry;
    std::string who;
    Counter own{0};
    CharWatch watch;
    // The block being sent: a client whose socket is full keeps its
    // remainder here and reads nothing more until it is out.
    std::vector<char> buffer;
    int done = 0;
    int length = 0;
    int64_t waiting_since_ms = 0;  // last progress of the current block
    bool more = true;              // its slot may still hold data
    bool writable = false;
    const char* leaves = nullptr;  // why it goes, set during a pass
};

// What the server's threads of one job share.
struct ServerJob {
    ServerProfile profile;
    std::mutex own_accept_lock;
    Counter reset_counter{0};  // bytes for the reset watch
    std::atomic<bool> bar_due{false};  // clients sent bytes since the bar was last posted
    // An acceptor waits for the next client while fewer than the maximum are served.
    std::mutex places_lock;
    int acceptors = 0;
    int serving = 0;
    // Accepted clients on their way to the sender thread.
    std::mutex arrivals_lock;
    std::condition_variable arrived;
    std::vector<std::unique_ptr<ServerClient>> arrivals;
    std::atomic<bool> has_arrivals{false};
    bool sender_gone = false;
};

bool StartTcpServerThread(SharedState& state, const std::shared_ptr<ServerJob>& job);

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

// Waits for clients one after the other and hands each to the sender thread;
// it ends when every place is taken (a client that leaves starts a new one).
void TcpServerAcceptThread(SharedState& state, WorkerScope& worker, const std::shared_ptr<ServerJob>& job) {
    const ServerProfile& p = job->profile;
    const std::string pr = ProtocolFileOf(state.settings);
    CSuperSocket& listener = *p.listener;
    // This thread was counted as an acceptor when it was started.
    struct Acceptor {
        ServerJob& job;
        bool counted = true;
        ~Acceptor() {
            std::lock_guard<std::mutex> lock(job.places_lock);
            if (counted) --job.acceptors;
        }
    } acceptor{*job};

    while (!worker.StopRequested()) {
        // No data queues for a client that is not yet connected.
        auto client = std::make_unique<ServerClient>(state, *p.pool);
        client->slot = AddSlot(*p.pool, worker, 0);
        if (client->slot < 0) return;
        if (p.relay && (client->position_slot = AddSlot(state.position_pool, worker, 1)) < 0) return;
        Sleep(2);
        if (worker.StopRequested()) return;
        ShowServerStatus(state);

        CSocketAddress address;
        int accepted;
        {
            std::lock_guard<std::mutex> lock(*p.accept_lock);
            accepted = listener.Accept(client->socket, &address);
        }
        if (accepted != CSuperSocket::kDone) {
            // An interrupted accept means the listener was closed: nothing to wait for.
            if (accepted != CSuperSocket::kRefused) return;
            client.reset();
            Sleep(10);
            continue;
        }
        Sleep(1);
        p.pool->SetEnabled(client->slot, 1);
        listener.LogAccept(address, pr.c_str());
        if (worker.StopRequested()) return;
        client->entry = std::make_unique<WorkerScope>(state.registry, p.kind, p.name);
        client->who = std::string(p.relay ? "output" : "decoded text") + ": TCP server port " + p.port +
                      ": client " + address.DottedText() + ":" + std::to_string(address.Port());
        state.ShowText(Line("Accept on Port %s !\r\n", p.port));
        WriteStartRecord(state, p.protocol_title, p.protocol_start);
        ShowEvent(state, client->who + " connected");

        bool more_places;
        {
            std::lock_guard<std::mutex> lock(job->places_lock);
            ++job->serving;
            more_places = job->serving < p.max_clients;
            if (!more_places) {
                --job->acceptors;
                acceptor.counted = false;
            }
        }
        {
            std::lock_guard<std::mutex> lock(job->arrivals_lock);
            if (!job->sender_gone) {
                job->arrivals.push_back(std::move(client));
                job->has_arrivals.store(true);
            }
        }
        job->arrived.notify_one();
        if (client) {  // the sender has ended: the job stops
            std::lock_guard<std::mutex> lock(job->places_lock);
            --job->serving;
            return;
        }
        if (!more_places) return;
    }
}

bool StartTcpServerThread(SharedState& state, const std::shared_ptr<ServerJob>& job) {
    return StartWorker(state.registry, job->profile.kind, job->profile.name, [&state, job](WorkerScope& w) {
               TcpServerAcceptThread(state, w, job);
               ShowServerStatus(state, job->profile.kind);
           }) >= 0;
}

// Serves every client of a server from one thread: a thread per client woke
// once per client and block, which cost more than the sending itself. Each
// pass reads for each client what waits in its pool slot and sends it without
// blocking; a client whose socket is full keeps its remainder and falls
// behind in the pool, where the window rule drops it.
class ServerSender {
public:
    ServerSender(SharedState& state, WorkerScope& worker, const std::shared_ptr<ServerJob>& job)
        : state_(state),
          worker_(worker),
          job_(job),
          p_(job->profile),
          pool_(*p_.pool),
          bar_max_(std::atoi(state.settings.maz.output_limit.c_str())) {}

    void Run() {
        int64_t next_check_ms = 0;
        while (!worker_.StopRequested()) {
            if (job_->has_arrivals.load()) TakeArrivals();
            if (clients_.empty()) {
                std::unique_lock<std::mutex> lock(job_->arrivals_lock);
                job_->arrived.wait_for(lock, std::chrono::milliseconds(kIdleWaitMs),
                                       [this] { return job_->has_arrivals.load(); });
                continue;
            }
            const bool wake = Wait();
            const int64_t now = Clock::Get().MonotonicMs();
            if (wake) ServeAll(now);
            if (now >= next_check_ms) {
                next_check_ms = now + kCheckEveryMs;
                Check(now);
            }
            DropLeaving();
        }
        End();
    }

private:
    static constexpr int kIdleWaitMs = 100;  // the stop switch is seen within this
    static constexpr int kOwingWaitMs = 2;   // a full socket is looked at again after this
    static constexpr int kCheckEveryMs = 100;
    static constexpr int kReadsPerPass = 8;  // so that a burst to one client does not hold up the others
    // The one reason that also reports the client's loss.
    static constexpr const char* kFellBehind = "it fell more than the pool window behind";

    void TakeArrivals() {
        std::lock_guard<std::mutex> lock(job_->arrivals_lock);
        for (auto& c : job_->arrivals) clients_.push_back(std::move(c));
        job_->arrivals.clear();
        job_->has_arrivals.store(false);
    }

    // Sleeps until the pool has a block for the clients or a full socket
    // takes bytes again; false when nothing changed.
    bool Wait() {
        bool owing = false;  // some client has a remainder
        bool free = false;   // some client has none
        bool more = false;
        for (const auto& c : clients_) {
            owing = owing || c->Owes();
            free = free || !c->Owes();
            more = more || (!c->Owes() && c->more);
        }
        bool data = more || (wait_slot_ < 0 && free);
        if (!data && wait_slot_ >= 0) data = pool_.WaitForData(wait_slot_, owing ? kOwingWaitMs : kIdleWaitMs) > 0;
        if (!owing) return data;
        waits_.clear();
        for (const auto& c : clients_) {
            if (c->Owes()) waits_.push_back(sock::WaitItem{c->socket.Handle(), true, false});
        }
        const bool ready = sock::WaitAny(waits_.data(), waits_.size(), data || free ? 0 : kIdleWaitMs) > 0;
        size_t i = 0;
        for (auto& c : clients_) {
            if (c->Owes()) c->writable = waits_[i++].ready;
        }
        return data || ready;
    }

    void ServeAll(int64_t now) {
        // The wait slot is the first client found with an empty slot: every
        // block written after that read is still waiting there.
        wait_slot_ = -1;
        for (auto& c : clients_) {
            if (c->leaves != nullptr || (c->Owes() && !c->writable)) continue;
            c->writable = false;
            Serve(*c, now);
            if (c->leaves == nullptr && !c->Owes() && !c->more && wait_slot_ < 0) wait_slot_ = c->slot;
        }
    }

    // Sends what the client still owes, then what waits for it, until its socket is full.
    void Serve(ServerClient& c, int64_t now) {
        for (int reads = 0;;) {
            if (c.Owes()) {
                int k = 0;
                try {
                    k = c.socket.SendWithin(c.buffer.data() + c.done, c.length - c.done, 0);
                } catch (const CBlockingSocketException&) {
                    p_.listener->ShowError("Error in ServerSend");
                    c.leaves = "sending failed";
                    return;
                }
                if (k > 0) {
                    c.done += k;
                    c.waiting_since_ms = now;
                    Count(c, k);
                }
                if (c.Owes()) return;
            }
            if (reads++ == kReadsPerPass) {
                c.more = true;
                return;
            }
            const int n = pool_.WaitAndRead(c.buffer.data(), c.slot, 0);
            if (pool_.HasLost(c.slot)) {
                c.leaves = kFellBehind;
                return;
            }
            c.more = false;
            if (n <= 0) return;
            c.done = 0;
            c.length = n;
            c.waiting_since_ms = now;
        }
    }

    void Count(ServerClient& c, int sent) {
        c.own.fetch_add(sent);
        if (!p_.relay) return;
        CountOutput(state_, OutputKind::kTcp, sent, bar_max_);
        job_->reset_counter.fetch_add(sent);
        // The watch thread posts the bar: one post per pass instead of one
        // per client and block onto the view's queue.
        if (!job_->bar_due.load(std::memory_order_relaxed)) job_->bar_due.store(true, std::memory_order_relaxed);
    }

    // The rate watches, the clients that take nothing, and replies: a failed
    // read of a readable socket means the client has gone.
    void Check(int64_t now) {
        for (auto& c : clients_) {
            if (c->leaves != nullptr) continue;
            if (IsAlarm(c->watch.Check(p_.watch_text, p_.relay ? msg::kTcpOutRate : 0, 1))) {
                if (p_.relay) state_.Send(msg::kTcpClientOutBar);
                c->leaves = "too little data taken (rate watch)";
            } else if (c->Owes() && pool_.HasLost(c->slot)) {
                c->leaves = kFellBehind;
            } else if (c->Owes() && now - c->waiting_since_ms >= CSuperSocket::kSendSeconds * 1000) {
                p_.listener->ShowError("Error in ServerSend");
                c->leaves = "sending failed";
            }
        }
        waits_.clear();
        for (const auto& c : clients_) waits_.push_back(sock::WaitItem{c->socket.Handle(), false, false});
        if (sock::WaitAny(waits_.data(), waits_.size(), 0) <= 0) return;
        char reply[kReplySize + 1];
        for (size_t i = 0; i < clients_.size(); ++i) {
            ServerClient& c = *clients_[i];
            if (!waits_[i].ready || c.leaves != nullptr) continue;
            int got = 0;
            if (p_.listener->ReceiveFrom(reply, kReplySize, c.socket, &got) == CSuperSocket::kTransferFailed) {
                c.leaves = "the client closed the connection";
                continue;
            }
            // Replies to decoded text are read only to notice a client that has gone.
            if (got > 0 && c.position_slot >= 0) {
                if (!WritePosition(state_, worker_, reply, got, c.position_slot)) return;
                state_.ShowReceivedText(std::string(reply, static_cast<size_t>(got)) + "\r\n");
            }
        }
    }

    // A client that goes frees its place for the next one.
    void DropLeaving() {
        for (size_t i = 0; i < clients_.size();) {
            ServerClient& c = *clients_[i];
            if (c.leaves == nullptr) {
                ++i;
                continue;
            }
            // A stream with a hole is worse than a reconnect.
            if (c.leaves == kFellBehind) pool_.ReportLoss(c.who, pool_.TakeLost(c.slot));
            ShowEvent(state_, c.who + " left: " + c.leaves);
            if (c.slot == wait_slot_) wait_slot_ = -1;
            clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
            {
                std::lock_guard<std::mutex> lock(job_->places_lock);
                --job_->serving;
            }
            StartAcceptorIfNeeded(state_, job_);
            ShowServerStatus(state_);
        }
    }

    // At the stop: the clients go without a word, as their threads did.
    void End() {
        {
            std::lock_guard<std::mutex> lock(job_->arrivals_lock);
            job_->sender_gone = true;
            for (auto& c : job_->arrivals) clients_.push_back(std::move(c));
            job_->arrivals.clear();
        }
        if (clients_.empty()) return;
        {
            std::lock_guard<std::mutex> lock(job_->places_lock);
            job_->serving -= static_cast<int>(clients_.size());
        }
        clients_.clear();
        ShowServerStatus(state_);
    }

    SharedState& state_;
    WorkerScope& worker_;
    std::shared_ptr<ServerJob> job_;
    const ServerProfile& p_;
    CharPool& pool_;
    const int32_t bar_max_;
    std::vector<std::unique_ptr<ServerClient>> clients_;
    std::vector<sock::WaitItem> waits_;
    int wait_slot_ = -1;
};

bool StartServerSender(SharedState& state, const std::shared_ptr<ServerJob>& job, const char* name) {
    return StartWorker(state.registry, 0, name, [&state, job](WorkerScope& w) {
               ServerSender(state, w, job).Run();
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
    if (!StartServerSender(state, job, "TCP-Out-Server-Send-TH")) return false;
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
    if (!StartServerSender(state, job, "DecTCP-Out-Send-TH")) return false;
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
    if (!StartServerSender(state, job, "Rinex-TCP-Out-Send-TH")) return false;
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
