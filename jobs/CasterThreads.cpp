// The NTRIP threads of the relay: the caster input (Caster-In-TH, an NTRIP
// version 1 client) and the caster upload (Caster-Out-TH, an NTRIP version 1
// source), each optionally through an HTTP proxy, each logging in again after
// every failure until the job stops.
#include <cstdlib>
#include <string>
#include <vector>

#include "core/Worker.h"
#include "jobs/NtripClient.h"
#include "jobs/OperatorLog.h"
#include "jobs/StreamCommon.h"
#include "jobs/StreamThreads.h"
#include "platform/Paths.h"
#include "platform/Sleep.h"
#include "services/GgaGenerator.h"
#include "supervision/CharWatch.h"
#include "supervision/Protocol.h"
#include "transport/Base64.h"
#include "transport/SuperSocket.h"

namespace zerlan {

namespace {

constexpr int kConnectRetryMs = 20;
constexpr int kProxyFailureWait = 50;
constexpr int kResponseLimit = 1499;
constexpr int kAfterGgaMs = 2000;

// What ends an attempt: leave the thread, or wait before the next login.
struct Next {
    bool stop = false;
    int wait_ms = 0;
    bool plain = false;  // the whole wait, not the shortened reconnect wait
};
Next Stop() { return {true, 0, false}; }
Next Wait(int ms) { return {false, ms, false}; }
Next PlainWait(int ms) { return {false, ms, true}; }
// A caster that is down is asked again only after the reconnect wait (and
// the next attempt resolves its name again): casters ban clients that hammer.
Next ConnectFailed(int w) { return Wait(w * 9 / 10 < kConnectRetryMs ? kConnectRetryMs * 10 / 9 + 1 : w); }

// The shortened reconnect wait; false when a stop cut it short.
bool WaitBeforeRetry(WorkerScope& worker, const Next& next) {
    return worker.Sleep(next.plain ? next.wait_ms : next.wait_ms * 9 / 10);
}

int ReadSizeOf(const Settings& s) {
    const int n = std::atoi(s.inout_sw.read_size.c_str());
    return n < 1 ? 1 : (n > 1000 ? 1000 : n);
}

void WriteStart(SharedState& state, const char* title, const char* word) {
    const NowStrings now = state.CaptureNow();
    WriteProtocol(state, title, std::string("no_failure, ") + word + " " + now.Moment(), ProtocolFileOf(state.settings),
                  0);
}

// One byte at a time, so nothing after the answer's last header is taken
// from the stream; each byte is added to `counter`.
ByteSource SocketBytes(CSuperSocket& socket, WorkerScope& worker, Counter& counter) {
    return [&socket, &worker, &counter](char& c) {
        if (worker.StopRequested()) return 3;
        char buffer[2];
        int n = 0;
        if (socket.Receive(buffer, 1, CSuperSocket::kReceiveSeconds, &n) != CSuperSocket::kDone || n != 1) {
            return worker.StopRequested() ? 3 : 2;
        }
        c = buffer[0];
        counter.fetch_add(1);
        return 0;
    };
}

// Where a caster thread connects: the caster itself or its proxy.
struct Target {
    std::string caster_host;  // as written in the settings, for the CONNECT
    std::string caster_port;
    std::string host;         // shown
    std::string port;
    std::string address;      // dotted when the name was resolved
};

Target TargetOf(const CasterParams& c, CSuperSocket& socket) {
    Target t;
    t.caster_host = RestoreSlashes(c.host, kNetSlashSubstitute);
    t.caster_port = c.port;
    t.host = c.use_proxy ? RestoreSlashes(c.proxy_host, kNetSlashSubstitute) : t.caster_host;
    t.port = c.use_proxy ? c.proxy_port : c.port;
    socket.ResolveHost(t.host.c_str(), t.port.c_str());
    t.address = socket.HostText();
    if (t.address.empty()) t.address = t.host;
    return t;
}

int SendText(CSuperSocket& socket, const std::string& text) {
    return socket.Send(text.data(), static_cast<int>(text.size()));
}

// The CONNECT through a proxy; `refused_wait` is the wait after a refused
// status line (the input and the upload differ there).
bool ProxyTunnel(SharedState& state, CSuperSocket& socket, WorkerScope& worker, const Target& t, int refused_wait,
                 Next* next) {
    if (SendText(socket, ProxyConnectLine(t.caster_host, t.caster_port)) == CSuperSocket::kTransferFailed ||
        SendText(socket, ProxyHostHeader(t.caster_host, t.caster_port)) == CSuperSocket::kTransferFailed) {
        *next = Wait(kProxyFailureWait);
        return false;
    }
    state.input_bar_count = 0;
    std::string refused;
    const ProxyOutcome outcome = ReadProxyAnswer(
        SocketBytes(socket, worker, state.input_bar_count),
        [&state](const std::string& line) {
            state.ShowReceivedText(line);
            state.input_bar_count = 0;
        },
        &refused);
    switch (outcome) {
        case ProxyOutcome::kAccepted: return true;
        case ProxyOutcome::kStopped: *next = Stop(); return false;
        case ProxyOutcome::kTransferFailed: *next = Wait(kProxyFailureWait); return false;
        case ProxyOutcome::kRefusedLine:
            state.ShowText("Not connection to Proxy-Server(1) !\r\n");
            state.ShowReceivedText(refused);
            *next = Wait(refused_wait);
            return false;
        case ProxyOutcome::kRefusedLong:
            state.ShowText("Not connection to Proxy-Server(2) !\r\n");
            state.ShowReceivedText(refused);
            *next = Wait(kProxyFailureWait);
            return false;
    }
    return false;
}

// The caster's status line; false with `next` set when there is none.
bool StatusLine(SharedState& state, const ByteSource& bytes, int w, std::string* line, Next* next) {
    switch (ReadLine(bytes, kResponseLimit, line)) {
        case LineOutcome::kLine: state.ShowReceivedText(*line); return true;
        case LineOutcome::kStopped: *next = Stop(); return false;
        case LineOutcome::kTransferFailed: *next = Wait(w); return false;
        case LineOutcome::kTooLong:
            state.ShowText("Don't know answer from ntrip-caster: \r\n");
            state.ShowReceivedText(*line);
            *next = Wait(w);
            return false;
    }
    return false;
}

// ---- caster input ----

class CasterInput {
public:
    CasterInput(SharedState& state, WorkerScope& worker)
        : state_(state),
          worker_(worker),
          s_(state.settings),
          c_(state.settings.cast_in),
          w_(std::atoi(c_.reconnect_wait_ms.c_str())),
          watch_(state, &state.input_total, 0, InputWatchLimits(s_), ProtocolFileOf(s_)),
          gga_interval_s_(std::atoi(s_.nmea.repeat_s.c_str())),
          gga_timer_(gga_interval_s_ > 0 ? gga_interval_s_ : 1),
          gga_(state),
          delivery_(state, worker, true, false),
          read_size_(ReadSizeOf(s_)),
          buffer_(static_cast<size_t>(read_size_) + 1) {}

    void Run() {
        while (true) {
            const Next next = Attempt();
            if (next.stop || !WaitBeforeRetry(worker_, next)) return;
        }
    }

private:
    bool RateAlarm() { return IsAlarm(watch_.Check("CharWatch: CasterIn-Warning !", msg::kInputRate, 1)); }

    int SendGga(CSuperSocket& socket) {
        gga_.Build(s_);
        const std::string& sentence = gga_.Sentence();
        if (sentence.empty()) return CSuperSocket::kDone;
        return SendText(socket, sentence);
    }

    Next Attempt() {
        CSuperSocket socket(&state_, state_.view_window.load());
        delivery_.Reset();
        const std::string mount = MountpointPath(c_.mountpoint);
        const std::string credential = Base64Encode(RestoreSlashes(c_.login, kNetSlashSubstitute));
        const Target t = TargetOf(c_, socket);

        if (socket.ClientStart(t.address.c_str(), t.port.c_str()) == CSuperSocket::kRefused) {
            if (RateAlarm()) state_.Send(msg::kInputBar);
            if (!worker_.StopRequested()) Tell(SocketReason(socket) + "; retrying");
            return worker_.StopRequested() ? Stop() : ConnectFailed(w_);
        }
        Next next = Login(socket, t, mount, credential);
        if (!next.stop && next.wait_ms == 0) next = Stream(socket);
        socket.Stop();
        return next;
    }

    // Up to the first byte of the stream; a zero wait means logged in.
    Next Login(CSuperSocket& socket, const Target& t, const std::string& mount, const std::string& credential) {
        state_.ShowText("Connect with " + t.host + ":" + t.port + " !\r\n");
        if (worker_.StopRequested()) return Stop();
        Next next;
        if (c_.use_proxy && !ProxyTunnel(state_, socket, worker_, t, w_, &next)) return next;

        state_.input_bar_count = 0;
        if (SendText(socket, ClientRequest(mount, c_.program_id, credential)) == CSuperSocket::kTransferFailed) {
            return Wait(w_);
        }
        const ByteSource bytes = SocketBytes(socket, worker_, state_.input_bar_count);
        std::string line;
        if (!StatusLine(state_, bytes, w_, &line, &next)) return next;
        if (!ClientAccepts(line)) {
            state_.ShowText("Not connection to ntrip-caster !\r\n");
            Tell("mountpoint " + RestoreSlashes(c_.mountpoint, kNetSlashSubstitute) + " refused; retrying");
            return Wait(w_);
        }
        // An HTTP caster sends headers before its stream; they are no data.
        chunked_ = false;
        if (IsHttpStatus(line)) {
            switch (SkipHeaders(bytes, &chunked_)) {
                case HeaderOutcome::kDone: break;
                case HeaderOutcome::kStopped: return Stop();
                case HeaderOutcome::kTransferFailed: return Wait(w_);
                case HeaderOutcome::kTooMany:
                    state_.ShowText("Don't know answer from ntrip-caster: \r\n");
                    return Wait(w_);
            }
        }
        if (SendText(socket, "\r\n") == CSuperSocket::kTransferFailed) return Wait(w_);
        if (s_.nmea.on) {
            if (SendGga(socket) == CSuperSocket::kTransferFailed) return PlainWait(w_);
            // Time for the caster to build a stream for the position.
            if (!worker_.Sleep(kAfterGgaMs)) return Stop();
        }
        delivery_.Reset();
        WriteStart(state_, "Ntrip-Radio", "FromCasterIn-Start");
        if (!told_.empty()) ShowEvent(state_, Where() + ": connected again");
        told_.clear();
        return Next{};
    }

    Next Stream(CSuperSocket& socket) {
        ChunkedDecoder dechunk;
        std::string payload;
        while (true) {
            if (worker_.StopRequested()) return Stop();
            if (RateAlarm()) {
                state_.Send(msg::kInputBar);
                Tell("too little data (rate watch); reconnecting");
                return Wait(w_);
            }
            int n = 0;
            if (socket.ReceiveWithin(buffer_.data(), read_size_, CSuperSocket::kInputWaitMs, &n) ==
                CSuperSocket::kTransferFailed) {
                Tell(SocketReason(socket) + "; reconnecting");
                return Wait(w_);
            }
            if (n > 0 && !chunked_) {
                delivery_.Deliver(buffer_.data(), n);
            } else if (n > 0) {
                payload.clear();
                const bool intact = dechunk.Feed(buffer_.data(), n, &payload);
                if (!payload.empty()) delivery_.Deliver(payload.data(), static_cast<int>(payload.size()));
                if (!intact || dechunk.finished()) return Wait(w_);
            }
            if (s_.nmea.on && gga_interval_s_ > 0 && gga_timer_.IntervalElapsed() &&
                SendGga(socket) == CSuperSocket::kTransferFailed) {
                return PlainWait(w_);
            }
        }
    }

    std::string Where() const {
        return "input: NTRIP caster " + RestoreSlashes(c_.host, kNetSlashSubstitute) + ":" + c_.port;
    }
    // Once per reason while the caster stays unreachable.
    void Tell(const std::string& why) {
        if (why == told_) return;
        told_ = why;
        ShowEvent(state_, Where() + ": " + why);
    }

    SharedState& state_;
    WorkerScope& worker_;
    const Settings& s_;
    const CasterParams& c_;
    const int w_;
    std::string told_;
    CharWatch watch_;
    const int gga_interval_s_;
    CharWatch gga_timer_;
    GgaGenerator gga_;
    InputDelivery delivery_;
    const int read_size_;
    std::vector<char> buffer_;
    bool chunked_ = false;
};

// ---- caster upload ----

class CasterOutput {
public:
    CasterOutput(SharedState& state, WorkerScope& worker, OutputSlot& slot)
        : state_(state),
          worker_(worker),
          slot_(slot),
          s_(state.settings),
          c_(state.settings.cast_out),
          w_(std::atoi(c_.reconnect_wait_ms.c_str())),
          counter_(state.output_watch[static_cast<int>(OutputKind::kCaster)]),
          watch_(state, &counter_, 1, OutputWatchLimits(s_), ProtocolFileOf(s_)),
          bar_max_(std::atoi(s_.maz.output_limit.c_str())),
          buffer_(CharPool::kBufferSize) {}

    void Run() {
        while (true) {
            const Next next = Attempt();
            if (next.stop || !WaitBeforeRetry(worker_, next)) return;
        }
    }

private:
    bool RateAlarm() { return IsAlarm(watch_.Check("CharWatch: CasterOut-Warning !", msg::kCasterOutRate, 1)); }

    Next Attempt() {
        CSuperSocket socket(&state_, state_.view_window.load());
        counter_ = 0;
        const std::string mount = MountpointPath(c_.mountpoint);
        const std::string password = RestoreSlashes(c_.login, kNetSlashSubstitute);
        const Target t = TargetOf(c_, socket);
        if (socket.ClientStart(t.address.c_str(), t.port.c_str()) == CSuperSocket::kRefused) {
            if (RateAlarm()) state_.Send(msg::kCasterOutBar);
            if (!worker_.StopRequested()) Tell(SocketReason(socket) + "; retrying");
            return worker_.StopRequested() ? Stop() : ConnectFailed(w_);
        }
        Next next = Login(socket, t, mount, password);
        if (!next.stop && next.wait_ms == 0) next = Upload(socket);
        socket.Stop();
        return next;
    }

    Next Login(CSuperSocket& socket, const Target& t, const std::string& mount, const std::string& password) {
        state_.ShowText("Connect mit " + t.host + ":" + t.port + " !\r\n");
        if (worker_.StopRequested()) return Stop();
        Next next;
        if (c_.use_proxy && !ProxyTunnel(state_, socket, worker_, t, kProxyFailureWait, &next)) return next;
        if (SendText(socket, SourceLine(password, mount)) == CSuperSocket::kTransferFailed ||
            SendText(socket, SourceAgentHeader(c_.program_id)) == CSuperSocket::kTransferFailed) {
            return Wait(w_);
        }
        std::string line;
        if (!StatusLine(state_, SocketBytes(socket, worker_, counter_), w_, &line, &next)) {
            if (!next.stop) {
                const bool garbled = line.size() >= static_cast<size_t>(kResponseLimit);
                Tell(garbled ? "an answer to the login that is no status line; retrying"
                             : "no answer to the login; retrying");
            }
            return next;
        }
        if (!ServerAccepts(line)) {
            state_.ShowText("Not connection to ntrip-caster !\r\n");
            Tell("mountpoint " + RestoreSlashes(c_.mountpoint, kNetSlashSubstitute) + " refused; retrying");
            return Wait(w_);
        }
        if (SendText(socket, "\r\n") == CSuperSocket::kTransferFailed) return Wait(w_);
        counter_ = 0;
        WriteStart(state_, "Ntrip-Server", "ToCasterOut-Start");
        if (!told_.empty()) ShowEvent(state_, Where() + ": connected again");
        told_.clear();
        return Next{};
    }

    Next Upload(CSuperSocket& socket) {
        while (true) {
            if (worker_.StopRequested()) return Stop();
            if (RateAlarm()) state_.Send(msg::kCasterOutBar);
            const int n = slot_.Read(buffer_.data());
            if (n > 0) {
                int sent = 0;
                if (socket.Send(buffer_.data(), n, CSuperSocket::kSendSeconds, &sent) ==
                        CSuperSocket::kTransferFailed ||
                    sent == 0) {
                    Tell(SocketReason(socket) + "; reconnecting");
                    return Wait(w_);
                }
                CountOutput(state_, OutputKind::kCaster, sent, bar_max_);
                state_.Post(msg::kCasterOutBar);
            }
        }
    }

    std::string Where() const {
        return "output: upload to NTRIP caster " + RestoreSlashes(c_.host, kNetSlashSubstitute) + ":" + c_.port;
    }
    // Once per reason while the caster stays unreachable.
    void Tell(const std::string& why) {
        if (why == told_) return;
        told_ = why;
        ShowEvent(state_, Where() + ": " + why);
    }

    SharedState& state_;
    WorkerScope& worker_;
    OutputSlot& slot_;
    const Settings& s_;
    const CasterParams& c_;
    const int w_;
    std::string told_;
    Counter& counter_;
    CharWatch watch_;
    const int32_t bar_max_;
    std::vector<char> buffer_;
};

void CasterOutThread(SharedState& state, WorkerScope& worker) {
    const Settings& s = state.settings;
    CharPool& pool = state.SelectOutputPool(s.enc_da.Flag(5) ? 1 : 0, s.dec_in.Flag(4) ? 1 : 0, 0);
    OutputSlot slot(pool, worker);
    if (!slot.valid()) return;
    CasterOutput(state, worker, slot).Run();
}

}  // namespace

bool StartCasterInput(SharedState& state) {
    return StartWorker(state.registry, 0, "Caster-In-TH",
                       [&state](WorkerScope& w) { CasterInput(state, w).Run(); }) >= 0;
}

bool StartCasterOutput(SharedState& state) {
    return StartWorker(state.registry, 0, "Caster-Out-TH", [&state](WorkerScope& w) { CasterOutThread(state, w); }) >=
           0;
}

}  // namespace zerlan
