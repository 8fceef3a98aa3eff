// RTCM 2 message interpretation: the text lines of one complete, parity-checked
// frame. Each message type has a writer that reads its fields from the frame's
// data bits (24 per word, parity removed, fields running on across words) and
// returns its lines, each ending in CR LF. Shared by the frame decoder; the
// writers are pure functions of the frame and may run on any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decoder/TextFormat.h"

namespace zerlan {

struct Rtcm2Frame {
    int type = 0;
    int station = 0;
    int health = 0;
    int sequence = 0;
    int word_count = 0;
    double zseconds = 0.0;  // Z-count in seconds of the hour
    bool version23 = true;
    std::string data;       // the data bits of every word received, 24 per word
    int Words() const { return static_cast<int>(data.size() / 24); }
};

using Rtcm2Lines = std::vector<std::string>;

// True for the message types that have a writer.
bool Rtcm2HasWriter(int type);
// Lines of a complete frame (no header line). `glonass_flag` receives the
// header flag: 0 for GPS messages, 1 for GLONASS ones.
Rtcm2Lines Rtcm2MessageLines(const Rtcm2Frame& frame, int* glonass_flag);

// Word-count rule of a type: first data word is rejected when false.
bool Rtcm2WordCountValid(int type, int word_count);

// Field access on the frame's data bits. Offsets are 0-based bit positions in
// the data; bits beyond the received words read as 0, so a short frame never
// reads past its end.
class Rtcm2Fields {
public:
    explicit Rtcm2Fields(std::string_view data) : data_(data) {}
    // Offset of bit `bit` (1..24) of data word `word` (1-based).
    static int At(int word, int bit) { return (word - 1) * 24 + (bit - 1); }
    std::string Cut(int offset, int bits) const;
    uint32_t U(int offset, int bits) const;
    int32_t S(int offset, int bits) const;
    // Unsigned and two's-complement values in double precision (wide fields).
    double UD(int offset, int bits) const;
    double SD(int offset, int bits) const;
    // One character of 8 bits.
    char C(int offset) const;
    int Size() const { return static_cast<int>(data_.size()); }

private:
    std::string_view data_;
};

inline constexpr const char* kCrLf = "\r\n";

// Writers by family (one file each).
Rtcm2Lines Rtcm2CorrectionLines(const Rtcm2Frame& frame);   // 1, 2, 9, 31, 34
Rtcm2Lines Rtcm2StationLines(const Rtcm2Frame& frame);      // 3, 32, 4, 22, 24
Rtcm2Lines Rtcm2HealthLines(const Rtcm2Frame& frame);       // 5, 33
Rtcm2Lines Rtcm2MiscLines(const Rtcm2Frame& frame);         // 7, 13, 14, 15, 16, 23, 37
Rtcm2Lines Rtcm2EphemerisLines(const Rtcm2Frame& frame);    // 17
Rtcm2Lines Rtcm2RtkLines(const Rtcm2Frame& frame);          // 18, 19, 20, 21
Rtcm2Lines Rtcm2FkpLines(const Rtcm2Frame& frame, int* glonass_flag);  // 59

}  // namespace zerlan
