// Decoded information handed from decoders and services to the view: seven
// short fields, 250 text slots of 1000 characters and one value per second of
// the day.
//
// Thread-safety: any thread may call any method. A text-get running refuses
// text-sets (and the other way round) with -1 at once; callers retry. The same
// holds for values. Texts are cut to the slot size minus one.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace zerlan {

class StatusBoard {
public:
    static constexpr int kSlots = 250;
    static constexpr int kSlotSize = 1000;
    static constexpr int kFields = 7;
    static constexpr int kFieldSize = 100;
    static constexpr int kSeconds = 86400;

    StatusBoard();
    StatusBoard(const StatusBoard&) = delete;
    StatusBoard& operator=(const StatusBoard&) = delete;

    // 0 done; -1 for a slot outside 0..249 or while a text-get runs.
    int SetText(const char* text, int slot);
    int SetText(const char* text, int slot_a, int slot_b);
    // Copies the slot into `dest` (at least kSlotSize bytes); returns its
    // length, -1 for a slot outside 0..249 or while a text-set runs.
    int GetText(char* dest, int slot);
    // Convenience for callers that keep std::string; "" when refused.
    int GetText(std::string& dest, int slot);

    int SetValue(double value, int second);
    double GetValue(int second);

    // The seven short fields (0..6); -1 outside.
    int SetField(int index, const char* text);
    std::string Field(int index);

    // Clears fields, slots and values; stamps every slot with `stamp`.
    void Reset(const std::string& stamp);
    std::string Stamp(int slot);

private:
    std::mutex mutex_;
    std::atomic<int32_t> text_get_{0}, text_set_{0}, value_get_{0}, value_set_{0};
    std::vector<std::array<char, kFieldSize>> fields_;
    std::vector<std::array<char, kSlotSize>> slots_;
    std::vector<std::array<char, kFieldSize>> stamps_;
    std::vector<double> values_;
};

}  // namespace zerlan
