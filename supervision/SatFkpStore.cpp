#include "supervision/SatFkpStore.h"

#include <algorithm>
#include <cstdlib>

#include "core/ThreadRegistry.h"
#include "platform/Clock.h"
#include "platform/Sleep.h"

namespace zerlan {

// Holds the busy counts of the requested groups and the store's mutex for
// the lifetime of one operation.
class SatFkpStore::Access {
public:
    Access(SatFkpStore& store, std::initializer_list<Need> needs) : store_(store), needs_(needs) {
        while (OppositeBusy()) {
            if (store_.registry_ != nullptr && store_.registry_->StopRequested()) return;
            Sleep(1);
        }
        for (const Need& n : needs_) store_.busy_[n.group][n.direction].fetch_add(1);
        lock_ = std::unique_lock<std::mutex>(store_.mutex_);
    }
    ~Access() {
        if (!granted()) return;
        lock_.unlock();
        for (const Need& n : needs_) store_.busy_[n.group][n.direction].fetch_sub(1);
    }
    Access(const Access&) = delete;
    Access& operator=(const Access&) = delete;

    bool granted() const { return lock_.owns_lock(); }

private:
    bool OppositeBusy() const {
        for (const Need& n : needs_)
            if (store_.busy_[n.group][1 - n.direction].load() != 0) return true;
        return false;
    }

    SatFkpStore& store_;
    std::vector<Need> needs_;
    std::unique_lock<std::mutex> lock_;
};

SatFkpStore::SatFkpStore(const ThreadRegistry* registry) : registry_(registry) {
    for (auto& group : busy_)
        for (auto& flag : group) flag.store(0);
    const int64_t now = Clock::Get().EpochSeconds();
    sat_last_seen_.fill(now);
    fkp_last_seen_.fill(now);
}

void SatFkpStore::AdvanceRing(Ring& ring) { ring.index = (ring.index + 1) % kRingSize; }

void SatFkpStore::MergeAscending(const Ring& ring, std::vector<int32_t>& merged) {
    // Every satellite of the last seven frames, in ascending order. Frames of
    // one satellite (ephemerides) and lists out of order (RTCM 2 types 18/19)
    // must not hide the satellites of the other frames.
    MergeAll(ring, merged);
    std::sort(merged.begin(), merged.end());
}

void SatFkpStore::MergeAll(const Ring& ring, std::vector<int32_t>& merged) {
    merged.clear();
    for (const List& list : ring.lists) {
        for (int32_t i = 0; i < list.count; ++i) {
            const int32_t number = list.entries[i];
            if (std::find(merged.begin(), merged.end(), number) != merged.end()) continue;
            merged.push_back(number);
            if (merged.size() == static_cast<size_t>(kListSize)) merged.erase(merged.begin(), merged.begin() + kListSize / 2);
        }
    }
}

int SatFkpStore::Reset(const std::string& message_types) {
    Access access(*this, {{kSatRing, kWrite}, {kFkpRing, kWrite}, {kCounted, kWrite}, {kRecords, kWrite},
                          {kGga, kWrite}});
    if (!access.granted()) return 0;
    const int64_t now = Clock::Get().EpochSeconds();
    for (int s = 0; s < kSystems; ++s) {
        sat_rings_[s] = Ring{};
        fkp_rings_[s] = Ring{};
        counted_sats_[s].clear();
        counted_fkp_[s].clear();
        display_sats_[s].clear();
        display_fkp_[s].clear();
        records_[s].clear();
        sat_last_seen_[s] = now;
        fkp_last_seen_[s] = now;
    }
    for (auto& text : gga_) text.clear();
    message_types_.clear();
    size_t start = 0;
    while (start <= message_types.size() && static_cast<int>(message_types_.size()) < kMaxMessageTypes) {
        size_t end = message_types.find(',', start);
        if (end == std::string::npos) end = message_types.size();
        const std::string item = message_types.substr(start, end - start);
        if (!item.empty()) message_types_.push_back(std::atoi(item.c_str()));
        start = end + 1;
    }
    return 0;
}

int SatFkpStore::SetSatelliteList(std::span<const int32_t> numbers, int system) {
    if (!ValidSystem(system)) return 1;
    Access access(*this, {{kSatRing, kWrite}});
    if (!access.granted()) return 0;
    Ring& ring = sat_rings_[system];
    List& list = ring.lists[ring.index];
    list = List{};
    const size_t n = std::min(numbers.size(), static_cast<size_t>(kFrameEntries));
    for (size_t i = 0; i < n; ++i)
        if (numbers[i] != 0) list.entries[list.count++] = numbers[i];
    AdvanceRing(ring);
    sat_last_seen_[system] = Clock::Get().EpochSeconds();
    return 0;
}

int SatFkpStore::SetFkpList(std::span<const int32_t> numbers, int system) {
    if (!ValidSystem(system)) return 1;
    Access access(*this, {{kFkpRing, kWrite}});
    if (!access.granted()) return 0;
    Ring& ring = fkp_rings_[system];
    List& list = ring.lists[ring.index];
    list = List{};
    const size_t n = std::min(numbers.size(), static_cast<size_t>(kFrameEntries));
    for (size_t i = 0; i < n && numbers[i] != 0; ++i) list.entries[list.count++] = numbers[i];
    AdvanceRing(ring);
    fkp_last_seen_[system] = Clock::Get().EpochSeconds();
    return 0;
}

int SatFkpStore::ClearSatelliteList(int system, int n) {
    if (!ValidSystem(system) || n < 1 || n > 12) return 1;
    Access access(*this, {{kSatRing, kWrite}});
    if (!access.granted()) return 0;
    // The whole ring goes: a stale satellite must not linger for six more
    // clearing periods.
    Ring& ring = sat_rings_[system];
    ring.lists.fill(List{});
    AdvanceRing(ring);
    return 0;
}

int SatFkpStore::ClearFkpList(int system, int n) {
    if (!ValidSystem(system) || n < 1 || n > 12) return 1;
    Access access(*this, {{kFkpRing, kWrite}});
    if (!access.granted()) return 0;
    Ring& ring = fkp_rings_[system];
    ring.lists.fill(List{});
    AdvanceRing(ring);
    return 0;
}

int SatFkpStore::AddMessageRecord(int32_t type, int system, const std::string& time_text, int32_t interval) {
    if (!ValidSystem(system)) return 1;
    Access access(*this, {{kRecords, kWrite}});
    if (!access.granted()) return 0;
    const std::string time = time_text.substr(0, kTimeTextSize - 1);
    std::vector<MessageRecord>& records = records_[system];
    bool found = false;
    for (MessageRecord& r : records) {
        if (r.type != type) continue;
        r.time_text = time;
        r.interval = interval;
        found = true;
    }
    if (!found) {
        records.push_back(MessageRecord{type, time, interval});
        if (records.size() == static_cast<size_t>(kMaxRecords)) records.erase(records.begin(), records.begin() + kMaxRecords / 2);
    }
    return 0;
}

int SatFkpStore::CountSatellites(int system) {
    if (!ValidSystem(system)) return 1;
    Access access(*this, {{kSatRing, kRead}, {kCounted, kWrite}});
    if (!access.granted()) return 0;
    MergeAscending(sat_rings_[system], counted_sats_[system]);
    return 0;
}

int SatFkpStore::CountFkp(int system) {
    if (!ValidSystem(system)) return 1;
    Access access(*this, {{kFkpRing, kRead}, {kCounted, kWrite}});
    if (!access.granted()) return 0;
    MergeAll(fkp_rings_[system], counted_fkp_[system]);
    return 0;
}

std::vector<int32_t> SatFkpStore::Satellites(int system) {
    if (!ValidSystem(system)) return {};
    Access access(*this, {{kCounted, kRead}});
    if (!access.granted()) return {};
    return counted_sats_[system];
}

std::vector<int32_t> SatFkpStore::Fkp(int system) {
    if (!ValidSystem(system)) return {};
    Access access(*this, {{kCounted, kRead}});
    if (!access.granted()) return {};
    return counted_fkp_[system];
}

int32_t SatFkpStore::SatelliteCount(int system) { return static_cast<int32_t>(Satellites(system).size()); }

int32_t SatFkpStore::FkpCount(int system) { return static_cast<int32_t>(Fkp(system).size()); }

int64_t SatFkpStore::SatelliteLastSeen(int system) {
    if (!ValidSystem(system)) return 0;
    Access access(*this, {{kSatRing, kRead}});
    if (!access.granted()) return 0;
    return sat_last_seen_[system];
}

int64_t SatFkpStore::FkpLastSeen(int system) {
    if (!ValidSystem(system)) return 0;
    Access access(*this, {{kFkpRing, kRead}});
    if (!access.granted()) return 0;
    return fkp_last_seen_[system];
}

int SatFkpStore::DisplaySatellites(int system, std::vector<int32_t>& out) {
    if (!ValidSystem(system)) return 1;
    Access access(*this, {{kSatRing, kRead}});
    if (!access.granted()) return 0;
    MergeAscending(sat_rings_[system], display_sats_[system]);
    out = display_sats_[system];
    return 0;
}

int SatFkpStore::DisplayFkp(int system, std::vector<int32_t>& out) {
    if (!ValidSystem(system)) return 1;
    Access access(*this, {{kFkpRing, kRead}});
    if (!access.granted()) return 0;
    MergeAll(fkp_rings_[system], display_fkp_[system]);
    out = display_fkp_[system];
    return 0;
}

int SatFkpStore::MessageRecords(int system, std::vector<MessageRecord>& out) {
    if (!ValidSystem(system)) return 1;
    Access access(*this, {{kRecords, kRead}});
    if (!access.granted()) return 0;
    out = records_[system];
    return 0;
}

std::vector<int32_t> SatFkpStore::MessageTypes() {
    Access access(*this, {{kRecords, kRead}});
    if (!access.granted()) return {};
    return message_types_;
}

int SatFkpStore::SetGgaText(const std::string& text, int slot) {
    if (slot < 0 || slot >= kGgaSlots) return -1;
    Access access(*this, {{kGga, kWrite}});
    if (!access.granted()) return 0;
    gga_[slot] = text.substr(0, kGgaSize - 1);
    return 0;
}

int SatFkpStore::GetGgaText(std::string& destination, int slot) {
    if (slot < 0 || slot >= kGgaSlots) return -1;
    Access access(*this, {{kGga, kRead}});
    if (!access.granted()) return 0;
    destination = gga_[slot];
    return 0;
}

}  // namespace zerlan
