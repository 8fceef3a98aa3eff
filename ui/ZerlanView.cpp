#include "ui/ZerlanView.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/DisplayLog.h"
#include "core/GlobalSeconds.h"
#include "jobs/JobControl.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Process.h"
#include "platform/Sleep.h"

namespace zerlan {

namespace {
constexpr int kClockPeriodMs = 400;
constexpr int kQuitWaitMs = 10000;

int ClampBar(const std::string& text) { return std::clamp(std::atoi(text.c_str()), 10, 500); }
}  // namespace

CZerlanView::CZerlanView(SharedState& state, Renderer& renderer)
    : state_(state), renderer_(renderer), jobs_(std::make_unique<JobControl>(state, *this)) {}

CZerlanView::~CZerlanView() { Close(); }

void CZerlanView::Open() {
    queue_.Attach([this](const Message& m) { Handle(m); });
    state_.view_window.store(&queue_);
    // The start-up thread waits for the end of initialisation, then tells
    // the view once that the program is ready.
    startup_thread_ = std::thread([this] {
        while (state_.program_ready.load() == 0 && closing_.load() == 0) Sleep(5);
        if (closing_.load() == 0) queue_.Post(msg::kReady);
    });
    clock_thread_ = std::thread([this] {
        while (closing_.load() == 0) {
            for (int waited = 0; waited < kClockPeriodMs && closing_.load() == 0; waited += 100) Sleep(100);
            if (closing_.load() == 0) queue_.Post(msg::kClock);
        }
    });
}

void CZerlanView::Close() {
    closing_.store(1);
    if (startup_thread_.joinable()) startup_thread_.join();
    if (clock_thread_.joinable()) clock_thread_.join();
    if (state_.view_window.load() == &queue_) state_.view_window.store(nullptr);
    queue_.Close();
}

int CZerlanView::Run() {
    while (true) {
        queue_.PumpOne(50);
        if (reload_requested_.exchange(0) != 0) jobs_->Reload();
        if (quit_requested_.load() != 0) {
            jobs_->Stop();
            const int64_t start = Clock::Get().MonotonicMs();
            while (state_.registry.GetState() != 2 && Clock::Get().MonotonicMs() - start < kQuitWaitMs) {
                queue_.PumpOne(20);
            }
            exit_reason_ = state_.registry.GetState() == 2 ? "stopped by a signal"
                                                           : "stopped by a signal; some threads did not end in time";
            return 0;
        }
        // Nothing is left to feed: a job whose outputs all gave up ends.
        if (state_.registry.GetState() == 0 && state_.outcome.EveryOutputFailed()) {
            state_.outcome.NoteFailure("every output failed; the first: " + state_.outcome.OutputFailure());
            jobs_->Stop();
        }
        if (state_.registry.GetState() == 2 && (jobs_->EverStarted() || !state_.outcome.Failure().empty()) &&
            !jobs_->RestartPending() && queue_.Pending() == 0) {
            return JobEndStatus();
        }
    }
}

int CZerlanView::JobEndStatus() {
    JobOutcome& outcome = state_.outcome;
    if (const std::string failure = outcome.Failure(); !failure.empty()) {
        exit_reason_ = failure;
        return 1;
    }
    if (outcome.input_ended.load() != 0) {
        if (const std::string failed = outcome.OutputFailure(); !failed.empty()) {
            exit_reason_ = "the input ended, but an output failed: " + failed;
            return 1;
        }
        exit_reason_ = "the input ended and every output was written";
        return 0;
    }
    exit_reason_ = "the job ended by itself";
    return 1;
}

void CZerlanView::PumpFor(int ms) {
    // Real time on purpose: a pump must end even while tests freeze the clock.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        queue_.PumpOne(static_cast<int>(std::max<int64_t>(1, left.count())));
    }
}

void CZerlanView::SetLogText(const std::string& text) {
    model_.log = text.substr(0, kDisplayLogLimit);
    renderer_.LogAppended(model_.log, false);
}

void CZerlanView::ShowLine(const std::string& text) {
    renderer_.LogAppended(AppendDisplayText(model_.log, text + "\r\n"), false);
}

void CZerlanView::SetBarRanges() {
    model_.input_bar_max = ClampBar(settings_.maz.input_limit);
    model_.output_bar_max = ClampBar(settings_.maz.output_limit);
}

void CZerlanView::ResetForJob() {
    for (auto& f : model_.decoder_fields) f.clear();
    model_.status_text.clear();
    for (auto& line : model_.decoder_lines) line.clear();
    model_.decoder_lines[0] = "0000";
    for (std::string* f : {&model_.gps_fkp_count, &model_.glo_fkp_count, &model_.gps_sat_list, &model_.glo_sat_list})
        f->clear();
    state_.input_bar_count = 0;
    state_.input_total = 0;
    state_.pool_total = 0;
    state_.pool_total_shown = 0;
    state_.input_rate = 0;
    for (auto& c : state_.output_bar) c = 0;
    for (auto& c : state_.output_rate) c = 0;
    state_.decoder_total = 0;
    state_.decoder_frames = 0;
    model_.input_bar = 0;
    model_.output_bars.fill(0);
    model_.numbers.clear();
    state_.registry.Reset();
    renderer_.Refresh(model_);
}

void CZerlanView::ShowNumber(uint32_t id, int32_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
    model_.numbers[id] = text;
}

void CZerlanView::OnReady() {
    settings_ = state_.settings;
    // Starting the socket layer is a no-op on this platform (version 2.2 granted).
    SetBarRanges();
    model_.input_type = settings_.inout_sw.input_type;
    jobs_->CheckFullHour();
    // Without a button to press, the headless view always starts the job.
    if (!start_only_with_auto_start_ || settings_.inout_sw.auto_start) jobs_->Start();
}

void CZerlanView::OnDisplayText(const Message& message) {
    const std::string& text = message.has_text ? message.text : state_.DisplayText();
    std::string appended = AppendDisplayText(model_.log, text);
    renderer_.LogAppended(appended, (message.flags & kMessageReceivedData) != 0);
}

void CZerlanView::OnDecoderFields() {
    static constexpr int kSlots[] = {0, 1, 2, 3, 5, 6, 7};
    for (int slot : kSlots) {
        std::string text;
        if (state_.status_board.GetText(text, slot) < 0) continue;  // refused: keep what is shown
        if (slot == 3 && text.empty()) {
            GlobalSeconds gs;
            gs.FromSeconds(gs.NowSeconds());
            char week[16];
            std::snprintf(week, sizeof week, "%4i", gs.gps_week);
            text = week;
        }
        model_.decoder_fields[slot] = text;
    }
    renderer_.Refresh(model_);
}

void CZerlanView::OnStatusSlot10() {
    std::string text;
    for (int tries = 0; tries < 1000 && state_.status_board.GetText(text, 10) < 0; ++tries) Sleep(1);
    model_.status_text = text;
    renderer_.Refresh(model_);
}

void CZerlanView::OnSatelliteState(uint32_t id) {
    const bool fkp = id == msg::kGpsFkpCount || id == msg::kGloFkpCount;
    const int system = id == msg::kGpsFkpCount || id == msg::kGpsSatList ? 0 : 1;
    // A reader given up at a stop leaves the marker: keep what is shown.
    std::vector<int32_t> numbers{-1};
    SatFkpStore& store = state_.sat_fkp_store;
    if (fkp) {
        store.DisplayFkp(system, numbers);
    } else {
        store.DisplaySatellites(system, numbers);
    }
    if (numbers.size() == 1 && numbers[0] == -1) return;
    // The fields hold the values (the terminal view labels them); the log
    // line names them.
    std::string value = std::to_string(numbers.size());
    if (!fkp && !numbers.empty()) {
        value += ":";
        for (int32_t n : numbers) value += " " + std::to_string(n);
    }
    std::string& field = fkp ? (system == 0 ? model_.gps_fkp_count : model_.glo_fkp_count)
                             : (system == 0 ? model_.gps_sat_list : model_.glo_sat_list);
    // The watch reports every few seconds; the log only hears of changes.
    if (value == field) return;
    field = value;
    const std::string label = std::string(system == 0 ? "Gps-" : "Glo-") + (fkp ? "Fkp " : "Sat ");
    renderer_.LogAppended(AppendDisplayText(model_.log, label + value + "\r\n"), false);
    renderer_.Refresh(model_);
}

void CZerlanView::Handle(const Message& message) {
    switch (message.id) {
        case msg::kReady: OnReady(); break;
        case msg::kGeneralStopDone: jobs_->OnGeneralStopDone(); break;
        case msg::kDisplayText: OnDisplayText(message); break;
        case msg::kClock:
            ReapChildren();
            jobs_->CheckFullHour();
            break;
        case msg::kInputBar: model_.input_bar = state_.input_bar_count.load(); break;
        case msg::kAllOutputBars:
            model_.output_bars[kBarCaster] = state_.output_bar[static_cast<int>(OutputKind::kCaster)].load();
            model_.output_bars[kBarTcpClient] = state_.output_bar[static_cast<int>(OutputKind::kTcp)].load();
            model_.output_bars[kBarSerial] = state_.output_bar[static_cast<int>(OutputKind::kSerial)].load();
            model_.output_bars[kBarUdp] = state_.output_bar[static_cast<int>(OutputKind::kUdp)].load();
            model_.output_bars[kBarPipe] = state_.output_bar[static_cast<int>(OutputKind::kPipe)].load();
            model_.output_bars[kBar1019] = state_.output_bar[static_cast<int>(OutputKind::kFile)].load();
            break;
        case msg::kCasterOutBar:
            model_.output_bars[kBarCaster] = state_.output_bar[static_cast<int>(OutputKind::kCaster)].load();
            break;
        case msg::kSerialOutBar:
            model_.output_bars[kBarSerial] = state_.output_bar[static_cast<int>(OutputKind::kSerial)].load();
            break;
        case msg::kTcpClientOutBar:
            model_.output_bars[kBarTcpClient] = state_.output_bar[static_cast<int>(OutputKind::kTcp)].load();
            break;
        case msg::kUdpOutBar:
            model_.output_bars[kBarUdp] = state_.output_bar[static_cast<int>(OutputKind::kUdp)].load();
            break;
        case msg::kPipeOutBar:
            model_.output_bars[kBarPipe] = state_.output_bar[static_cast<int>(OutputKind::kPipe)].load();
            break;
        case msg::kBar1019:
            model_.output_bars[kBar1019] = state_.output_bar[static_cast<int>(OutputKind::kFile)].load();
            break;
        case msg::kStopJob: jobs_->OnStopMessage(); break;
        case msg::kCasterOutRate: ShowNumber(message.id, state_.output_rate[static_cast<int>(OutputKind::kCaster)]); break;
        case msg::kSerialOutRate: ShowNumber(message.id, state_.output_rate[static_cast<int>(OutputKind::kSerial)]); break;
        case msg::kTcpOutRate:
            ShowNumber(message.id, state_.output_rate[static_cast<int>(OutputKind::kTcp)].exchange(0));
            break;
        case msg::kUdpOutRate: ShowNumber(message.id, state_.output_rate[static_cast<int>(OutputKind::kUdp)]); break;
        case msg::kPipeOutRate: ShowNumber(message.id, state_.output_rate[static_cast<int>(OutputKind::kPipe)]); break;
        case msg::kFileOutRate: ShowNumber(message.id, state_.output_rate[static_cast<int>(OutputKind::kFile)]); break;
        case msg::kInputRate: ShowNumber(message.id, state_.input_rate.load()); break;
        case msg::kPoolTotal: ShowNumber(message.id, state_.pool_total_shown.load()); break;
        case msg::kSettingsToShared: state_.settings = settings_; break;
        case msg::kDialogSettingsToView:
            settings_ = state_.dialog_settings;
            if (state_.registry.GetState() != 2) {
                MessageBox("First stop the current Job for new settings !", "No action !");
            }
            break;
        case msg::kDecoderFields: OnDecoderFields(); break;
        case msg::kStatusSlot10: OnStatusSlot10(); break;
        case msg::kClearDecoderFields:
            for (auto& f : model_.decoder_fields) f.clear();
            break;
        case msg::kGpsFkpCount:
        case msg::kGloFkpCount:
        case msg::kGpsSatList:
        case msg::kGloSatList: OnSatelliteState(message.id); break;
        case msg::kRestart: jobs_->OnRestart(); break;
        case msg::kRestartWait: jobs_->OnRestartWait(); break;
        case msg::kRestartCaster: jobs_->OnRestartCaster(); break;
        default: break;  // reserved numbers
    }
}

}  // namespace zerlan
