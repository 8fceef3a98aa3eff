// Job control on the view thread: start (the fixed start table), stop (only
// from running, finished by the general stop), restarts requested by workers,
// the port-conflict check and the full-hour / new-day records of the clock.
//
// Each stream thread family contributes its rows through the start functions
// of jobs/StreamThreads.h; the order of the rows is the order below and is
// behaviour: outputs hold their pool slots before the input writes.
//
// Thread-safety: view thread only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <future>
#include <string>

#include "core/SharedState.h"

namespace zerlan {

class CZerlanView;

class JobControl {
public:
    JobControl(SharedState& state, CZerlanView& view);
    // Waits (bounded) for a general stop still writing its last record.
    ~JobControl();
    JobControl(const JobControl&) = delete;
    JobControl& operator=(const JobControl&) = delete;

    void Start();
    void Stop();
    void OnStopMessage();      // WM_USER+122
    void OnGeneralStopDone();  // WM_USER+102
    void OnRestart();          // WM_USER+146
    void OnRestartWait();      // WM_USER+147
    void OnRestartCaster();    // WM_USER+148
    // SIGHUP: reload the parameter file into the view's settings and restart.
    void Reload();

    // 1 when a conflict was found; the messages go to the warning text.
    // Kind 4: the TCP output server's port equal to the TCP input server's.
    int CheckPortConflicts(int kind);
    void CheckFullHour();

    bool EverStarted() const { return ever_started_; }
    bool RestartPending() const { return restart_pending_; }
    const std::string& LastMoment() const { return last_moment_; }
    // Sleeps on the view thread after a full-hour record; tests shorten it.
    void SetFullHourPause(int ms) { full_hour_pause_ms_ = ms; }
    // Wait steps of a restart (300 x 100 ms, then 10 x 100 ms).
    void SetRestartSteps(int wait_steps, int settle_steps, int step_ms);

private:
    // Shows the start line, starts the thread(s) through `start`, waits 4 ms.
    // `readers`: pool readers the started thread adds at its start.
    void Launch(const char* start_line, const std::function<bool()>& start, int readers = 0);
    // Before the input starts: waits (bounded) until the outputs started so
    // far hold their pool readers, so that no first bytes reach a pool early.
    void WaitForReaders();
    void StartRows();
    void StartRinexServerRow();
    // True (with the messages shown) when a port of the job is unusable.
    bool RefuseBadPorts();
    std::string ProtocolFile() const;

    SharedState& state_;
    CZerlanView& view_;
    bool any_started_ = false;
    int expected_readers_ = 0;
    bool ever_started_ = false;
    bool restart_pending_ = false;
    bool restart_overdue_ = false;
    std::string last_moment_;
    int full_hour_pause_ms_ = 1005;
    int restart_wait_steps_ = 300;
    int restart_settle_steps_ = 10;
    int restart_step_ms_ = 100;
    std::future<void> general_stop_;
};

}  // namespace zerlan
