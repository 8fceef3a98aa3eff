#include "ui/TerminalView.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "core/Messages.h"

namespace zerlan {

namespace {

constexpr int kMinRows = 24;
constexpr int kMinCols = 80;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "[#####     ]" for value of max in `width` cells.
std::string Bar(int value, int max, int width) {
    max = std::max(max, 1);
    const int filled = std::clamp(value * width / max, 0, width);
    return "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(width - filled), ' ') +
           "]";
}

std::string Number(const ViewModel& model, uint32_t id) {
    auto it = model.numbers.find(id);
    return it == model.numbers.end() ? "0" : it->second;
}

// Splits text at line ends, dropping CR.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

std::string Fit(const std::string& text, int width) {
    return text.size() > static_cast<size_t>(std::max(width, 0)) ? text.substr(0, static_cast<size_t>(width)) : text;
}

}  // namespace

const char* JobStateText(int registry_state) {
    switch (registry_state) {
        case 0: return "running";
        case 1: return "stopping";
        default: return "stopped";
    }
}

void MountpointChooser::SetEntries(std::vector<SourcetableEntry> entries, const std::string& message) {
    entries_ = std::move(entries);
    message_ = message;
    selected_ = 0;
}

std::vector<const SourcetableEntry*> MountpointChooser::Visible() const {
    std::vector<const SourcetableEntry*> out;
    const std::string f = Lower(filter_);
    for (const auto& e : entries_) {
        if (f.empty() || Lower(FormatEntry(e)).find(f) != std::string::npos) out.push_back(&e);
    }
    return out;
}

const SourcetableEntry* MountpointChooser::Selected() const {
    const auto v = Visible();
    if (v.empty()) return nullptr;
    return v[static_cast<size_t>(std::clamp(selected_, 0, static_cast<int>(v.size()) - 1))];
}

bool MountpointChooser::Key(int key) {
    const int count = static_cast<int>(Visible().size());
    if (key == kKeyUp) {
        selected_ = std::max(0, selected_ - 1);
    } else if (key == kKeyDown) {
        selected_ = std::min(std::max(count - 1, 0), selected_ + 1);
    } else if (key == kKeyBackspace) {
        if (!filter_.empty()) filter_.pop_back();
        selected_ = 0;
    } else if (key >= 32 && key < 127) {
        filter_ += static_cast<char>(key);
        selected_ = 0;
    } else {
        return false;
    }
    return true;
}

void TerminalRenderer::LogAppended(const std::string& appended, bool received_data) {
    if (received_data && !show_received_) return;
    const std::string text = partial_ + TerminalText(appended, received_data);
    partial_.clear();
    const bool open_end = !text.empty() && text.back() != '\n';
    std::vector<std::string> lines = Lines(text);
    if (open_end && !lines.empty()) {
        partial_ = lines.back();
        lines.pop_back();
    }
    for (auto& l : lines) {
        log_.push_back(std::move(l));
        if (log_.size() > kLogLines) log_.pop_front();
    }
    dirty_ = true;
}

void TerminalRenderer::PushDialog(const std::string& title, const std::string& text) {
    std::lock_guard<std::mutex> lock(dialog_mutex_);
    dialogs_.emplace_back(title, text);
    dirty_ = true;
}

bool TerminalRenderer::DialogOpen() {
    std::lock_guard<std::mutex> lock(dialog_mutex_);
    return !dialogs_.empty();
}

void TerminalRenderer::DismissDialog() {
    std::lock_guard<std::mutex> lock(dialog_mutex_);
    if (!dialogs_.empty()) dialogs_.pop_front();
    dirty_ = true;
}

void TerminalRenderer::AddRecords(const std::string& text) {
    for (auto& l : Lines(TerminalText(text, false))) {
        records_.push_back(std::move(l));
        if (records_.size() > kRecordLines) records_.pop_front();
    }
    dirty_ = true;
}

void TerminalRenderer::Scroll(int lines) {
    scroll_ = std::clamp(scroll_ + lines, 0, static_cast<int>(log_.size()));
    dirty_ = true;
}

void TerminalRenderer::Draw(TerminalScreen& screen, const ViewModel& model, const std::string& job_state,
                            const MountpointChooser& chooser) {
    screen.Clear();
    if (screen.Rows() < 10 || screen.Cols() < 40) {
        screen.Text(0, 0, "terminal too small");
    } else if (chooser.IsOpen()) {
        DrawChooser(screen, chooser);
    } else {
        DrawMain(screen, model, job_state);
        DrawDialog(screen);
    }
    screen.Show();
}

void TerminalRenderer::DrawMain(TerminalScreen& screen, const ViewModel& model, const std::string& job_state) {
    const int rows = screen.Rows();
    const int cols = screen.Cols();
    const int bar = cols >= 100 ? 20 : 10;
    std::string title = " Zerlan  " + model.document_title + "  " + model.time_text + "  job " + job_state;
    title.resize(static_cast<size_t>(cols), ' ');
    screen.Text(0, 0, title, true);

    screen.Text(1, 0, "Input " + Fit(model.input_type, 6));
    screen.Text(1, 13, Bar(model.input_bar, model.input_bar_max, bar) + " " + std::to_string(model.input_bar));
    screen.Text(1, 20 + bar, "per unit " + Number(model, msg::kInputRate) + "  pool " + Number(model, msg::kPoolTotal));

    struct Out {
        const char* name;
        OutputBar bar;
        uint32_t rate;
    };
    static constexpr Out kOuts[] = {
        {"Caster", kBarCaster, msg::kCasterOutRate}, {"TCP", kBarTcpClient, msg::kTcpOutRate},
        {"Serial", kBarSerial, msg::kSerialOutRate}, {"UDP", kBarUdp, msg::kUdpOutRate},
        {"Pipe", kBarPipe, msg::kPipeOutRate},       {"File", kBar1019, msg::kFileOutRate},
    };
    const int half = cols / 2;
    for (int i = 0; i < 6; ++i) {
        const Out& o = kOuts[i];
        const int row = 2 + i / 2;
        const int col = (i % 2) * half;
        const int value = model.output_bars[static_cast<size_t>(o.bar)];
        screen.Text(row, col, Fit(std::string(o.name) + "      ", 7) + Bar(value, model.output_bar_max, bar) + " " +
                                  Number(model, o.rate));
    }

    const auto& f = model.decoder_fields;
    screen.Text(5, 0, Fit("Decoder  station " + f[0] + "  " + f[1] + "  " + f[2] + "  week " + f[3] + "  " + f[5] +
                              "  " + f[6] + "  " + f[7],
                          cols));
    screen.Text(6, 0, Fit("GPS " + model.gps_sat_list + "   FKP " + model.gps_fkp_count, cols));
    screen.Text(7, 0, Fit("GLO " + model.glo_sat_list + "   FKP " + model.glo_fkp_count, cols));
    screen.Text(8, 0, Fit("Status " + model.status_text, cols));

    const int record_rows = 2;
    const int help_row = rows - 1;
    const int record_top = help_row - record_rows;
    const int log_top = 10;
    const int log_rows = std::max(record_top - 1 - log_top, 1);
    std::string rule = scroll_ > 0 ? "-- log (" + std::to_string(scroll_) + " lines back) " : "-- log ";
    rule.resize(static_cast<size_t>(cols), '-');
    screen.Text(9, 0, rule);
    const int end = static_cast<int>(log_.size()) - scroll_;
    const int begin = std::max(0, end - log_rows);
    for (int i = begin, row = log_top; i < end; ++i, ++row) screen.Text(row, 0, log_[static_cast<size_t>(i)]);
    std::string records_rule = "-- protocol ";
    records_rule.resize(static_cast<size_t>(cols), '-');
    screen.Text(record_top - 1, 0, records_rule);
    const int rec_begin = std::max(0, static_cast<int>(records_.size()) - record_rows);
    for (int i = rec_begin, row = record_top; i < static_cast<int>(records_.size()); ++i, ++row) {
        screen.Text(row, 0, records_[static_cast<size_t>(i)]);
    }
    std::string help = " s:start/stop r:restart l:reload e:edit w:save p:protocol m:mountpoint q:quit";
    help.resize(static_cast<size_t>(cols), ' ');
    screen.Text(help_row, 0, help, true);
}

void TerminalRenderer::DrawDialog(TerminalScreen& screen) {
    std::pair<std::string, std::string> dialog;
    {
        std::lock_guard<std::mutex> lock(dialog_mutex_);
        if (dialogs_.empty()) return;
        dialog = dialogs_.front();
    }
    std::vector<std::string> lines = Lines(TerminalText(dialog.second, true));
    const int width = std::min(screen.Cols() - 4, 70);
    const int height = static_cast<int>(lines.size()) + 4;
    const int top = std::max(1, (screen.Rows() - height) / 2);
    const int left = (screen.Cols() - width) / 2;
    const std::string edge = "+" + std::string(static_cast<size_t>(width - 2), '-') + "+";
    const std::string blank = "|" + std::string(static_cast<size_t>(width - 2), ' ') + "|";
    screen.Text(top, left, edge);
    std::string title = "| " + TerminalText(dialog.first, true);
    screen.Text(top + 1, left, blank);
    screen.Text(top + 1, left, Fit(title, width - 1), true);
    for (size_t i = 0; i < lines.size(); ++i) {
        screen.Text(top + 2 + static_cast<int>(i), left, blank);
        screen.Text(top + 2 + static_cast<int>(i), left + 2, Fit(lines[i], width - 4));
    }
    screen.Text(top + height - 2, left, blank);
    screen.Text(top + height - 2, left + 2, "press any key");
    screen.Text(top + height - 1, left, edge);
}

void TerminalRenderer::DrawChooser(TerminalScreen& screen, const MountpointChooser& chooser) {
    const int cols = screen.Cols();
    std::string title = " Mountpoints of " + chooser.caster() + "  (type to filter, Enter choose, Esc cancel)";
    title.resize(static_cast<size_t>(cols), ' ');
    screen.Text(0, 0, title, true);
    screen.Text(1, 0, "filter: " + chooser.filter());
    screen.Text(2, 0, Fit(chooser.message(), cols));
    const auto visible = chooser.Visible();
    const int list_rows = screen.Rows() - 4;
    const int selected = std::clamp(chooser.selected(), 0, std::max(static_cast<int>(visible.size()) - 1, 0));
    const int first = std::max(0, selected - list_rows + 1);
    for (int i = first, row = 3; i < static_cast<int>(visible.size()) && row < 3 + list_rows; ++i, ++row) {
        std::string line = FormatEntry(*visible[static_cast<size_t>(i)]);
        std::replace(line.begin(), line.end(), '\t', ' ');
        line = Fit(TerminalText(line, true), cols - 2);
        screen.Text(row, 0, (i == selected ? "> " : "  ") + line, i == selected);
    }
    screen.Text(screen.Rows() - 1, 0, std::to_string(visible.size()) + " mountpoints");
}

}  // namespace zerlan
