// What the status page shows, read from the shared state, and Html-Creator-TH.
#include "services/StatusThreads.h"

#include <cstdio>
#include <cstdlib>

#include "core/GlobalSeconds.h"
#include "core/Worker.h"
#include "platform/Paths.h"
#include "platform/Sleep.h"
#include "supervision/CharWatch.h"

namespace zerlan {

namespace {

constexpr int kSlotStation = 0;
constexpr int kSlotGpsWeek = 3;
constexpr int kSlotFrames = 6;
constexpr int kSlotServerStatus = 20;  // the four-field server status line
constexpr const char* kDefaultHtmlFile = ".\\index.html";

// The board refuses only while a writer is inside; a page may show an empty
// cell rather than wait long.
std::string BoardText(StatusBoard& board, int slot) {
    std::string text;
    for (int tries = 0; tries < 100 && board.GetText(text, slot) < 0; ++tries) Sleep(1);
    return text;
}

std::string Joined(const char* format, const std::string& a, const std::string& b = std::string()) {
    char text[2200];
    std::snprintf(text, sizeof text, format, a.c_str(), b.c_str());
    return text;
}

// The input's description as the job start writes it. Recomputed here: the
// job start writes it only after the status threads are running.
std::string InputDescription(const Settings& s) {
    switch (s.inout_sw.Input()) {
        case InputType::kCaster: return Joined("%s:%s", s.cast_in.host, s.cast_in.port);
        case InputType::kSerial: return s.co_in.port;
        case InputType::kTcp:
            return s.tcp_in.server_mode ? Joined("SP%s", s.tcp_in.port)
                                        : Joined("C%s:%s", s.tcp_in.address, s.tcp_in.port);
        case InputType::kUdp: {
            const UdpParams& u = s.udp_in;
            return u.server_mode ? Joined("US%s:%s", u.own_address, u.own_port)
                                 : Joined("UB%s:%s", u.own_address, u.own_port) +
                                       Joined(" UC%s:%s", u.partner_address, u.partner_port);
        }
        case InputType::kPipe: return s.pipe_in;
        case InputType::kFile: return s.file_in;
        default: return std::string();
    }
}

std::string LastAdjustment(const std::string& summary) {
    static constexpr std::string_view kLead = "last Adjustment: ";
    if (summary.rfind(kLead, 0) != 0) return "----";
    return summary.substr(kLead.size(), summary.find('\n') - kLead.size());
}

void HtmlCreatorThread(SharedState& state, WorkerScope& worker) {
    const HtmlParams& html = state.settings.html;
    const int interval = std::atoi(html.refresh_s.c_str());
    CharWatch timer(interval);
    StatusPage page;
    const std::string path = MapPath(html.file_name.empty() ? kDefaultHtmlFile : html.file_name);
    while (!worker.StopRequested()) {
        // An interval of 0 never fires.
        if (interval > 0 && timer.IntervalElapsed()) {
            // Written aside and renamed, so that a web server serving the
            // file never hands out half a page. A file that cannot be written
            // now is tried again at the next interval.
            const std::string aside = path + ".tmp";
            if (std::FILE* file = std::fopen(aside.c_str(), "wb")) {
                const StatusFacts facts = CollectStatus(state);
                page.BuildHead(facts);
                page.BuildBody(facts, 0);
                bool written = std::fwrite(page.Head().data(), 1, page.Head().size(), file) == page.Head().size();
                written = std::fwrite(page.Body().data(), 1, page.Body().size(), file) == page.Body().size() && written;
                written = std::fclose(file) == 0 && written;
                if (!written || std::rename(aside.c_str(), path.c_str()) != 0) std::remove(aside.c_str());
            }
        }
        // The interval counts seconds; a pass every 100 ms keeps an idle job asleep.
        Sleep(100);
    }
}

}  // namespace

StatusFacts CollectStatus(SharedState& state) {
    const Settings& s = state.settings;
    StatusFacts f;
    f.refresh_text = s.html.refresh_s;
    f.refresh_s = static_cast<int32_t>(std::atol(s.html.refresh_s.c_str()));
    f.last_adjustment = LastAdjustment(s.load_summary);
    const NowStrings now = state.CaptureNow();
    char moment[700];
    std::snprintf(moment, sizeof moment, "%s.%s.%s %s:%s:%s", now.day, now.month, now.year, now.hour, now.minute,
                  now.second);
    f.now_text = moment;
    f.addresses = LocalAddresses();
    f.input_time_unit = static_cast<int32_t>(std::atol(s.seb.input_s.c_str()));
    f.output_time_unit = static_cast<int32_t>(std::atol(s.seb.output_s.c_str()));
    f.project = s.parameter_file;

    f.input_type = s.inout_sw.input_type;
    f.input_address = InputDescription(s);
    f.input_rate = state.input_rate.load();
    f.input_bytes = state.input_bytes.load();
    static constexpr const char* kKeys[] = {"caster", "serial", "tcp", "udp", "pipe", "file"};
    static constexpr const char* kWords[] = {"CAST", "COMP", "TCP", "UDP", "PIPE", "FILE"};
    const bool on[] = {s.inout_sw.CasterOut(), s.inout_sw.SerialOut(), s.inout_sw.TcpOut(),
                       s.inout_sw.UdpOut(),    s.inout_sw.PipeOut(),   s.inout_sw.FileOut()};
    for (size_t i = 0; i < f.outputs.size(); ++i) {
        StatusFacts::Output& o = f.outputs[i];
        o.key = kKeys[i];
        o.word = kWords[i];
        o.on = on[i];
        // Output descriptions are written before the status threads start.
        o.address = state.connections[SharedState::kConnCasterOut + i];
        o.rate = state.output_rate[i].load();
        o.bytes = state.output_bytes[i].load();
    }
    f.decoder_on = s.inout_sw.RtcmDecoder();
    f.decoder_version = s.inout_sw.decoder_version;
    f.rtcm_encoder_on = s.inout_sw.rtcm_encoder_on;
    f.rinex_on = f.decoder_on && s.dec_out.rinex_on;
    f.status_line = BoardText(state.status_board, kSlotServerStatus);
    f.tcp_out_threads = state.registry.Query(3);
    f.decoder_tcp_threads = state.registry.Query(4);
    f.rinex_tcp_threads = state.registry.Query(9);
    f.udp_clients = state.sockets.udp_clients.load();
    f.http_connections = state.http_connections.load();

    f.station = state.StationId();
    if (f.station.empty()) f.station = BoardText(state.status_board, kSlotStation);
    f.gps_week = BoardText(state.status_board, kSlotGpsWeek);
    if (f.gps_week.empty()) {
        GlobalSeconds gs;
        gs.FromSeconds(gs.NowSeconds());
        f.gps_week = std::to_string(gs.gps_week);
    }
    f.message_count = BoardText(state.status_board, kSlotFrames);
    if (f.message_count.empty()) f.message_count = "0";
    for (int system = 0; system < 2; ++system) {
        state.sat_fkp_store.DisplaySatellites(system, f.satellites[static_cast<size_t>(system)]);
        state.sat_fkp_store.DisplayFkp(system, f.fkp[static_cast<size_t>(system)]);
        std::vector<SatFkpStore::MessageRecord> records;
        state.sat_fkp_store.MessageRecords(system, records);
        for (const auto& r : records) f.messages.push_back({r.type, system, r.time_text, r.interval});
    }
    f.page_types = s.html.items;
    return f;
}

bool StartHtmlCreator(SharedState& state) {
    return StartWorker(state.registry, 0, "Html-Creator-TH",
                       [&state](WorkerScope& w) { HtmlCreatorThread(state, w); }) >= 0;
}

}  // namespace zerlan
