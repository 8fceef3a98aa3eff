// The one process-wide record where all threads meet: active settings,
// counters shown by the view, the display hand-over text, the current-time
// strings, the eight character pools, the thread registries, the status board
// and the message numbers. Workers never touch the view: they put a value or
// a text here and post one of the messages of core/Messages.h.
//
// Thread-safety: counters and flags are atomics with one writing thread each
// (the rate watch takes-and-clears with exchange). Pools, registries and the
// status board carry their own locks. `settings` is written only by the view
// thread while no job runs (job start, WM_USER+133) and read by workers.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "config/Settings.h"
#include "core/CharPool.h"
#include "core/JobOutcome.h"
#include "core/Messages.h"
#include "core/StatusBoard.h"
#include "core/ThreadRegistry.h"
#include "platform/MessageQueue.h"
#include "supervision/SatFkpStore.h"
#include "transport/Sockets.h"

namespace zerlan {

// The six current-time strings of CaptureNow.
struct NowStrings {
    char day[100] = "";
    char month[100] = "";
    char year[100] = "";
    char hour[100] = "";
    char minute[100] = "";
    char second[100] = "";
    // "%s.%s.%s  %s:%s:%s": day.month.year, two blanks, hours:minutes:seconds.
    std::string Moment() const;
};

// Output kinds with a bar and a rate counter each.
enum class OutputKind { kCaster = 0, kSerial, kTcp, kUdp, kPipe, kFile, kCount };

using Counter = std::atomic<int32_t>;

class SharedState {
public:
    SharedState();
    SharedState(const SharedState&) = delete;
    SharedState& operator=(const SharedState&) = delete;

    // 1. Message numbers.
    const std::array<uint32_t, 50>& messages = kMessageTable;

    // 2. Window handles: the view's queue (set before any worker starts) and
    // the sourcetable-search dialog's while it is open.
    std::atomic<MessageQueue*> view_window{nullptr};
    std::atomic<MessageQueue*> sourcetable_window{nullptr};

    // 3. Line end appended to every start message of a worker.
    static constexpr const char* kLineEnd = "\r\n";

    // 4. Display hand-over: fills DisplayText and posts WM_USER+108 with a
    // copy of the text, so that texts of several workers are shown whole and
    // in posting order.
    void ShowText(const std::string& text);
    // The same for a text that carries received bytes: the view shows its
    // control and non-printable bytes as '.'.
    void ShowReceivedText(const std::string& text);
    // The same, waiting until the view has shown it (the rate watch does so).
    void ShowTextAndWait(const std::string& text);
    std::string DisplayText();

    // 5. Current time strings. CaptureNow returns its own copy as well, so a
    // caller never formats from fields another thread is overwriting.
    NowStrings CaptureNow();
    NowStrings LastCaptured();

    // 6. Byte counters.
    Counter input_bar_count{0};
    Counter input_total{0};
    Counter pool_total{0};
    Counter pool_total_shown{0};  // the total of the last unit: the view reads it later
    Counter input_rate{0};
    std::array<Counter, static_cast<int>(OutputKind::kCount)> output_bar{};
    std::array<Counter, static_cast<int>(OutputKind::kCount)> output_rate{};
    // Bytes of the running time unit of each output's rate watch.
    std::array<Counter, static_cast<int>(OutputKind::kCount)> output_watch{};
    Counter decoder_total{0};
    Counter decoder_pipe_total{0};
    Counter decoder_frames{0};
    // Bytes moved since the program started (never reset: the status page's
    // counters only grow).
    std::atomic<int64_t> input_bytes{0};
    std::array<std::atomic<int64_t>, static_cast<int>(OutputKind::kCount)> output_bytes{};
    Counter http_connections{0};

    // 7. Job flags.
    Counter restart_reason{0};  // 0 none, 1 worker restart, 2 restart with caster input
    Counter tcp_out_server_started{0};
    Counter dec_tcp_out_server_started{0};
    Counter rinex_tcp_out_server_started{0};
    Counter http_server_started{0};
    Counter program_ready{0};
    Counter mountpoint_chosen{0};
    Counter program_closing{0};
    // Encoder-active flags used by SelectOutputPool.
    Counter encoder_data_a_active{0};
    Counter encoder_data_b_active{0};
    Counter rtcm_encoder_active{0};
    // Producers wait for their active readers (file replays) when set.
    Counter pacing{0};
    // Set by an input that has delivered its last byte (the end of a file), so
    // that the decoder can decide what the end leaves pending.
    Counter input_ended{0};
    JobOutcome outcome;

    // 8. Settings.
    Settings settings;
    Settings dialog_settings;  // last settings-dialog result (WM_USER+134)
    std::string command_line;
    std::string parameter_file;
    std::string program_dir;
    std::string protocol_file = ".\\Protokol.dat";

    // Connection descriptions of the running job (input, outputs), written by
    // the job start before any worker runs; the status page shows them.
    enum Connection { kConnInput = 0, kConnCasterOut, kConnSerialOut, kConnTcpOut, kConnUdpOut, kConnPipeOut,
                      kConnFileOut, kConnCount = 12 };
    std::array<std::string, kConnCount> connections;

    // 9. Shared objects.
    ThreadRegistry registry;
    ThreadRegistry search_registry;  // the sourcetable-search wait thread only
    StatusBoard status_board;
    CharPool input_pool_a{&registry};
    CharPool input_pool_b{&registry};
    CharPool rtcm_encoder_pool{&registry};
    CharPool decoded_text_pool{&registry};
    CharPool position_pool{&registry};
    CharPool encoder_data_pool_a{&registry};
    CharPool encoder_data_pool_b{&registry};
    CharPool rinex_pool{&registry};
    SatFkpStore sat_fkp_store{&registry};
    SocketSet sockets{this};  // listening and shared socket instances of the servers

    // Source pool of an output thread.
    CharPool& SelectOutputPool(int encoder_output_wanted, int rtcm_encoder_wanted, int raw_selector);

    // The station id of the last decoded frame ("%04i"), "----" before the
    // first; the file outputs name their files after it.
    void SetStationId(const std::string& id);
    std::string StationId();

    // Notifications to the view; dropped when no view is attached.
    void Post(uint32_t message);
    void Send(uint32_t message);

private:
    std::mutex display_mutex_;
    std::string display_text_;
    std::mutex now_mutex_;
    NowStrings now_;
    std::mutex station_mutex_;
    std::string station_id_ = "----";
};

}  // namespace zerlan
