#include "encoder/AnswerEncoder.h"

#include <algorithm>
#include <cstring>

namespace zerlan {

namespace {
constexpr int kGgaFields = 15;
}  // namespace

int AnswerEncoder::PutByte(char byte) {
    line_[static_cast<size_t>(length_)] = byte;
    if (byte != '\n') line_complete_ = 0;
    if (byte != '\n' && length_ < kCutLength - 1) {
        ++length_;
        return 0;
    }
    line_complete_ = 1;
    line_[static_cast<size_t>(length_) + 1] = '\0';
    // A NUL inside the line ends it, as it would end any text handed on.
    TakeLine(std::string_view(line_.data(), strnlen(line_.data(), static_cast<size_t>(length_) + 1)));
    length_ = 0;
    return 2;
}

int AnswerEncoder::TakeLine(std::string_view line) {
    // Fields end at the line end; a trailing empty field counts, as in a GGA
    // sentence whose last fields are empty.
    const std::string_view text = line.substr(0, line.find_first_of(std::string_view("\r\n\0", 3)));
    if (text.empty()) return 0;
    const int fields = static_cast<int>(std::count(text.begin(), text.end(), ',')) + 1;
    if (fields == kGgaFields && text.substr(0, text.find(',')) == "$GPGGA") {
        last_gga_.assign(line.substr(0, kCutLength));
    }
    return fields;
}

}  // namespace zerlan
