#include "core/Worker.h"

#include <algorithm>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/Sleep.h"

namespace zerlan {

namespace {

// Long enough not to spin, short enough that a stop is seen at once.
constexpr int kStopStepMs = 5;

}  // namespace

WorkerScope::WorkerScope(ThreadRegistry& registry, int kind, const std::string& name)
    : registry_(registry), kind_(kind), index_(registry.Register(kind, name.c_str())), name_(name) {}

WorkerScope::~WorkerScope() { registry_.Unregister(kind_, name_.c_str(), index_); }

bool WorkerScope::Sleep(int ms) const { return SleepUnlessStopped(registry_, ms); }

int StartWorker(ThreadRegistry& registry, int kind, const std::string& name, WorkerBody body) {
    auto scope = std::make_unique<WorkerScope>(registry, kind, name);
    const int index = scope->index();
    try {
        std::thread([scope = std::move(scope), body = std::move(body)]() mutable {
            try {
                body(*scope);
            } catch (...) {
                // A worker that fails ends like any other: its registration
                // must go, or the general stop would wait for it forever.
            }
            // Whatever the body captured is released while the worker is still
            // counted; unregistering is the last touch of shared objects.
            body = nullptr;
            scope.reset();
        }).detach();
    } catch (const std::system_error&) {
        // The lambda (and with it the scope) is gone: registration withdrawn.
        return -1;
    }
    return index;
}

bool SleepUnlessStopped(const ThreadRegistry& registry, int ms) {
    int left = ms;
    while (true) {
        if (registry.StopRequested()) return false;
        if (left <= 0) return true;
        const int step = std::min(left, kStopStepMs);
        Sleep(step);
        left -= step;
    }
}

bool PollUnlessStopped(const ThreadRegistry& registry, int step_ms, const std::function<bool()>& ready) {
    while (true) {
        if (ready()) return true;
        if (registry.StopRequested()) return false;
        Sleep(step_ms);
    }
}

}  // namespace zerlan
