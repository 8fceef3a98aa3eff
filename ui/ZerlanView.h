// The main view: owns the view model and the view's settings copy, handles
// every window message on the view thread and hands job start, stop and
// restart to the job control. Worker threads never call it directly; they
// post to its queue through the SharedState.
//
// Thread-safety: everything except `RequestQuit`, `RequestReload` and
// `queue()` belongs to the view thread (the thread that called `Run`).
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "config/Settings.h"
#include "core/SharedState.h"
#include "platform/MessageQueue.h"
#include "ui/Renderer.h"
#include "ui/ViewModel.h"

namespace zerlan {

class JobControl;

class CZerlanView {
public:
    CZerlanView(SharedState& state, Renderer& renderer);
    ~CZerlanView();
    CZerlanView(const CZerlanView&) = delete;
    CZerlanView& operator=(const CZerlanView&) = delete;

    // Attaches the queue to the calling thread (the view thread) and starts
    // the start-up and clock threads.
    void Open();
    // Pumps messages until the program should end; returns the exit status
    // (0 stopped by a signal or the input file ended with every output
    // written, 1 any other end) and leaves the reason in `ExitReason`.
    // Headless: ends when the job has run (or could not start) and become
    // idle with no restart pending, or after a quit request (stop, wait for
    // idle up to 10 s).
    int Run();
    const std::string& ExitReason() const { return exit_reason_; }
    // Joins the start-up and clock threads and closes the queue.
    void Close();

    // Any thread (signal handling).
    void RequestQuit() { quit_requested_.store(1); }
    void RequestReload() { reload_requested_.store(1); }

    void Handle(const Message& message);

    MessageQueue& queue() { return queue_; }
    ViewModel& model() { return model_; }
    Settings& settings() { return settings_; }
    SharedState& state() { return state_; }
    JobControl& jobs() { return *jobs_; }

    // Replaces the log with `text` (job start lines do this) and shows it.
    void SetLogText(const std::string& text);
    // Appends one line of the program's own to the log and shows it.
    void ShowLine(const std::string& text);
    // The job-start reset of the view and the shared counters.
    void ResetForJob();
    // Bar ranges from the view's `maz` settings, clamped to 10..500.
    void SetBarRanges();
    // The terminal view has a start key: its job starts at once only with the
    // auto-start setting, as in the main window.
    void SetStartOnlyWithAutoStart() { start_only_with_auto_start_ = true; }
    // Pumps messages for `ms` milliseconds in 100-ms steps or less.
    void PumpFor(int ms);

private:
    void OnReady();
    void OnDisplayText(const Message& message);
    void OnDecoderFields();
    void OnStatusSlot10();
    // WM_USER+141..+144: one satellite-state text from the store.
    void OnSatelliteState(uint32_t id);
    void ShowNumber(uint32_t id, int32_t value);
    int JobEndStatus();

    SharedState& state_;
    Renderer& renderer_;
    MessageQueue queue_;
    ViewModel model_;
    Settings settings_;
    std::unique_ptr<JobControl> jobs_;
    std::thread startup_thread_;
    std::thread clock_thread_;
    bool start_only_with_auto_start_ = false;
    std::atomic<int32_t> closing_{0};
    std::atomic<int32_t> quit_requested_{0};
    std::atomic<int32_t> reload_requested_{0};
    bool job_ran_ = false;
    std::string exit_reason_;
};

}  // namespace zerlan
