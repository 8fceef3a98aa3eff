// What the decoded stream said recently about satellites, per system (0 GPS,
// 1 GLONASS): the satellites and the FKP satellites of the last seven decoded
// frames (a ring of seven lists each), when each kind was last written, one
// record per message type with its last time and interval, the message types
// of the status page, and the GGA sentences parked for output clients.
//
// Thread-safety: every operation may be called from any thread. One mutex
// serialises the work; in front of it each group (satellite ring, FKP ring,
// counting results, message records, GGA slots) has a writers' and a readers'
// busy count, and an operation first waits (1 ms polls) until the opposite
// side of its groups is idle. A stop requested in the registry while waiting
// ends the call at once with 0 and no effect. No other lock is taken inside.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace zerlan {

class ThreadRegistry;

class SatFkpStore {
public:
    static constexpr int kSystems = 2;
    static constexpr int kRingSize = 7;
    static constexpr int kListSize = 200;
    static constexpr int kFrameEntries = 100;  // numbers taken from one frame
    static constexpr int kMaxRecords = 200;
    static constexpr int kMaxMessageTypes = 50;
    static constexpr int kGgaSlots = 250;
    static constexpr size_t kGgaSize = 1000;
    static constexpr size_t kTimeTextSize = 100;

    struct MessageRecord {
        int32_t type = 0;
        std::string time_text;
        int32_t interval = 0;  // seconds
    };

    // `registry` (may be null) answers whether a waiting call should give up.
    explicit SatFkpStore(const ThreadRegistry* registry = nullptr);
    SatFkpStore(const SatFkpStore&) = delete;
    SatFkpStore& operator=(const SatFkpStore&) = delete;

    // Clears everything, sets the four last-seen times to now and parses the
    // comma list of message types shown by the status page (html field 7).
    int Reset(const std::string& message_types = "");

    // Results: 0 done (or given up at a stop), 1 for a system outside 0..1.
    // Replaces the list at the ring position with the non-zero numbers among
    // the first 100 and advances the ring; the system's satellites count as
    // seen now.
    int SetSatelliteList(std::span<const int32_t> numbers, int system);
    // The same for FKP, taking the numbers up to the first 0.
    int SetFkpList(std::span<const int32_t> numbers, int system);
    // Empties every list of the system's ring (stale data is gone at once)
    // and advances the ring; the last-seen time stays. n must be 1..12.
    int ClearSatelliteList(int system, int n);
    int ClearFkpList(int system, int n);
    // Sets time and interval of every record of `type`, or appends one; at 200
    // records the newest 100 are kept.
    int AddMessageRecord(int32_t type, int system, const std::string& time_text, int32_t interval);

    // Rebuild the counting results of a system from its ring: every number
    // of the last seven frames once, satellites in ascending order, FKP
    // satellites in order of first appearance.
    int CountSatellites(int system);
    int CountFkp(int system);
    // Counting results of the last CountSatellites / CountFkp (empty or 0 for
    // a bad system).
    std::vector<int32_t> Satellites(int system);
    std::vector<int32_t> Fkp(int system);
    int32_t SatelliteCount(int system);
    int32_t FkpCount(int system);
    // Last-seen times in whole seconds of the clock (epoch seconds), 0 for a bad system.
    int64_t SatelliteLastSeen(int system);
    int64_t FkpLastSeen(int system);

    // Readers for the view and the status page: the same merging as the
    // counting calls, into lists of their own, so they never disturb the
    // counting results the availability watch reads.
    int DisplaySatellites(int system, std::vector<int32_t>& out);
    int DisplayFkp(int system, std::vector<int32_t>& out);
    int MessageRecords(int system, std::vector<MessageRecord>& out);
    std::vector<int32_t> MessageTypes();

    // GGA slots 0..249: -1 outside, else 0. Texts are cut to 999 bytes.
    int SetGgaText(const std::string& text, int slot);
    int GetGgaText(std::string& destination, int slot);

private:
    struct List {
        std::array<int32_t, kListSize> entries{};
        int32_t count = 0;
    };
    struct Ring {
        std::array<List, kRingSize> lists{};
        int32_t index = 0;
    };
    enum Group { kSatRing = 0, kFkpRing, kCounted, kRecords, kGga, kGroups };
    enum Direction { kWrite = 0, kRead = 1 };
    struct Need {
        Group group;
        Direction direction;
    };
    class Access;

    static bool ValidSystem(int system) { return system == 0 || system == 1; }
    static void MergeAscending(const Ring& ring, std::vector<int32_t>& merged);
    static void MergeAll(const Ring& ring, std::vector<int32_t>& merged);
    static void AdvanceRing(Ring& ring);

    const ThreadRegistry* registry_;
    std::mutex mutex_;
    std::array<std::array<std::atomic<int32_t>, 2>, kGroups> busy_{};

    std::array<Ring, kSystems> sat_rings_{};
    std::array<Ring, kSystems> fkp_rings_{};
    std::array<std::vector<int32_t>, kSystems> counted_sats_{};
    std::array<std::vector<int32_t>, kSystems> counted_fkp_{};
    std::array<std::vector<int32_t>, kSystems> display_sats_{};
    std::array<std::vector<int32_t>, kSystems> display_fkp_{};
    std::array<int64_t, kSystems> sat_last_seen_{};
    std::array<int64_t, kSystems> fkp_last_seen_{};
    std::array<std::vector<MessageRecord>, kSystems> records_{};
    std::vector<int32_t> message_types_;
    std::array<std::string, kGgaSlots> gga_{};
};

}  // namespace zerlan
