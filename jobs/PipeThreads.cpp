// The named-pipe threads on FIFOs: the pipe input reads whatever writer has
// the FIFO open and outlives each writer; the pipe outputs (raw stream and
// decoded text) wait for a reader, write to it and wait for the next one
// when it leaves.
#include "jobs/PipeThreads.h"

#include <cstdlib>
#include <vector>

#include "jobs/GgaUpstream.h"
#include "jobs/StreamCommon.h"
#include "platform/Fifo.h"
#include "platform/Sleep.h"
#include "supervision/CharWatch.h"

namespace zerlan {

namespace {

// Client waits as the pipe threads have always made them.
constexpr int kOpenRetryMs = 1000;
constexpr int kConnectAttempts = 2000;
constexpr int kConnectStepMs = 5;
constexpr int kRecreateMs = 20;
constexpr int kAfterAlarmMs = 100;
constexpr int kWriteRoomMs = 50;
constexpr int kWriteAttempts = 20;

// A FIFO that cannot be opened is named with its reason once per outage.
class PipeFailureNotice {
public:
    explicit PipeFailureNotice(SharedState& state) : state_(state) {}
    void Failed(const std::string& path, const std::string& reason) {
        if (reason == shown_) return;
        shown_ = reason;
        state_.ShowText("Pipe " + path + " cannot be opened: " + reason + "\r\n");
    }
    void Opened() { shown_.clear(); }

private:
    SharedState& state_;
    std::string shown_;
};

void PipeInputThread(SharedState& state, WorkerScope& worker) {
    const Settings& s = state.settings;
    const std::string path = FifoPath(s.pipe_in);
    CharWatch watch(state, &state.input_total, 0, InputWatchLimits(s), ProtocolFileOf(s));
    InputDelivery delivery(state, worker, true, false);
    PipeFailureNotice notice(state);
    const int read_size = NetworkReadSize(s);
    std::vector<char> buffer(static_cast<size_t>(read_size));
    bool first = true;

    while (!worker.StopRequested()) {
        delivery.Reset();
        std::string error;
        int fd = OpenFifoReader(path, &error);
        if (fd < 0) {
            notice.Failed(path, error);
            if (!worker.Sleep(kOpenRetryMs)) return;
            continue;
        }
        notice.Opened();
        if (first) {
            state.ShowText("Pipe-Open on " + s.pipe_in + " !\r\n");
            WriteStartRecord(state, "Pipe-Input", "PipeInput-Start");
            first = false;
        }
        while (true) {
            if (worker.StopRequested()) {
                CloseFifo(fd);
                return;
            }
            if (IsAlarm(watch.Check("CharWatch: PipeIn-Warning !", msg::kInputRate, 1))) {
                state.Send(msg::kInputBar);
                CloseFifo(fd);
                Sleep(kAfterAlarmMs);
                break;
            }
            // Sleeps until data arrives; the short wait keeps the stop switch seen.
            const int n = ReadFifo(fd, buffer.data(), read_size, 100);
            if (n > 0) {
                delivery.Deliver(buffer.data(), n);
            } else if (n == 0) {
                // The writer has gone: wait for the next one. The new end is
                // opened before the old one closes, so that the FIFO never
                // lacks a reader and a next writer loses nothing.
                const int next = OpenFifoReader(path, &error);
                CloseFifo(fd);
                fd = next;
                if (fd < 0) {
                    notice.Failed(path, error);
                    break;
                }
            } else if (n == -1) {
                CloseFifo(fd);
                break;
            }
        }
    }
}

struct PipeOutputProfile {
    const char* name;
    std::string pipe_name;
    CharPool* pool;
    const char* protocol_title;
    const char* protocol_start;
    bool relay;  // the raw-stream output: rate check, bar counters
};

// Opens the FIFO for writing once a reader holds it, trying up to the
// connect-attempt count; -1 when none came (or a stop did).
int WaitForReader(const std::string& path, WorkerScope& worker, PipeFailureNotice& notice) {
    for (int attempt = 0; attempt < kConnectAttempts && !worker.StopRequested(); ++attempt) {
        bool no_peer = false;
        std::string error;
        const int fd = OpenFifoWriter(path, &no_peer, &error);
        if (fd >= 0) {
            notice.Opened();
            return fd;
        }
        if (!no_peer) {
            notice.Failed(path, error);
            return -1;
        }
        Sleep(kConnectStepMs);
    }
    return -1;
}

// Writes a block, trying again while the reader makes no room.
int WriteBlock(int fd, const char* data, int n) {
    int done = 0;
    for (int attempt = 0; attempt < kWriteAttempts && done < n; ++attempt) {
        const int w = WriteFifo(fd, data + done, n - done, kWriteRoomMs);
        if (w < 0) break;
        done += w;
    }
    return done;
}

void PipeOutputThread(SharedState& state, WorkerScope& worker, const PipeOutputProfile& p) {
    const Settings& s = state.settings;
    OutputSlot slot(*p.pool, worker);
    if (!slot.valid()) return;
    const std::string path = FifoPath(p.pipe_name);
    const int kind = static_cast<int>(OutputKind::kPipe);
    CharWatch watch(state, p.relay ? &state.output_watch[kind] : &state.decoder_pipe_total, 1,
                    OutputWatchLimits(s), ProtocolFileOf(s));
    const int32_t bar_max = std::atoi(s.maz.output_limit.c_str());
    PipeFailureNotice notice(state);
    std::vector<char> buffer(CharPool::kBufferSize);
    bool first = true;

    while (!worker.StopRequested()) {
        int fd = WaitForReader(path, worker, notice);
        if (fd < 0) {
            if (!worker.Sleep(kRecreateMs)) return;
            continue;
        }
        if (first && !worker.StopRequested()) {
            state.ShowText("Pipe-Open on " + p.pipe_name + " !\r\n");
            WriteStartRecord(state, p.protocol_title, p.protocol_start);
            first = false;
        }
        while (true) {
            if (worker.StopRequested()) {
                CloseFifo(fd);
                return;
            }
            if (p.relay && IsAlarm(watch.Check("CharWatch: PipeOut-Warning !", msg::kPipeOutRate, 1))) {
                state.Send(msg::kPipeOutBar);
            }
            const int n = slot.Read(buffer.data());
            if (n > 0) {
                const int written = WriteBlock(fd, buffer.data(), n);
                if (written > 0 && p.relay) {
                    CountOutput(state, OutputKind::kPipe, written, bar_max);
                    state.Post(msg::kPipeOutBar);
                } else if (written > 0) {
                    state.decoder_pipe_total.fetch_add(written);
                }
                if (written < n) {
                    // The reader has gone: wait for the next one.
                    CloseFifo(fd);
                    Sleep(kRecreateMs);
                    break;
                }
            }
        }
    }
}

}  // namespace

bool StartPipeInput(SharedState& state) {
    return StartWorker(state.registry, 0, "Pipe-In-TH", [&state](WorkerScope& w) { PipeInputThread(state, w); }) >= 0;
}

bool StartPipeOutput(SharedState& state) {
    const Settings& s = state.settings;
    PipeOutputProfile p{"Pipe-Out-TH",  s.pipe_out,     &state.SelectOutputPool(s.enc_da.Flag(9) ? 1 : 0, s.dec_in.Flag(8) ? 1 : 0, 0),
                        "Pipe-Output", "PipeOut-Start", true};
    return StartWorker(state.registry, 0, p.name, [&state, p](WorkerScope& w) { PipeOutputThread(state, w, p); }) >=
           0;
}

bool StartDecPipeOutput(SharedState& state) {
    PipeOutputProfile p{"DecPipe-Out-TH",  state.settings.dec_out.pipe_name, &state.decoded_text_pool,
                        "DecPipe-Output", "DecPipeOut-Start",               false};
    return StartWorker(state.registry, 0, p.name, [&state, p](WorkerScope& w) { PipeOutputThread(state, w, p); }) >=
           0;
}

void WakePipeOutputs(SharedState& state) {
    const Settings& s = state.settings;
    if (s.inout_sw.PipeOut()) {
        TouchFifoAsReader(FifoPath(s.pipe_out));
        Sleep(3);
    }
    if (s.inout_sw.RtcmDecoder() && s.dec_out.pipe_on) {
        TouchFifoAsReader(FifoPath(s.dec_out.pipe_name));
        Sleep(3);
    }
}

}  // namespace zerlan
