#include "ui/TerminalSession.h"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <vector>

#include "config/ParameterFile.h"
#include "core/Messages.h"
#include "core/Worker.h"
#include "jobs/JobControl.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Sleep.h"

namespace zerlan {

namespace {

constexpr int kRedrawMs = 250;
constexpr int kProtocolPollMs = 500;
constexpr int kQuitWaitMs = 10000;
constexpr int kSearchEndWaitMs = 3000;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// The stored network fields carry 0xAF for "/".
std::string Slashes(std::string s) {
    for (char& c : s)
        if (static_cast<unsigned char>(c) == 0xAF) c = '/';
    return s;
}

void SetMountpoint(Settings& settings, const std::string& mountpoint) {
    std::string raw = settings.Raw(Key::kCastIn);
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t semi; (semi = raw.find(';', start)) != std::string::npos; start = semi + 1) {
        fields.push_back(raw.substr(start, semi - start));
    }
    fields.push_back(raw.substr(start));
    if (fields.size() < 3) fields.resize(3);
    fields[2] = mountpoint;
    std::string joined;
    for (size_t i = 0; i < fields.size(); ++i) joined += (i ? ";" : "") + fields[i];
    settings.SetRaw(Key::kCastIn, joined);
}

}  // namespace

struct TerminalSession::Search {
    std::mutex mutex;
    bool done = false;
    std::vector<SourcetableEntry> entries;
    std::string message;
};

std::string ChooseEditor(const std::string& np_setting) {
    const std::string np = MapPath(np_setting);
    if (ProgramExists(np)) return np;
    for (const char* name : {"VISUAL", "EDITOR"}) {
        const std::string e = Env(name);
        if (!e.empty()) return e;
    }
    return "vi";
}

TerminalSession::TerminalSession(CZerlanView& view, TerminalRenderer& renderer, TerminalScreen& screen)
    : view_(view), renderer_(renderer), screen_(screen) {}

TerminalSession::~TerminalSession() { StopSearchThreads(); }

int TerminalSession::Run() {
    while (Step(50)) {
    }
    view_.jobs().Stop();
    const int64_t start = Clock::Get().MonotonicMs();
    while (view_.state().registry.GetState() != 2 && Clock::Get().MonotonicMs() - start < kQuitWaitMs) {
        view_.queue().PumpOne(20);
    }
    StopSearchThreads();
    return 0;
}

bool TerminalSession::Step(int wait_ms) {
    view_.queue().PumpOne(wait_ms);
    if (reload_.exchange(0) != 0) view_.jobs().Reload();
    for (int key; (key = screen_.ReadKey(0)) != kKeyNone;) HandleKey(key);
    TakeSearchResult();
    const int64_t now = Clock::Get().MonotonicMs();
    if (now - last_protocol_ms_ >= kProtocolPollMs) {
        last_protocol_ms_ = now;
        FollowProtocol();
    }
    if (renderer_.TakeDirty() || now - last_draw_ms_ >= kRedrawMs) {
        last_draw_ms_ = now;
        Draw();
    }
    return quit_.load() == 0;
}

void TerminalSession::Draw() {
    // A restart on the caster input changes the input without a ready message.
    view_.model().input_type = view_.state().settings.inout_sw.input_type;
    renderer_.Draw(screen_, view_.model(), JobStateText(view_.state().registry.GetState()), chooser_);
}

void TerminalSession::HandleKey(int key) {
    if (key == kKeyResize) {
        Draw();
        return;
    }
    if (renderer_.DialogOpen()) {
        renderer_.DismissDialog();
        return;
    }
    if (chooser_.IsOpen()) {
        ChooserKey(key);
        return;
    }
    ThreadRegistry& registry = view_.state().registry;
    switch (key) {
        case 's':
            if (registry.GetState() == 2) {
                renderer_.Note("start of the job (key s)");
                view_.jobs().Start();
            } else if (registry.GetState() == 0) {
                renderer_.Note("stop of the job (key s)");
                view_.jobs().Stop();
            }
            break;
        case 'r':
            renderer_.Note("restart of the job (key r)");
            if (registry.GetState() == 2) {
                view_.jobs().Start();
            } else {
                view_.queue().Post(msg::kRestart);
            }
            break;
        case 'l':
            renderer_.Note("reload of " + ParameterFile() + " (key l)");
            view_.jobs().Reload();
            break;
        case 'e': Edit(); break;
        case 'w': Save(); break;
        case 'p': ShowProtocol(); break;
        case 'm': OpenChooser(); break;
        case 'q': RequestQuit(); break;
        case kKeyPageUp: renderer_.Scroll(10); break;
        case kKeyPageDown: renderer_.Scroll(-10); break;
        default: break;
    }
    Draw();
}

std::string TerminalSession::ParameterFile() const {
    const std::string& name = view_.state().parameter_file;
    return MapPath(name.empty() ? "morvik.par" : name);
}

void TerminalSession::Edit() {
    const std::string editor = ChooseEditor(view_.settings().editor);
    const std::string file = ParameterFile();
    screen_.Suspend();
    // Through the shell: $EDITOR often carries options ("emacs -nw").
    const int status = RunAndWait("/bin/sh", {"-c", editor + " \"$1\"", "sh", file});
    screen_.Resume();
    if (status != 0) {
        renderer_.Note("the editor " + editor + " ended with status " + std::to_string(status) + "; no reload");
        return;
    }
    renderer_.Note("edited " + file + " with " + editor + "; reload");
    view_.jobs().Reload();
}

void TerminalSession::Save() {
    const std::string file = ParameterFile();
    if (SaveFile(view_.settings(), file) == 0) {
        renderer_.Note("settings saved to " + file);
    } else {
        renderer_.Note("settings could not be saved to " + file);
    }
}

void TerminalSession::ShowProtocol() {
    const std::string file = MapPath(view_.state().protocol_file);
    std::string pager = Env("PAGER");
    if (pager.empty()) pager = ProgramExists("less") ? "less" : "more";
    screen_.Suspend();
    const int status = RunAndWait("/bin/sh", {"-c", pager + " \"$1\"", "sh", file});
    screen_.Resume();
    if (status != 0) renderer_.Note("the pager " + pager + " ended with status " + std::to_string(status));
}

// New records of the protocol file since the view opened.
void TerminalSession::FollowProtocol() {
    const std::string file = MapPath(view_.state().protocol_file);
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in) return;
    const int64_t size = static_cast<int64_t>(in.tellg());
    if (protocol_offset_ < 0 || size < protocol_offset_) {
        protocol_offset_ = size;  // new view, or the file was started again
        return;
    }
    if (size == protocol_offset_) return;
    std::string text(static_cast<size_t>(size - protocol_offset_), '\0');
    in.seekg(protocol_offset_);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    // Only whole records; a line still being written waits for its end.
    const size_t end = text.rfind('\n');
    if (end == std::string::npos) return;
    renderer_.AddRecords(text.substr(0, end + 1));
    protocol_offset_ += static_cast<int64_t>(end + 1);
}

void TerminalSession::OpenChooser() {
    SharedState& state = view_.state();
    ThreadRegistry& search = state.search_registry;
    if (search.Query(1) > 0) {
        renderer_.Note("the last sourcetable search is still ending; try again in a moment");
        return;
    }
    const CasterParams& caster = view_.settings().cast_in;
    const std::string host = Slashes(caster.host);
    const std::string port = caster.port.empty() ? kSourcetablePort : caster.port;
    chooser_.Open(host + ":" + port);
    search_ = std::make_shared<Search>();
    state.mountpoint_chosen = 0;
    search.SetState(1, 0);
    const ProxySetting proxy = CasterInputProxy(view_.settings());
    std::shared_ptr<Search> result = search_;
    StartWorker(search, 0, "Sourcetable-Search-TH", [result, host, port, proxy](WorkerScope&) {
        std::string table, detail;
        const FetchResult r = FetchSourcetable(host, port, proxy, &table, &detail);
        std::lock_guard<std::mutex> lock(result->mutex);
        if (r == FetchResult::kTable) {
            result->entries = ParseSourcetable(table);
            result->message = std::to_string(result->entries.size()) + " entries";
        } else {
            result->message = "no sourcetable from " + host + ":" + port + ": " + detail;
        }
        result->done = true;
    });
    // The wait thread: the choice restarts the job on the caster input.
    StartWorker(search, 0, "Sourcetable-Wait-TH", [&state](WorkerScope& worker) {
        while (true) {
            // Read before the flag: the choice is set before the stop, so a
            // stop seen here never hides a choice made just before it.
            const bool stopping = worker.StopRequested();
            if (state.mountpoint_chosen.exchange(0) != 0) {
                if (MessageQueue* view = state.view_window.load()) view->Post(msg::kRestartCaster);
                return;
            }
            if (stopping) return;
            Sleep(5);
        }
    });
}

void TerminalSession::TakeSearchResult() {
    if (!search_ || !chooser_.IsOpen()) return;
    std::lock_guard<std::mutex> lock(search_->mutex);
    if (!search_->done) return;
    chooser_.SetEntries(std::move(search_->entries), search_->message);
    search_->done = false;
    renderer_.Refresh(view_.model());
}

void TerminalSession::ChooserKey(int key) {
    if (key == kKeyEscape) {
        CloseChooser();
    } else if (key == kKeyEnter) {
        const SourcetableEntry* chosen = chooser_.Selected();
        if (chosen == nullptr) return;
        const std::string mountpoint = chosen->mountpoint;
        SetMountpoint(view_.settings(), mountpoint);
        SetMountpoint(view_.state().settings, mountpoint);
        renderer_.Note("mountpoint " + mountpoint + " of " + chooser_.caster() + " chosen; restart on the caster input");
        view_.state().mountpoint_chosen = 1;
        chooser_.Close();
        // The wait thread posts the restart and ends; the fetch thread ends
        // with the stop of the search registry.
        view_.state().search_registry.SetState(0, 1);
    } else {
        chooser_.Key(key);
    }
    Draw();
}

void TerminalSession::CloseChooser() {
    chooser_.Close();
    view_.state().search_registry.SetState(0, 1);
}

void TerminalSession::StopSearchThreads() {
    ThreadRegistry& search = view_.state().search_registry;
    search.SetState(0, 1);
    const int64_t start = Clock::Get().MonotonicMs();
    while (search.Query(1) > 0 && Clock::Get().MonotonicMs() - start < kSearchEndWaitMs) Sleep(5);
}

}  // namespace zerlan
