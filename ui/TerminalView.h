// The full-screen terminal view: the main window drawn on a character grid.
// `TerminalRenderer` collects what the view model does not keep (the log as
// it scrolls by, message boxes waiting to be dismissed, protocol records) and
// draws everything on a `TerminalScreen`. It draws the same `CZerlanView`
// model the headless program prints; it owns nothing of the job.
//
// Thread-safety: the view thread draws; message boxes may arrive from any
// thread (`PushDialog` takes a lock).
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "services/Sourcetable.h"
#include "ui/Renderer.h"
#include "ui/TerminalScreen.h"
#include "ui/ViewModel.h"

namespace zerlan {

// What the status line says about the job (registry states 0, 1, 2).
const char* JobStateText(int registry_state);

// The mountpoint chooser: the STR entries of a caster, filtered by what the
// user types (any part of the entry's line, case ignored).
class MountpointChooser {
public:
    void Open(const std::string& caster) {
        caster_ = caster;
        entries_.clear();
        filter_.clear();
        selected_ = 0;
        message_ = "fetching the sourcetable of " + caster + " ...";
        open_ = true;
    }
    void Close() { open_ = false; }
    bool IsOpen() const { return open_; }
    void SetEntries(std::vector<SourcetableEntry> entries, const std::string& message);
    // Typing, Backspace, Up/Down; true when the key was used.
    bool Key(int key);
    // The entries that pass the filter.
    std::vector<const SourcetableEntry*> Visible() const;
    const SourcetableEntry* Selected() const;
    const std::string& filter() const { return filter_; }
    const std::string& message() const { return message_; }
    const std::string& caster() const { return caster_; }
    int selected() const { return selected_; }

private:
    bool open_ = false;
    std::string caster_;
    std::vector<SourcetableEntry> entries_;
    std::string filter_;
    std::string message_;
    int selected_ = 0;
};

class TerminalRenderer : public Renderer {
public:
    static constexpr size_t kLogLines = 1000;
    static constexpr size_t kRecordLines = 100;

    // `show_received`: show the received stream (masked) as the main window
    // did; the log is on the screen, not in a journal.
    explicit TerminalRenderer(bool show_received = true) : show_received_(show_received) {}

    void LogAppended(const std::string& appended, bool received_data) override;
    void Refresh(const ViewModel&) override { dirty_ = true; }

    // A message box: shown as a dialog until a key dismisses it.
    void PushDialog(const std::string& title, const std::string& text);
    bool DialogOpen();
    void DismissDialog();
    // Protocol records as they were written.
    void AddRecords(const std::string& text);
    // One line at the bottom of the log, for the terminal's own actions.
    void Note(const std::string& text) { LogAppended(text + "\r\n", false); }

    // Lines of the log scrolled back from the newest (Page Up / Page Down).
    void Scroll(int lines);

    // Draws the whole screen; the status text says what the job does.
    void Draw(TerminalScreen& screen, const ViewModel& model, const std::string& job_state,
              const MountpointChooser& chooser);

    bool TakeDirty() {
        const bool d = dirty_;
        dirty_ = false;
        return d;
    }
    const std::deque<std::string>& log() const { return log_; }

private:
    void DrawMain(TerminalScreen& screen, const ViewModel& model, const std::string& job_state);
    void DrawDialog(TerminalScreen& screen);
    void DrawChooser(TerminalScreen& screen, const MountpointChooser& chooser);

    bool show_received_;
    bool dirty_ = true;
    std::string partial_;  // a log line whose end has not arrived yet
    std::deque<std::string> log_;
    std::deque<std::string> records_;
    int scroll_ = 0;
    std::mutex dialog_mutex_;
    std::deque<std::pair<std::string, std::string>> dialogs_;
};

}  // namespace zerlan
