#include "core/StatusBoard.h"

#include "core/FixedText.h"

namespace zerlan {

namespace {
// Raises a busy flag for the life of a scope.
class BusyScope {
public:
    explicit BusyScope(std::atomic<int32_t>& flag) : flag_(flag) { flag_.store(1); }
    ~BusyScope() { flag_.store(0); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    std::atomic<int32_t>& flag_;
};
}  // namespace

StatusBoard::StatusBoard()
    : fields_(kFields), slots_(kSlots), stamps_(kSlots), values_(kSeconds, 0.0) {
    for (auto& f : fields_) f[0] = '\0';
    for (auto& s : slots_) s[0] = '\0';
    for (auto& s : stamps_) s[0] = '\0';
}

int StatusBoard::SetText(const char* text, int slot) {
    if (slot < 0 || slot >= kSlots || text_get_.load() != 0) return -1;
    std::lock_guard<std::mutex> lock(mutex_);
    BusyScope busy(text_set_);
    CopyText(slots_[slot].data(), kSlotSize, text);
    return 0;
}

int StatusBoard::SetText(const char* text, int slot_a, int slot_b) {
    if (slot_a < 0 || slot_a >= kSlots || slot_b < 0 || slot_b >= kSlots || text_get_.load() != 0) return -1;
    std::lock_guard<std::mutex> lock(mutex_);
    BusyScope busy(text_set_);
    CopyText(slots_[slot_a].data(), kSlotSize, text);
    CopyText(slots_[slot_b].data(), kSlotSize, text);
    return 0;
}

int StatusBoard::GetText(char* dest, int slot) {
    if (slot < 0 || slot >= kSlots || text_set_.load() != 0) return -1;
    std::lock_guard<std::mutex> lock(mutex_);
    BusyScope busy(text_get_);
    return static_cast<int>(CopyText(dest, kSlotSize, slots_[slot].data()));
}

int StatusBoard::GetText(std::string& dest, int slot) {
    char buffer[kSlotSize];
    int n = GetText(buffer, slot);
    dest = n >= 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
    return n;
}

int StatusBoard::SetValue(double value, int second) {
    if (second < 0 || second >= kSeconds || value_get_.load() != 0) return -1;
    std::lock_guard<std::mutex> lock(mutex_);
    BusyScope busy(value_set_);
    values_[second] = value;
    return 0;
}

double StatusBoard::GetValue(int second) {
    if (second < 0 || second >= kSeconds || value_set_.load() != 0) return -1.0;
    std::lock_guard<std::mutex> lock(mutex_);
    BusyScope busy(value_get_);
    return values_[second];
}

int StatusBoard::SetField(int index, const char* text) {
    if (index < 0 || index >= kFields) return -1;
    std::lock_guard<std::mutex> lock(mutex_);
    CopyText(fields_[index].data(), kFieldSize, text);
    return 0;
}

std::string StatusBoard::Field(int index) {
    if (index < 0 || index >= kFields) return {};
    std::lock_guard<std::mutex> lock(mutex_);
    return fields_[index].data();
}

void StatusBoard::Reset(const std::string& stamp) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& f : fields_) f[0] = '\0';
    for (int i = 0; i < kSlots; ++i) {
        slots_[i][0] = '\0';
        CopyText(stamps_[i].data(), kFieldSize, stamp.c_str());
    }
    for (double& v : values_) v = 0.0;
}

std::string StatusBoard::Stamp(int slot) {
    if (slot < 0 || slot >= kSlots) return {};
    std::lock_guard<std::mutex> lock(mutex_);
    return stamps_[slot].data();
}

}  // namespace zerlan
