// The job's run/stop switch and the list of living worker threads.
//
// States: 0 running, 1 stopping, 2 idle. Kinds: 0 ordinary workers, 1 TCP
// output server, 2 decoder TCP output server, 3 HTTP server, 4 RINEX TCP
// output server (kinds 1-4 may sit in a blocking accept and are woken at stop).
//
// Thread-safety: every operation takes the registry's lock except
// `StopRequested`, which reads two atomics. The lock is never held while
// another lock is taken.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace zerlan {

class ThreadRegistry {
public:
    static constexpr int kMaxThreads = 1000;
    static constexpr int kKinds = 5;
    static constexpr int kNameSize = 100;

    ThreadRegistry();
    ThreadRegistry(const ThreadRegistry&) = delete;
    ThreadRegistry& operator=(const ThreadRegistry&) = delete;

    // 0; 1 (nothing changed) when run is outside 0..1 or state outside 0..2.
    int SetState(int run, int state);
    int GetState();
    bool StopRequested() const;

    int Register(int kind, const char* name);
    int Unregister(int kind, const char* name, int index);
    int Query(int selector);
    void Reset();
    void ResetCounts();

    // The listing text of ShowActive ("%s is aktiv\n" lines and the count line).
    std::string ActiveListing();
    // Shows ActiveListing in a box titled "Thread-Debug".
    void ShowActive();
    // Number of active entries (lines of the listing).
    int ActiveCount();
    // Registered threads of one kind (0..4; 0 for any other kind).
    int KindCount(int kind);

private:
    mutable std::mutex mutex_;
    std::atomic<int32_t> run_{0};
    std::atomic<int32_t> state_{2};
    int32_t registered_ = 0;
    int32_t last_total_ = 0;
    std::array<int32_t, kKinds> kind_count_{};       // indexed by kind 0..4
    std::array<int32_t, kKinds> last_index_of_kind_{};
    std::array<int32_t, kMaxThreads> active_{};
    std::array<std::array<char, kNameSize>, kMaxThreads> names_{};
};

}  // namespace zerlan
