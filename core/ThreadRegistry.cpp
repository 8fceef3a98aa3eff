#include "core/ThreadRegistry.h"

#include <cstdio>

#include "core/FixedText.h"
#include "platform/Console.h"

namespace zerlan {

namespace {

bool ValidKind(int kind) { return kind >= 0 && kind < ThreadRegistry::kKinds; }
bool ValidIndex(int index) { return index >= 0 && index < ThreadRegistry::kMaxThreads; }

}  // namespace

ThreadRegistry::ThreadRegistry() {
    for (auto& name : names_) name[0] = '\0';
}

int ThreadRegistry::SetState(int run, int state) {
    if (run < 0 || run > 1 || state < 0 || state > 2) return 1;
    std::lock_guard<std::mutex> lock(mutex_);
    run_.store(run);
    state_.store(state);
    return 0;
}

int ThreadRegistry::GetState() {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_.load();
}

bool ThreadRegistry::StopRequested() const {
    // Lock-free on purpose: every worker asks in every pass, and a stale
    // answer only delays its stop by one pass.
    return state_.load() == 1 || run_.load() == 0;
}

int ThreadRegistry::Register(int kind, const char* name) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++registered_;
    last_total_ = registered_;
    if (ValidKind(kind)) {
        ++kind_count_[kind];
        last_index_of_kind_[kind] = kind_count_[kind];
    }
    const int index = registered_ - 1;
    if (ValidIndex(index)) {
        active_[index] = 1;
        CopyText(names_[index].data(), names_[index].size(), name);
    }
    return index;
}

int ThreadRegistry::Unregister(int kind, const char* /*name*/, int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    // A count below zero would hide a later registration from the general
    // stop, so an unmatched unregister leaves the counts at zero.
    int result = 0;
    if (ValidKind(kind)) {
        if (kind_count_[kind] > 0) --kind_count_[kind];
        result = kind_count_[kind];
    }
    if (ValidIndex(index)) active_[index] = 0;
    if (registered_ > 0) --registered_;
    return result;
}

int ThreadRegistry::Query(int selector) {
    std::lock_guard<std::mutex> lock(mutex_);
    switch (selector) {
        case 1: return registered_;
        case 2: return last_total_;
        case 3: return kind_count_[1];
        case 4: return kind_count_[2];
        case 5: return last_index_of_kind_[1];
        case 6: return last_index_of_kind_[2];
        case 7: return kind_count_[3];
        case 8: return last_index_of_kind_[3];
        case 9: return kind_count_[4];
        case 10: return last_index_of_kind_[4];
        default: return 0;
    }
}

int ThreadRegistry::KindCount(int kind) {
    if (!ValidKind(kind)) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    return kind_count_[kind];
}

void ThreadRegistry::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    state_.store(2);
    run_.store(0);
    active_.fill(0);
}

void ThreadRegistry::ResetCounts() {
    std::lock_guard<std::mutex> lock(mutex_);
    kind_count_.fill(0);
    last_index_of_kind_.fill(0);
    active_.fill(0);
}

std::string ThreadRegistry::ActiveListing() {
    std::string text;
    int count = 0;
    char line[kNameSize + 32];
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (int i = 0; i < kMaxThreads; ++i) {
            if (active_[i] != 1) continue;
            std::snprintf(line, sizeof line, "%s is aktiv\n", names_[i].data());
            text += line;
            ++count;
        }
    }
    std::snprintf(line, sizeof line, "Es sind noch %i Threads aktiv!\n", count);
    text += line;
    return text;
}

void ThreadRegistry::ShowActive() {
    // Built first: the box is shown without the registry lock held.
    const std::string text = ActiveListing();
    MessageBox(text, "Thread-Debug");
}

int ThreadRegistry::ActiveCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    int count = 0;
    for (int flag : active_) count += flag == 1 ? 1 : 0;
    return count;
}

}  // namespace zerlan
