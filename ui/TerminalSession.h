// The terminal view at work: pumps the view's messages, reads keys, draws,
// and turns keys into the main window's commands (start/stop, restart,
// reload, edit, save, protocol, mountpoint chooser, quit). The chooser
// fetches the sourcetable and waits for the choice in threads of the search
// registry; the choice restarts the job on the caster input (WM_USER+148).
//
// Thread-safety: view thread only, except RequestQuit/RequestReload.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "ui/TerminalScreen.h"
#include "ui/TerminalView.h"
#include "ui/ZerlanView.h"

namespace zerlan {

// The editor for the parameter file: the `np` program when it exists, else
// $VISUAL, $EDITOR, then vi.
std::string ChooseEditor(const std::string& np_setting);

class TerminalSession {
public:
    TerminalSession(CZerlanView& view, TerminalRenderer& renderer, TerminalScreen& screen);
    ~TerminalSession();
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;

    // Until quit: returns the exit status.
    int Run();
    // One pass: messages (waiting at most `wait_ms`), keys, protocol records,
    // drawing. False once quit was asked for.
    bool Step(int wait_ms);
    void HandleKey(int key);

    void RequestQuit() { quit_.store(1); }
    void RequestReload() { reload_.store(1); }

private:
    struct Search;  // results of the sourcetable fetch, shared with its thread

    void OpenChooser();
    void ChooserKey(int key);
    void CloseChooser();
    void TakeSearchResult();
    void StopSearchThreads();
    void Edit();
    void Save();
    void ShowProtocol();
    void FollowProtocol();
    std::string ParameterFile() const;
    void Draw();

    CZerlanView& view_;
    TerminalRenderer& renderer_;
    TerminalScreen& screen_;
    MountpointChooser chooser_;
    std::shared_ptr<Search> search_;
    std::atomic<int32_t> quit_{0};
    std::atomic<int32_t> reload_{0};
    int64_t last_draw_ms_ = 0;
    int64_t last_protocol_ms_ = 0;
    int64_t protocol_offset_ = -1;
};

}  // namespace zerlan
