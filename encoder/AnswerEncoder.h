// AnswerEncoder: cuts the text that a network output client sends back into
// lines, byte by byte, and keeps the last NMEA GGA sentence among them (a line
// whose first comma field is exactly "$GPGGA" and which has 15 fields). The
// checksum is not verified: a client's position is passed on as it came.
//
// Thread-safety: one object per thread (the NMEA thread owns them).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zerlan {

class AnswerEncoder {
public:
    static constexpr int kLineSize = 1000;
    // A line without a line feed is cut after this many bytes.
    static constexpr int kCutLength = 999;

    AnswerEncoder() = default;

    // 0 while a line is being collected, 2 when a line was completed (line
    // feed, or cut at kCutLength bytes) and examined.
    int PutByte(char byte);
    // Examines one line; returns its number of comma-separated fields.
    int TakeLine(std::string_view line);

    const std::string& LastGga() const { return last_gga_; }
    bool LineComplete() const { return line_complete_ != 0; }

private:
    std::array<char, kLineSize> line_{};
    int32_t length_ = 0;
    int32_t line_complete_ = 0;
    std::string last_gga_;
};

}  // namespace zerlan
