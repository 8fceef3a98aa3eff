#include "encoder/SvFkpEncoder.h"

#include <cstdlib>
#include <span>

#include "platform/Clock.h"
#include "supervision/SatFkpStore.h"

namespace zerlan {

namespace {

bool IsGlonassType(int type) {
    return (type >= 1009 && type <= 1012) || type == 1020 || (type >= 1035 && type <= 1039) ||
           (type >= 31 && type <= 34);
}

// Encrypted-data messages carry no satellites of their own.
bool IsEncryptedType(int type) { return type == 1047 || type == 1048; }

}  // namespace

SvFkpPool::SvFkpPool(SatFkpStore& store, const std::string& message_types, std::function<std::string()> pc_time)
    : store_(store), pc_time_(std::move(pc_time)) {
    const int64_t now = Clock::Get().EpochSeconds();
    for (SystemLists& s : systems_) s.last_seen.fill(now);
    store_.Reset(message_types);
}

int SvFkpPool::PutByte(char byte) {
    line_[static_cast<size_t>(length_)] = byte;
    if (byte != '\n' && length_ < kLineSize - 2) {
        ++length_;
        return 0;
    }
    PoolLine(std::string_view(line_.data(), static_cast<size_t>(length_) + 1));
    length_ = 0;
    return 2;
}

void SvFkpPool::PoolLine(std::string_view line) {
    words_.Split(' ', line);
    const std::string& word0 = words_.Field(0);
    const int type = word0.size() > 2 ? std::atoi(word0.substr(2, 4).c_str()) : 0;
    if (words_.Field(9) == "Frame" && words_.Field(3) == "Status") {
        time_text_ = pc_time_ ? pc_time_() : std::string();
        FlushFrame(type);
    } else if (type == 59) {
        AddMt59(words_.Field(5), words_.Field(6));
    } else if (type >= 1 && type < 4100) {
        AddMessage(type, words_.Field(1), words_.Field(2));
    }
}

void SvFkpPool::FlushFrame(int type) {
    for (int system = 0; system < 2; ++system) {
        SystemLists& s = systems_[static_cast<size_t>(system)];
        if (!s.satellites.empty() && !IsEncryptedType(type)) {
            store_.SetSatelliteList(std::span<const int32_t>(s.satellites), system);
            s.satellites.clear();
        }
        if (!s.fkp.empty() && !IsEncryptedType(type)) {
            store_.SetFkpList(std::span<const int32_t>(s.fkp), system);
            s.fkp.clear();
        }
        if (!s.messages.empty()) {
            store_.AddMessageRecord(s.messages[0].type, system, s.messages[0].time_text, s.intervals[0]);
            s.messages.clear();
        }
    }
}

void SvFkpPool::AddMt59(const std::string& w5, const std::string& w6) {
    if (w5 == "Sv") {
        const int satellite = std::atoi(w6.c_str());
        const int system = SystemOf(satellite);
        Append(systems_[static_cast<size_t>(system)].fkp, satellite);
        Append(systems_[static_cast<size_t>(system)].satellites, satellite);
        NoteInterval(system, AppendMessage(system, 59), 59);
    } else if (w6 != "AdV") {
        NoteInterval(0, AppendMessage(0, 59), kFkpHeaderIndex);
    }
}

void SvFkpPool::AddMessage(int type, const std::string& w1, const std::string& w2) {
    if (w1 != "SV") {
        if (has_satellite_lines_[static_cast<size_t>(type)]) return;
        const int system = IsGlonassType(type) ? 1 : 0;
        NoteInterval(system, AppendMessage(system, type), type);
        return;
    }
    has_satellite_lines_[static_cast<size_t>(type)] = true;
    const int satellite = std::atoi(w2.c_str());
    const int system = SystemOf(satellite);
    SystemLists& s = systems_[static_cast<size_t>(system)];
    Append(s.satellites, satellite);
    NoteInterval(system, AppendMessage(system, type), type);
    if (type == 1034 || type == 1035) Append(s.fkp, satellite);
}

int SvFkpPool::AppendMessage(int system, int type) {
    auto& messages = systems_[static_cast<size_t>(system)].messages;
    if (messages.size() >= static_cast<size_t>(kListSize)) return -1;
    messages.push_back({type, time_text_});
    return static_cast<int>(messages.size()) - 1;
}

void SvFkpPool::NoteInterval(int system, int position, int index) {
    if (system < 0 || system > 1 || position < 0 || position >= kListSize || index < 0 || index >= kTypes) return;
    SystemLists& s = systems_[static_cast<size_t>(system)];
    const int64_t now = Clock::Get().EpochSeconds();
    const int64_t d = now - s.last_seen[static_cast<size_t>(index)];
    // Several lines of one frame count once.
    if (d < 1) return;
    s.intervals[static_cast<size_t>(position)] = static_cast<int32_t>(d);
    s.last_seen[static_cast<size_t>(index)] = now;
}

void SvFkpPool::Append(std::vector<int32_t>& list, int32_t number) {
    // Lines beyond a frame's hundredth are dropped, as the store would.
    if (list.size() < static_cast<size_t>(kListSize)) list.push_back(number);
}

}  // namespace zerlan
