// The program's window messages. Workers reach the view only through these
// numbers; the payload lies in the SharedState (or, for texts, travels with
// the message as its own copy).
#pragma once

#include <array>
#include <cstdint>

namespace zerlan {

constexpr uint32_t WM_USER = 0x0400;

namespace msg {
constexpr uint32_t kReady = WM_USER + 100;            // start-up thread: program ready
constexpr uint32_t kGeneralStopDone = WM_USER + 102;  // general stop: all threads ended
constexpr uint32_t kDisplayText = WM_USER + 108;      // append DisplayText to the log
constexpr uint32_t kClock = WM_USER + 113;            // clock tick, every 400 ms
constexpr uint32_t kInputBar = WM_USER + 114;
constexpr uint32_t kAllOutputBars = WM_USER + 115;
constexpr uint32_t kCasterOutBar = WM_USER + 116;
constexpr uint32_t kSerialOutBar = WM_USER + 117;
constexpr uint32_t kTcpClientOutBar = WM_USER + 118;
constexpr uint32_t kUdpOutBar = WM_USER + 119;
constexpr uint32_t kPipeOutBar = WM_USER + 120;
constexpr uint32_t kBar1019 = WM_USER + 121;
constexpr uint32_t kStopJob = WM_USER + 122;
constexpr uint32_t kCasterOutRate = WM_USER + 123;
constexpr uint32_t kSerialOutRate = WM_USER + 124;
constexpr uint32_t kTcpOutRate = WM_USER + 125;
constexpr uint32_t kUdpOutRate = WM_USER + 126;
constexpr uint32_t kPipeOutRate = WM_USER + 127;
constexpr uint32_t kFileOutRate = WM_USER + 128;
constexpr uint32_t kInputRate = WM_USER + 131;
constexpr uint32_t kPoolTotal = WM_USER + 132;
constexpr uint32_t kSettingsToShared = WM_USER + 133;
constexpr uint32_t kDialogSettingsToView = WM_USER + 134;
constexpr uint32_t kSourcetableRefresh = WM_USER + 136;
constexpr uint32_t kDecoderFields = WM_USER + 138;
constexpr uint32_t kStatusSlot10 = WM_USER + 139;

// Refresh messages of the data paths (bars, decoder fields, status text):
// the handler reads the current value from the shared state, so one pending
// copy is as good as many. Workers post them, never wait for them, and a copy
// already waiting is not queued again. The rate watch's numbers are among
// them: the pool total it shows is kept aside before its counter is reduced.
constexpr bool IsRefreshMessage(uint32_t id) {
    return (id >= kInputBar && id <= kBar1019) || (id >= kCasterOutRate && id <= kFileOutRate) || id == kInputRate ||
           id == kPoolTotal || id == kDecoderFields || id == kStatusSlot10;
}
constexpr uint32_t kClearDecoderFields = WM_USER + 140;
constexpr uint32_t kGpsFkpCount = WM_USER + 141;
constexpr uint32_t kGloFkpCount = WM_USER + 142;
constexpr uint32_t kGpsSatList = WM_USER + 143;
constexpr uint32_t kGloSatList = WM_USER + 144;
constexpr uint32_t kSatDetails = WM_USER + 145;
constexpr uint32_t kRestart = WM_USER + 146;
constexpr uint32_t kRestartWait = WM_USER + 147;
constexpr uint32_t kRestartCaster = WM_USER + 148;
}  // namespace msg

// The 50-entry message table: +100 .. +148 in order, and a 50th entry that
// repeats +145.
constexpr std::array<uint32_t, 50> MakeMessageTable() {
    std::array<uint32_t, 50> table{};
    for (uint32_t i = 0; i < 49; ++i) table[i] = WM_USER + 100 + i;
    table[49] = WM_USER + 145;
    return table;
}
inline constexpr std::array<uint32_t, 50> kMessageTable = MakeMessageTable();

}  // namespace zerlan
