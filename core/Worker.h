// The one way a worker thread lives: registered in a `ThreadRegistry` for as
// long as it runs, asking for the stop in every pass and in every wait, and
// unregistered with the same kind and index as its very last touch of the
// registry.
//
// `StartWorker` registers on the starting thread before the thread exists, so
// a job start (and the general stop) counts the worker from the moment the
// call returns, never missing one that has not yet been scheduled. Threads are
// detached; the registry is the only record of them, so a registry must
// outlive every worker registered in it (wait until `Query(1)` is 0).
//
// Thread-safety: a `WorkerScope` belongs to its worker thread; the free
// helpers may be called from any thread.
#pragma once

#include <functional>
#include <string>

#include "core/ThreadRegistry.h"

namespace zerlan {

class WorkerScope {
public:
    // Registers (kind, name) in `registry`.
    WorkerScope(ThreadRegistry& registry, int kind, const std::string& name);
    // Unregisters with the kind and index of the registration.
    ~WorkerScope();
    WorkerScope(const WorkerScope&) = delete;
    WorkerScope& operator=(const WorkerScope&) = delete;

    bool StopRequested() const { return registry_.StopRequested(); }
    // SleepUnlessStopped on this worker's registry.
    bool Sleep(int ms) const;

    ThreadRegistry& registry() const { return registry_; }
    int kind() const { return kind_; }
    int index() const { return index_; }
    const std::string& name() const { return name_; }

private:
    ThreadRegistry& registry_;
    int kind_;
    int index_;
    std::string name_;
};

using WorkerBody = std::function<void(WorkerScope&)>;

// Registers (kind, name), then runs `body` in a detached thread; the thread
// unregisters when the body returns (or throws). Returns the thread index, or
// -1 when no thread could be started (the registration is then withdrawn).
int StartWorker(ThreadRegistry& registry, int kind, const std::string& name, WorkerBody body);

// Sleeps `ms` milliseconds in short steps. Returns true when the whole time
// passed, false as soon as a stop is requested (also when it already was).
bool SleepUnlessStopped(const ThreadRegistry& registry, int ms);

// Tests `ready` every `step_ms` until it holds (true) or a stop is requested
// (false). `ready` is asked before the stop, so a condition met at the moment
// of a stop still counts.
bool PollUnlessStopped(const ThreadRegistry& registry, int step_ms, const std::function<bool()>& ready);

}  // namespace zerlan
