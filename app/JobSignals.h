// SIGINT, SIGTERM and SIGHUP of a running job: blocked in every thread (so no
// worker is interrupted) and taken by one watcher thread with a bounded wait.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace zerlan {

// Blocks the three signals in the calling thread and the threads it starts
// from now on; SIGPIPE is ignored (a vanished peer is a failed send).
void BlockJobSignals();

class JobSignalWatcher {
public:
    // `on_signal` runs on the watcher's thread with SIGINT, SIGTERM or SIGHUP.
    explicit JobSignalWatcher(std::function<void(int signal)> on_signal);
    ~JobSignalWatcher();
    JobSignalWatcher(const JobSignalWatcher&) = delete;
    JobSignalWatcher& operator=(const JobSignalWatcher&) = delete;

private:
    std::function<void(int)> on_signal_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

}  // namespace zerlan
