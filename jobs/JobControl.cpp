#include "jobs/JobControl.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "config/ParameterFile.h"
#include "core/GeneralStop.h"
#include "jobs/DecoderThread.h"
#include "jobs/JobWords.h"
#include "jobs/OperatorLog.h"
#include "jobs/PipeThreads.h"
#include "jobs/RinexThreads.h"
#include "jobs/RtcmEncoderThread.h"
#include "jobs/SerialThreads.h"
#include "jobs/StreamThreads.h"
#include "jobs/SvFkpThreads.h"
#include "platform/Paths.h"
#include "platform/Console.h"
#include "platform/Sleep.h"
#include "services/StatusThreads.h"
#include "supervision/Protocol.h"
#include "ui/ZerlanView.h"

namespace zerlan {

namespace {
constexpr int kThreadStartPauseMs = 4;
constexpr int kStopMessagePauseMs = 5;
constexpr int kReaderWaitMs = 3000;
constexpr int kNoServerPauseMs = 3000;
constexpr int kNoDecServerPauseMs = 300;

std::string Format(const char* format, const std::string& a) {
    char buffer[1200];
    std::snprintf(buffer, sizeof buffer, format, a.c_str());
    return buffer;
}

std::string Format2(const char* format, const std::string& a, const std::string& b) {
    char buffer[2400];
    std::snprintf(buffer, sizeof buffer, format, a.c_str(), b.c_str());
    return buffer;
}
}  // namespace

JobControl::JobControl(SharedState& state, CZerlanView& view) : state_(state), view_(view) {}

JobControl::~JobControl() {
    if (general_stop_.valid()) general_stop_.wait_for(std::chrono::seconds(5));
}

void JobControl::SetRestartSteps(int wait_steps, int settle_steps, int step_ms) {
    restart_wait_steps_ = wait_steps;
    restart_settle_steps_ = settle_steps;
    restart_step_ms_ = step_ms;
}

std::string JobControl::ProtocolFile() const {
    return state_.settings.protocol_file.empty() ? kDefaultProtocolFile : state_.settings.protocol_file;
}

void JobControl::Launch(const char* start_line, const std::function<bool()>& start, int readers) {
    if (start_line != nullptr) view_.SetLogText(Format(start_line, SharedState::kLineEnd));
    if (readers > 0) state_.outcome.outputs_planned.fetch_add(1);
    if (start()) {
        any_started_ = true;
        expected_readers_ += readers;
    }
    Sleep(kThreadStartPauseMs);
}

void JobControl::WaitForReaders() {
    // The pools reset at this start: their slot counts grow by one per reader.
    CharPool* pools[] = {&state_.input_pool_a,        &state_.input_pool_b,        &state_.decoded_text_pool,
                         &state_.encoder_data_pool_a, &state_.encoder_data_pool_b, &state_.rinex_pool,
                         &state_.rtcm_encoder_pool};
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReaderWaitMs);
    while (std::chrono::steady_clock::now() < end) {
        int readers = 0;
        bool refused = false;
        for (CharPool* pool : pools) {
            const int n = pool->SlotCount();
            if (n < 0) refused = true;
            readers += n < 0 ? 0 : n;
        }
        if (!refused && readers >= expected_readers_) return;
        view_.queue().PumpOne(1);
    }
}

void JobControl::Start() {
    if (state_.registry.GetState() != 2) {
        state_.restart_reason = 0;
        return;
    }
    view_.model().warning_text.clear();
    view_.model().document_title = view_.settings().parameter_file;
    if (state_.restart_reason.load() != 2) state_.settings = view_.settings();
    state_.outcome.Reset();
    if (RefuseBadPorts()) {
        state_.restart_reason = 0;
        restart_pending_ = false;
        return;
    }

    view_.ResetForJob();
    for (auto& text : state_.connections) text.clear();
    state_.input_pool_a.Reset(0);
    state_.input_pool_b.Reset(0);
    state_.decoded_text_pool.Reset(0);
    state_.position_pool.Reset(2);
    state_.encoder_data_pool_a.Reset(0);
    state_.encoder_data_pool_b.Reset(0);
    state_.rinex_pool.Reset(0);
    state_.rtcm_encoder_pool.Reset(0);
    // The outputs choose their source pool by it as they start.
    state_.rtcm_encoder_active = state_.settings.inout_sw.rtcm_encoder_on ? 1 : 0;
    state_.sat_fkp_store.Reset(state_.settings.Field(Key::kHtml, 7));
    state_.status_board.Reset(state_.CaptureNow().Moment());
    view_.SetBarRanges();

    state_.registry.SetState(1, 0);
    state_.view_window.store(&view_.queue());

    any_started_ = false;
    expected_readers_ = 0;
    for (const std::string& line : DescribeJob(state_.settings)) view_.ShowLine(line);
    StartRows();

    if (!any_started_) {
        state_.outcome.NoteFailure("no part of the job could start");
        state_.registry.SetState(0, 2);
    } else {
        ever_started_ = true;
        const int reason = state_.restart_reason.load();
        if (reason == 0 || reason == 2) view_.model().controls_enabled = false;
        view_.model().start_stop_text = "Stop";
        if (!view_.model().warning_text.empty()) MessageBox(view_.model().warning_text, "Warning !!");
    }
    state_.restart_reason = 0;
    restart_pending_ = false;
    // A job without its input (or with a part that must not run) ends at once.
    if (any_started_ && !state_.outcome.Failure().empty()) Stop();
}

bool JobControl::RefuseBadPorts() {
    const std::vector<std::string> problems = PortProblems(view_.settings());
    if (problems.empty()) return false;
    for (const std::string& problem : problems) view_.ShowLine(problem + "; the job does not start");
    state_.outcome.NoteFailure(problems.front());
    return true;
}

namespace {

using LaunchFn = std::function<void(const char*, const std::function<bool()>&)>;

void StartNetworkOutputRows(SharedState& state, const LaunchFn& launch,
                            const std::function<void(const std::string&)>& show, bool tcp_out_conflict) {
    const Settings& s = state.settings;
    auto& conn = state.connections;
    if (s.inout_sw.TcpOut() && s.tcp_out.server_mode && tcp_out_conflict) {
        // Reported in the warning text; the input server keeps its port.
    } else if (s.inout_sw.TcpOut() && s.tcp_out.server_mode) {
        if (OpenTcpOutputListener(state)) {
            conn[SharedState::kConnTcpOut] = Format("SP%s", s.tcp_out.port);
            launch("TCP-Server Thread !%s", [&] { return StartTcpOutputServer(state); });
        } else {
            show("No Tcp-Server-Start !!\r\n");
            const std::string why = "output: TCP server " + EndpointText(s.tcp_out.address, s.tcp_out.port) +
                                    " cannot listen: " + SocketReason(state.sockets.tcp_out_server);
            show(why + "\r\n");
            state.outcome.outputs_planned.fetch_add(1);
            state.outcome.NoteOutputFailure(why);
            Sleep(kNoServerPauseMs);
        }
    } else if (s.inout_sw.TcpOut()) {
        conn[SharedState::kConnTcpOut] = Format2("C%s:%s", s.tcp_out.address, s.tcp_out.port);
        launch("TCP-Client Thread !%s", [&] { return StartTcpOutputClient(state); });
    }
    if (s.inout_sw.UdpOut()) {
        const UdpParams& u = s.udp_out;
        conn[SharedState::kConnUdpOut] = u.server_mode ? Format2("US%s:%s", u.own_address, u.own_port)
                                                       : Format2("UB%s:%s", u.own_address, u.own_port) +
                                                             Format2(" UC%s:%s", u.partner_address, u.partner_port);
        launch("UDP Thread !%s",
               [&] { return u.server_mode ? StartUdpOutputServer(state) : StartUdpOutputClient(state); });
    }
}

void StartNetworkInputRow(SharedState& state, const LaunchFn& launch) {
    const Settings& s = state.settings;
    std::string& conn = state.connections[SharedState::kConnInput];
    if (s.inout_sw.Input() == InputType::kTcp) {
        if (s.tcp_in.server_mode) {
            conn = Format("SP%s", s.tcp_in.port);
            launch("TCP-Server Thread !%s", [&] { return StartTcpInputServer(state); });
        } else {
            conn = Format2("C%s:%s", s.tcp_in.address, s.tcp_in.port);
            launch("TCP-Client Thread !%s", [&] { return StartTcpInputClient(state); });
        }
        return;
    }
    const UdpParams& u = s.udp_in;
    conn = u.server_mode ? Format2("US%s:%s", u.own_address, u.own_port)
                         : Format2("UB%s:%s", u.own_address, u.own_port) +
                               Format2(" UC%s:%s", u.partner_address, u.partner_port);
    launch("UDP Thread !%s",
           [&] { return u.server_mode ? StartUdpInputServer(state) : StartUdpInputClient(state); });
}

void AddNetworkStopHooks(SharedState& state, GeneralStopHooks& hooks) {
    const Settings& s = state.settings;
    if (s.inout_sw.Input() == InputType::kTcp && s.tcp_in.server_mode) {
        hooks.wake_before_loop = [&state, before = std::move(hooks.wake_before_loop)] {
            if (before) before();
            WakeTcpInputServer(state);
        };
    }
    hooks.wake_server = [&state, before = std::move(hooks.wake_server)](int kind) {
        if (before) before(kind);
        if (kind == 1) WakeTcpOutputServer(state);
        if (kind == 2) CloseDecTcpOutputListener(state);
        if (kind == 4) CloseRinexTcpOutputListener(state);
    };
    hooks.close_listeners = [&state, before = std::move(hooks.close_listeners)] {
        if (before) before();
        if (state.tcp_out_server_started.load() != 0) CloseTcpOutputListener(state);
        if (state.dec_tcp_out_server_started.load() != 0) CloseDecTcpOutputListener(state);
        if (state.rinex_tcp_out_server_started.load() != 0) CloseRinexTcpOutputListener(state);
    };
}

// Rows 11 and 12: the HTTP server (unless its port collides with another
// server's) and the HTML file writer.
void StartStatusRows(SharedState& state, const LaunchFn& launch, const std::function<void(const std::string&)>& show,
                     const std::function<int(int)>& check_port_conflicts) {
    const HtmlParams& html = state.settings.html;
    if (html.server_on && check_port_conflicts(3) == 0) {
        if (OpenHttpListener(state)) {
            launch("Http-Server Thread !%s", [&] { return StartHttpServer(state); });
        } else {
            show("No Http-Server-Start !!\r\n");
            Sleep(kNoServerPauseMs);
        }
    }
    if (html.file_on) launch("Html-File Thread !%s", [&] { return StartHtmlCreator(state); });
}

void AddStatusStopHooks(SharedState& state, GeneralStopHooks& hooks) {
    hooks.wake_server = [&state, before = std::move(hooks.wake_server)](int kind) {
        if (before) before(kind);
        if (kind == 3) CloseHttpListener(state);
    };
    hooks.close_listeners = [&state, before = std::move(hooks.close_listeners)] {
        if (before) before();
        if (state.http_server_started.load() != 0) CloseHttpListener(state);
    };
}

}  // namespace

void JobControl::StartRows() {
    const Settings& s = state_.settings;
    auto& conn = state_.connections;
    // A replayed file must not outrun its readers; live inputs never wait.
    // Set before any thread starts: the decoder and encoders read it once.
    state_.pacing = s.inout_sw.Input() == InputType::kFile ? 1 : 0;

    // Every network output row starts one thread that adds one reader.
    const LaunchFn output_launch = [this](const char* line, const std::function<bool()>& start) {
        Launch(line, start, 1);
    };
    const LaunchFn launch = [this](const char* line, const std::function<bool()>& start) { Launch(line, start); };
    if (s.inout_sw.CasterOut()) {
        conn[SharedState::kConnCasterOut] = Format2("%s:%s", s.cast_out.host, s.cast_out.port);
        Launch("Ntrip-Server Thread !%s", [&] { return StartCasterOutput(state_); }, 1);
    }
    if (s.inout_sw.SerialOut()) {
        conn[SharedState::kConnSerialOut] = s.co_out.port;
        Launch("Comport Thread !%s", [&] { return StartSerialOutput(state_); }, 1);
    }
    const bool tcp_out_conflict = s.inout_sw.TcpOut() && s.tcp_out.server_mode && CheckPortConflicts(4) != 0;
    StartNetworkOutputRows(
        state_, output_launch, [this](const std::string& text) { view_.SetLogText(text); }, tcp_out_conflict);
    if (s.inout_sw.PipeOut()) {
        conn[SharedState::kConnPipeOut] = s.pipe_out;
        Launch("Pipe Thread !%s", [&] { return StartPipeOutput(state_); }, 1);
    }

    if (s.inout_sw.FileOut()) {
        conn[SharedState::kConnFileOut] =
            s.file_out.rotation_on ? Format2("%s,%smin", s.file_out.rotation_mode, s.file_out.rotation_interval)
                                   : s.file_out.file_name;
        Launch("File Thread !%s", [&] { return StartFileOutput(state_); }, 1);
    }

    if (s.inout_sw.rtcm_encoder_on) Launch(nullptr, [&] { return StartRtcmEncoderThread(state_); }, 1);

    if (s.inout_sw.RtcmDecoder()) {
        Launch("RtcmDecoder Thread !%s", [&] { return StartDecoderThread(state_); }, 1);
        Launch(nullptr, [&] { return StartSvFkpPoolThread(state_); }, 1);
        if (s.dec_out.pipe_on) {
            Launch("Decoder-PipeOut Thread !%s", [&] { return StartDecPipeOutput(state_); }, 1);
        }
        if (s.dec_out.file_on) {
            Launch("Decoder-FileOut Thread !%s", [&] { return StartDecFileOutput(state_); }, 1);
        }
        if (s.dec_out.tcp_on && CheckPortConflicts(1) == 0) {
            if (OpenDecTcpOutputListener(state_)) {
                Launch("Decoder-TcpOut Thread !%s", [&] { return StartDecTcpOutputServer(state_); }, 1);
            } else {
                view_.SetLogText("No DecOut-Tcp-Server-Start !!\r\n");
                const std::string why = "decoded text: TCP server " + EndpointText("", s.dec_out.tcp_port) +
                                        " cannot listen: " + SocketReason(state_.sockets.decoder_tcp_out_server);
                view_.ShowLine(why);
                state_.outcome.outputs_planned.fetch_add(1);
                state_.outcome.NoteOutputFailure(why);
                Sleep(kNoDecServerPauseMs);
            }
        }
        StartRinexServerRow();
        if (s.dec_out.fkp_watch_on) Launch("Decoder-FkpWatch Thread !%s", [&] { return StartFkpWatchThread(state_); });
        if (s.dec_out.rinex_on) {
            Launch("Decoder-RinexData Thread !%s", [&] { return StartRinexEncoder(state_); }, 1);
        }
    }

    StartStatusRows(
        state_, launch, [this](const std::string& text) { view_.SetLogText(text); },
        [this](int kind) { return CheckPortConflicts(kind); });
    if (s.nmea.on) Launch("Nmea-Create Thread !%s", [&] { return StartNmeaCreator(state_); });

    WaitForReaders();
    state_.input_ended = 0;
    switch (s.inout_sw.Input()) {
        case InputType::kCaster:
            conn[SharedState::kConnInput] = Format2("%s:%s", s.cast_in.host, s.cast_in.port);
            Launch("Ntrip-Radio Thread !%s", [&] { return StartCasterInput(state_); });
            break;
        case InputType::kFile:
            conn[SharedState::kConnInput] = s.file_in;
            Launch("File Thread !%s", [&] { return StartFileInput(state_); });
            break;
        case InputType::kDummy:
            conn[SharedState::kConnInput].clear();
            Launch("Dummy Thread !%s", [&] { return StartDummyInput(state_); });
            break;
        case InputType::kSerial:
            conn[SharedState::kConnInput] = s.co_in.port;
            Launch("Comport Thread !%s", [&] { return StartSerialInput(state_); });
            break;
        case InputType::kPipe:
            conn[SharedState::kConnInput] = s.pipe_in;
            Launch("Pipe Thread !%s", [&] { return StartPipeInput(state_); });
            break;
        case InputType::kTcp:
        case InputType::kUdp:
            StartNetworkInputRow(state_, launch);
            break;
        default:
            view_.SetLogText("Input type " + s.inout_sw.input_type + " is not available in this build\r\n");
            state_.outcome.NoteFailure("input type " + s.inout_sw.input_type + " is not available in this build");
            break;
    }
}

// The RINEX TCP server; its encoder starts after the FKP watch.
void JobControl::StartRinexServerRow() {
    const Settings& s = state_.settings;
    if (!s.dec_out.rinex_on) return;
    if (s.rinex.tcp_on && CheckPortConflicts(2) == 0) {
        if (OpenRinexTcpOutputListener(state_)) {
            Launch("Rinex-Tcp-Out Thread !%s", [&] { return StartRinexTcpOutputServer(state_); }, 1);
        } else {
            view_.SetLogText("No Rinex-Out-Tcp-Server-Start !!\r\n");
            Sleep(kNoDecServerPauseMs);
        }
    }
}

int JobControl::CheckPortConflicts(int kind) {
    const Settings& s = state_.settings;
    const int tcp_in = std::atoi(s.tcp_in.port.c_str());
    const int tcp_out = std::atoi(s.tcp_out.port.c_str());
    const int dec = std::atoi(s.dec_out.tcp_port.c_str());
    const int rinex = std::atoi(s.rinex.tcp_port.c_str());
    const int http = std::atoi(s.html.port.c_str());
    std::string& warning = view_.model().warning_text;
    int found = 0;
    auto add = [&](bool hit, const char* text, bool replace = false) {
        if (!hit) return;
        if (replace) {
            warning = text;
        } else {
            warning += text;
        }
        found = 1;
    };
    switch (kind) {
        case 1:
            add(dec == tcp_in, "RtcmDecoder-TcpOutPort is the same like TcpInPort\n RtcmDecoderTcpOut-Job is stoped !\n",
                true);
            add(dec == tcp_out,
                "RtcmDecoder-TcpOutPort is the same like TcpOutPort\n RtcmDecoderTcpOut-Job is stoped !\n");
            break;
        case 2:
            add(rinex == tcp_in, "\nRinex-TcpOutPort is the same like TcpInPort\n RinexTcpOut-Job is stoped !\n");
            add(rinex == tcp_out, "Rinex-TcpOutPort is the same like TcpOutPort\n RinexTcpOut-Job is stoped !\n");
            add(rinex == dec,
                "Rinex-TcpOutPort is the same like RtcmDecoder-TcpOutPort\n RinexTcpOut-Job is stoped !\n");
            break;
        case 4:
            // Only a TCP input server listens on its port.
            add(tcp_out == tcp_in && s.inout_sw.Input() == InputType::kTcp && s.tcp_in.server_mode &&
                    s.tcp_out.server_mode,
                "\nTcpOutPort is the same like TcpInPort\n TcpOut-Job is stoped !\n");
            break;
        case 3:
            add(http == tcp_in, "\nHttp-TcpOutPort is the same like TcpInPort\n HttpTcpOut-Job is stoped !\n");
            add(http == tcp_out, "Http-TcpOutPort is the same like TcpOutPort\n HttpTcpOut-Job is stoped !\n");
            add(http == dec, "Http-TcpOutPort is the same like RtcmDecoder-TcpOutPort\n HttpTcpOut-Job is stoped !\n");
            add(http == rinex, "Http-TcpOutPort is the same like Rinex-TcpOutPort\n HttpTcpOut-Job is stoped !\n");
            break;
        default:
            break;
    }
    return found;
}

void JobControl::Stop() {
    if (state_.registry.GetState() != 0) return;
    view_.model().start_stop_text = "please wait!";
    state_.registry.SetState(0, 1);

    GeneralStopHooks hooks;
    hooks.write_protocol = [file = ProtocolFile()](const std::string& title, const std::string& text) {
        WriteEventRecord(title, text, file);
    };
    AddNetworkStopHooks(state_, hooks);
    AddStatusStopHooks(state_, hooks);
    hooks.wake_before_loop = [this, before = std::move(hooks.wake_before_loop)] {
        WakePipeOutputs(state_);
        if (before) before();
    };
    general_stop_ = StartGeneralStop(state_, std::move(hooks));
}

void JobControl::OnStopMessage() {
    if (state_.registry.GetState() != 0) return;
    Stop();
    Sleep(kStopMessagePauseMs);
}

void JobControl::OnGeneralStopDone() {
    for (int i = 0; i < 10000; ++i) {
        const int s = state_.registry.GetState();
        if (s == 1 || s == 2) break;
        Sleep(2);
    }
    state_.registry.SetState(0, 2);
    view_.model().start_stop_text = "Start";
    if (!restart_pending_) view_.model().controls_enabled = true;
}

void JobControl::OnRestart() {
    // A restart queued behind the operator's stop must not start a job.
    if (state_.registry.GetState() != 0) return;
    state_.restart_reason = 1;
    restart_pending_ = true;
    Stop();
    view_.queue().Post(msg::kRestartWait);
}

void JobControl::OnRestartCaster() {
    if (state_.registry.GetState() != 0) return;
    state_.restart_reason = 2;
    restart_pending_ = true;
    Stop();
    // The SharedState keeps its settings; only the input becomes the caster.
    for (Settings* settings : {&view_.settings(), &state_.settings}) {
        const std::string raw = settings->Raw(Key::kInoutSw);
        const size_t end = raw.find(';');
        settings->SetRaw(Key::kInoutSw, "CAST" + (end == std::string::npos ? std::string() : raw.substr(end)));
    }
    view_.queue().Post(msg::kRestartWait);
}

void JobControl::OnRestartWait() {
    for (int i = 0; i < restart_wait_steps_ && state_.registry.GetState() != 2; ++i) {
        view_.PumpFor(restart_step_ms_);
    }
    if (state_.registry.GetState() != 2) {
        // Giving up would leave the relay stopped without a word: say so
        // once and wait again from the view's own loop.
        if (!restart_overdue_) {
            WriteEventRecord("Restart", "failure, job not idle after the restart wait", ProtocolFile());
            restart_overdue_ = true;
        }
        view_.queue().Post(msg::kRestartWait);
        return;
    }
    restart_overdue_ = false;
    for (int i = 0; i < restart_settle_steps_; ++i) view_.PumpFor(restart_step_ms_);
    Start();
    restart_pending_ = false;
}

void JobControl::Reload() {
    Settings reloaded = view_.settings();
    const std::string file = state_.parameter_file.empty() ? reloaded.parameter_file : state_.parameter_file;
    LoadReport report;
    if (LoadFile(reloaded, MapPath(file), &report) != 0) {
        // The settings of the running job are still whole; keep them.
        view_.ShowLine("reload failed: " + report.problem + "; the running job goes on");
        return;
    }
    for (const std::string& warning : report.warnings) view_.ShowLine(warning);
    view_.ShowLine("reloaded " + MapPath(file) + "; the job restarts");
    view_.settings() = reloaded;
    if (state_.registry.GetState() == 0) {
        OnRestart();
    } else if (state_.registry.GetState() == 2) {
        Start();
    }
}

void JobControl::CheckFullHour() {
    NowStrings now = state_.CaptureNow();
    std::string moment = now.Moment();
    if (moment != last_moment_) {
        view_.model().time_text = moment;
        last_moment_ = moment;
    }
    if (std::string(now.minute) == "00" && std::string(now.second) == "00") {
        const char* title = std::string(now.hour) == "00" ? "ND new_day" : "FH full_hour";
        WriteEventRecord(title, "no_failure, read_time " + moment, ProtocolFile());
        Sleep(full_hour_pause_ms_);
    }
}

}  // namespace zerlan
