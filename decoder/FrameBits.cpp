#include "decoder/FrameBits.h"

namespace zerlan {

uint64_t FrameBits::RawSlow(int from, int to) const {
    uint64_t value = 0;
    // Wider fields in pieces; only the low 64 bits survive, as a shift register would keep them.
    for (int p = from; p <= to;) {
        const int n = to - p + 1 > 56 ? 56 : to - p + 1;
        value = (n == 64 ? 0 : value << n) | ReadBits(data_, static_cast<size_t>(p - 1), n);
        p += n;
    }
    return value;
}

double FrameBits::UD(int from, int to) const {
    if (!Clip(from, to)) return 0.0;
    // Doubles hold 53 bits exactly; longer fields are summed as the text form does.
    if (to - from + 1 <= 53) return static_cast<double>(Raw(from, to));
    double value = 0.0;
    for (int p = from; p <= to; ++p) value = value * 2.0 + static_cast<double>(Raw(p, p));
    return value;
}

double FrameBits::S(int from, int to) const {
    if (!Clip(from, to)) return 0.0;
    const double rest = from < to ? UD(from + 1, to) : 0.0;
    if (Raw(from, from) == 0) return rest;
    double top = 1.0;
    for (int i = from; i < to; ++i) top *= 2.0;
    return rest - top;
}

double FrameBits::M(int from, int to) const {
    if (!Clip(from, to)) return 0.0;
    const double magnitude = from < to ? UD(from + 1, to) : 0.0;
    return Raw(from, from) != 0 ? magnitude * -1.0 : magnitude;
}

uint8_t FrameBits::Byte(int from) const {
    int to = from + 7;
    if (!Clip(from, to)) return 0;
    const int n = to - from + 1;
    return static_cast<uint8_t>(Raw(from, to) << (8 - n));
}

}  // namespace zerlan
