// RinexEncoder: RINEX 2.10 observation data (C1, L1, P2, L2) from the decoded
// text of RTCM 2 types 18 (carrier phase) and 19 (pseudorange), GPS and
// GLONASS. Lines arrive byte by byte; observations are grouped into epochs of
// whole seconds in a ring of four, so that lines arriving late still find
// their epoch, and the oldest epoch is written when a fifth begins. Each
// record goes to the observation file of its epoch (named by RotationNamer,
// with a header of its own at the top) and, if asked, to a second sink (the
// RINEX pool that the TCP server relays).
//
// Verified against RTKLIB convbin on public RTCM 2.3 recordings (GPS only, and
// GPS with GLONASS): same epochs, satellites, C1 and P2; L1 and L2 equal
// modulo 2^23 cycles.
//
// Thread-safety: one encoder belongs to one thread (the encoder thread or the
// batch command). The environment hooks are called on that thread.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "config/Settings.h"

namespace zerlan {

// The `rinex` settings as numbers, after the settings reader's corrections.
struct RinexConfig {
    bool gps = true;
    bool glonass = true;
    bool to_files = true;
    bool to_pool = false;
    int interval_s = 1;
    int pc_minus_utc_s = 0;
    int layout = 0;
    int period_min = 0;
    std::string base_dir = ".\\";
    std::string prefix = "0000";  // "Auto": the station of the first frame
    double gps_glonass_s = 18.0;

    static RinexConfig From(const RinexParams& params);
    // "xo" for hourly and daily files, "o" for parts of an hour.
    std::string Extension() const { return period_min == 60 || period_min == 0 ? "xo" : "o"; }
};

// What the encoder asks of its surroundings.
struct RinexEnvironment {
    // The PC clock as global seconds (local calendar); default: the clock seam.
    std::function<int32_t()> now_seconds;
    // True while the owner is stopping: a file that cannot be opened is then
    // given up instead of retried.
    std::function<bool()> stop_pending;
    // Receives every header and record when RinexConfig::to_pool is set.
    std::function<void(const std::string&)> to_pool;
    // Batch runs: a file is started anew the first time this encoder opens it.
    bool fresh_files = false;
};

// One epoch of the ring.
struct RinexEpoch {
    static constexpr int kMaxSatellites = 50;
    // Per satellite: L1 C/A and P pseudorange, L1 phase, L2 C/A and P
    // pseudorange, L2 phase; 0.0 = not present.
    enum Slot { kL1Ca = 0, kL1P, kL1Phase, kL2Ca, kL2P, kL2Phase, kSlots };

    int32_t key = -1;  // global seconds; -1 = unused
    double time = 0.0;
    std::string path;
    std::string line;  // epoch line up to the satellite count
    std::vector<int> satellites;  // GLONASS as 40 + slot
    std::vector<std::array<double, kSlots>> values;

    void Clear() { *this = RinexEpoch(); }
};

class RinexEncoder {
public:
    static constexpr int kRingSize = 4;
    static constexpr int kLineSize = 1000;
    static constexpr int kGlonassOffset = 40;
    static constexpr double kL1Wavelength = 0.190293672798;  // m
    static constexpr double kL2Wavelength = 0.244210213425;  // m
    static constexpr double kPhaseModulus = 8388608.0;       // 2^23 cycles

    RinexEncoder(const RinexConfig& config, RinexEnvironment environment);
    // Closes the file; epochs still in the ring are lost unless Finish ran.
    ~RinexEncoder();
    RinexEncoder(const RinexEncoder&) = delete;
    RinexEncoder& operator=(const RinexEncoder&) = delete;

    // Collects a line; 0 while collecting, 1 after a line feed, 2 after a
    // line cut at kLineSize - 1 bytes. Complete lines go to EncodeLine.
    int PutByte(char byte);
    void EncodeLine(const std::string& line);
    // Writes the epochs still in the ring, oldest first, and closes the file.
    void Finish();

    // Epoch key (global seconds) of a measurement at `t` seconds of the hour;
    // opens a new epoch when the time has moved on.
    int32_t StartEpoch(double t, bool glonass);

    // Phase (cycles) made continuous with the pseudorange `range` (m): the
    // value -phase + k * 2^23 nearest to range / wavelength.
    static double ContinuousPhase(double range, double phase, double wavelength);

    // Texts of one epoch as they are written.
    std::string RecordText(const RinexEpoch& epoch) const;
    std::string HeaderText(const RinexEpoch& epoch) const;

    const RinexConfig& config() const { return config_; }
    const std::string& prefix() const { return prefix_; }
    int marker() const { return marker_; }
    double gps_glonass_s() const { return gps_glonass_s_; }
    // Key of the newest epoch, -1 before the first.
    int32_t last_key() const { return last_key_; }
    const std::string& antenna_type() const { return antenna_type_; }
    const std::string& antenna_number() const { return antenna_number_; }
    // Records written (files or pool) and the files opened, in order.
    int records() const { return records_; }
    const std::vector<std::string>& files() const { return files_; }
    // Files that could not be opened.
    int open_failures() const { return open_failures_; }

private:
    void StoreObservation(int type, int32_t key, double time);
    void WriteEpoch(int index);
    void SwitchFile(const RinexEpoch& epoch);
    void Emit(const std::string& text, bool header);
    void CloseFile();
    bool StopPending() const { return env_.stop_pending && env_.stop_pending(); }

    RinexConfig config_;
    RinexEnvironment env_;
    std::string prefix_;
    bool prefix_pending_ = false;

    char line_[kLineSize];
    int line_length_ = 0;
    std::vector<std::string> words_;

    // Header values.
    double position_[3] = {100000.0, 100000.0, 100000.0};
    double delta_[3] = {0.0, 0.0, 0.0};
    std::string antenna_type_ = "GPPNULLANTENNA";
    std::string antenna_number_ = "0123456789";
    int marker_ = 0;
    double gps_glonass_s_;

    // Epoch state.
    double last_raw_ = -1.0;
    bool round_up_ = false;
    std::string last_line_;
    int32_t last_key_ = -1;
    bool ring_full_ = false;
    int ring_index_ = -1;
    std::array<RinexEpoch, kRingSize> ring_;

    // Output state.
    std::FILE* file_ = nullptr;
    std::string current_path_;
    bool header_written_ = false;
    bool file_has_header_ = false;
    std::set<std::string> opened_;
    std::vector<std::string> files_;
    int records_ = 0;
    int open_failures_ = 0;
};

}  // namespace zerlan
