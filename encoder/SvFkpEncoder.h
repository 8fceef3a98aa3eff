// SvFkpPool: condenses decoded RTCM text into three facts per decoded frame
// for the SatFkpStore: the satellites the frame carried, the satellites it
// carried FKP (area correction parameters) for, and its message type with
// the seconds since that type was last seen. System 0 is GPS, 1 GLONASS
// (decoded satellite numbers of 41 and above).
//
// A frame's facts are handed over when the next frame header arrives, so the
// last frame before a stop is never reported. Headers of the encrypted-data
// messages 1047/1048 leave the collected satellite and FKP lists untouched.
//
// Thread-safety: one object per thread (the pool thread owns it); the store
// guards itself.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "decoder/StringAnalyser.h"

namespace zerlan {

class SatFkpStore;

class SvFkpPool {
public:
    static constexpr int kLineSize = 1000;
    static constexpr int kListSize = 100;
    static constexpr int kTypes = 5000;
    // Type 59 header lines keep an interval of their own under this index.
    static constexpr int kFkpHeaderIndex = 1000;

    // `pc_time` gives the time text of a frame header ("... (PC-Time)").
    // Resets the store with the status page's `message_types`.
    SvFkpPool(SatFkpStore& store, const std::string& message_types, std::function<std::string()> pc_time);
    SvFkpPool(const SvFkpPool&) = delete;
    SvFkpPool& operator=(const SvFkpPool&) = delete;

    // 2 when the byte completed a line (line feed, or 999 bytes) that was
    // interpreted, else 0.
    int PutByte(char byte);
    void PoolLine(std::string_view line);

private:
    struct SystemLists {
        std::vector<int32_t> satellites;
        std::vector<int32_t> fkp;
        struct Entry {
            int32_t type;
            std::string time_text;
        };
        std::vector<Entry> messages;
        std::array<int32_t, kListSize> intervals{};  // by message-list position; kept across frames
        std::array<int64_t, kTypes> last_seen{};     // by type index
    };

    void FlushFrame(int type);
    void AddMt59(const std::string& w5, const std::string& w6);
    void AddMessage(int type, const std::string& w1, const std::string& w2);
    // Appends a message entry; returns its list position, -1 when full.
    int AppendMessage(int system, int type);
    void NoteInterval(int system, int position, int index);
    static int SystemOf(int satellite) { return satellite < 41 ? 0 : 1; }
    static void Append(std::vector<int32_t>& list, int32_t number);

    SatFkpStore& store_;
    std::function<std::string()> pc_time_;
    std::array<char, kLineSize> line_{};
    int length_ = 0;
    CStringAnalyser words_;
    std::string time_text_;
    std::array<SystemLists, 2> systems_;
    std::array<bool, kTypes> has_satellite_lines_{};
};

}  // namespace zerlan
