#include "decoder/TextFormat.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace zerlan {
namespace {

__extension__ typedef unsigned __int128 Uint128;

constexpr auto kPow10 = [] {
    std::array<uint64_t, 20> powers{};
    uint64_t value = 1;
    for (auto& power : powers) {
        power = value;
        value *= 10;
    }
    return powers;
}();

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the decimal digits of `value` so that they end just before `end`;
// returns where they start.
char* DigitsBefore(char* end, uint64_t value) {
    while (value >= 100) {
        const unsigned pair = static_cast<unsigned>(value % 100) * 2;
        value /= 100;
        end -= 2;
        end[0] = kDigitPairs[pair];
        end[1] = kDigitPairs[pair + 1];
    }
    if (value >= 10) {
        end -= 2;
        end[0] = kDigitPairs[value * 2];
        end[1] = kDigitPairs[value * 2 + 1];
    } else {
        *--end = static_cast<char>('0' + value);
    }
    return end;
}

// Number of decimal digits of `value` (1 for 0).
int DecimalLength(uint64_t value) {
    value |= 1;  // the same length, and 0 counts one digit
    const int guess = (std::bit_width(value) * 1233) >> 12;  // log10(2) ~ 1233/4096
    return guess + (value >= kPow10[guess] ? 1 : 0);
}

// Exactly `count` digits of `value` (leading zeros, higher digits dropped)
// ending just before `end`; returns what is left of the value.
uint64_t LastDigits(char* end, uint64_t value, int count) {
    for (; count >= 2; count -= 2) {
        const unsigned pair = static_cast<unsigned>(value % 100) * 2;
        value /= 100;
        end -= 2;
        end[0] = kDigitPairs[pair];
        end[1] = kDigitPairs[pair + 1];
    }
    if (count == 1) {
        *--end = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return value;
}

// |value| * 10^precision rounded to an integer the way printf rounds the
// exact binary value (half to even); false when the result needs more than
// 64 bits, for NaN and infinity.
bool ScaledDecimal(double magnitude, int precision, uint64_t& scaled) {
    if (precision > 17 || !(magnitude < 1.8e19)) return false;
    uint64_t bits;
    std::memcpy(&bits, &magnitude, sizeof bits);
    const int biased = static_cast<int>(bits >> 52) & 0x7FF;
    uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
    int exponent = -1074;
    if (biased != 0) {
        mantissa |= uint64_t{1} << 52;
        exponent = biased - 1075;
    }
    // Below 2^110: the mantissa has 53 bits, 10^17 has 57.
    Uint128 product = static_cast<Uint128>(mantissa) * kPow10[precision];
    if (exponent >= 0) {
        product <<= exponent;  // exponent <= 11 below 1.8e19
    } else if (-exponent > 111) {
        product = 0;  // the value is below half a unit
    } else {
        const int shift = -exponent;
        const Uint128 quotient = product >> shift;
        const Uint128 rest = product - (quotient << shift);
        const Uint128 half = static_cast<Uint128>(1) << (shift - 1);
        product = quotient + ((rest > half || (rest == half && (quotient & 1) != 0)) ? 1 : 0);
    }
    if ((product >> 64) != 0) return false;
    scaled = static_cast<uint64_t>(product);
    return true;
}

struct Spec {
    bool left = false, zero = false, space = false, plus = false;
    int width = 0;
    int precision = -1;
};

// The text is built in a stack buffer and appended to the string in large
// pieces: appending each field on its own costs more than formatting it.
// Unpadded numbers are written straight into it (Room, Done); everything
// else goes through Put.
class Sink {
public:
    static constexpr size_t kRoom = 128;

    explicit Sink(std::string& out) : out_(&out) {}
    // Into a fixed buffer, cut to its size; Written() counts the whole text.
    Sink(char* buffer, size_t size) : fixed_(buffer), fixed_size_(size) {}
    ~Sink() { Flush(); }
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;

    // At least kRoom characters free from the returned position on.
    char* Room() {
        if (static_cast<size_t>(buffer_ + kSize - at_) < kRoom) Flush();
        return at_;
    }
    void Done(char* end) { at_ = end; }

    void Put(const char* text, size_t length) {
        if (length > static_cast<size_t>(buffer_ + kSize - at_)) {
            Flush();
            if (length > kSize) {
                Deliver(text, length);
                return;
            }
        }
        std::memcpy(at_, text, length);
        at_ += length;
    }
    void Fill(char c, size_t count) {
        while (count > 0) {
            if (at_ == buffer_ + kSize) Flush();
            const size_t free = static_cast<size_t>(buffer_ + kSize - at_);
            const size_t n = count < free ? count : free;
            std::memset(at_, c, n);
            at_ += n;
            count -= n;
        }
    }
    void Flush() {
        Deliver(buffer_, static_cast<size_t>(at_ - buffer_));
        at_ = buffer_;
    }
    size_t Written() const { return written_ + static_cast<size_t>(at_ - buffer_); }

private:
    void Deliver(const char* text, size_t length) {
        if (out_ != nullptr) {
            out_->append(text, length);
        } else if (written_ + 1 < fixed_size_) {
            const size_t free = fixed_size_ - 1 - written_;
            const size_t n = length < free ? length : free;
            std::memcpy(fixed_ + written_, text, n);
            fixed_[written_ + n] = '\0';
        }
        written_ += length;
    }

    static constexpr size_t kSize = 2048;
    std::string* out_ = nullptr;
    char* fixed_ = nullptr;
    size_t fixed_size_ = 0;
    size_t written_ = 0;  // delivered so far
    char buffer_[kSize];
    char* at_ = buffer_;
};

// Pads `body` (sign included) to the width as printf does.
void Emit(Sink& out, const Spec& spec, const char* body, size_t length, bool numeric) {
    const size_t width = spec.width > 0 ? static_cast<size_t>(spec.width) : 0;
    if (length >= width) {
        out.Put(body, length);
    } else if (spec.left) {
        out.Put(body, length);
        out.Fill(' ', width - length);
    } else if (spec.zero && numeric) {
        size_t sign = (length > 0 && (body[0] == '-' || body[0] == '+' || body[0] == ' ')) ? 1 : 0;
        out.Put(body, sign);
        out.Fill('0', width - length);
        out.Put(body + sign, length - sign);
    } else {
        out.Fill(' ', width - length);
        out.Put(body, length);
    }
}

char SignOf(const Spec& spec, bool negative) {
    return negative ? '-' : spec.plus ? '+' : spec.space ? ' ' : '\0';
}

void Integer(Sink& out, Spec spec, bool negative, unsigned long long magnitude, int base, bool upper) {
    char digits[72];
    char* end = digits + sizeof digits;
    char* first;
    if (base == 10) {
        if (spec.width == 0 && spec.precision < 0) {
            // Most fields: no padding, no precision; written in place.
            char* at = out.Room();
            if (const char sign = SignOf(spec, negative)) *at++ = sign;
            at += DecimalLength(magnitude);
            DigitsBefore(at, magnitude);
            out.Done(at);
            return;
        }
        first = DigitsBefore(end, magnitude);
    } else {
        auto [stop, ec] = std::to_chars(digits, end, magnitude, base);
        (void)ec;
        first = digits;
        end = stop;
        if (upper)
            for (char* c = first; c < end; ++c)
                if (*c >= 'a' && *c <= 'f') *c = static_cast<char>(*c - 'a' + 'A');
    }
    size_t n = static_cast<size_t>(end - first);
    char body[96];
    size_t length = 0;
    if (const char sign = SignOf(spec, negative)) body[length++] = sign;
    // A precision gives the least number of digits; "0" with precision 0 is empty.
    if (spec.precision >= 0) {
        spec.zero = false;
        if (spec.precision == 0 && magnitude == 0) n = 0;
        for (int i = static_cast<int>(n); i < spec.precision && length < 80; ++i) body[length++] = '0';
    }
    std::memcpy(body + length, first, n);
    Emit(out, spec, body, length + n, true);
}

// `value` with `precision` decimals, as %f prints it, from `at` on, `sign`
// (if not '\0') in front of a non-negative value; returns the length, 0 when
// the value needs the general conversion. At most 40 characters.
size_t FixedText(char* at, double value, int precision, char sign) {
    uint64_t scaled = 0;
    if (!ScaledDecimal(std::fabs(value), precision, scaled)) return 0;
    if (std::signbit(value)) sign = '-';
    const int digits = DecimalLength(scaled);
    const int whole = digits > precision ? digits - precision : 1;
    const size_t length = (sign != '\0' ? 1 : 0) + static_cast<size_t>(whole) +
                          (precision > 0 ? static_cast<size_t>(precision) + 1 : 0);
    // From the last digit.
    char* end = at + length;
    if (precision > 0) {
        scaled = LastDigits(end, scaled, precision);
        end -= precision + 1;
        *end = '.';
    }
    DigitsBefore(end, scaled);
    if (sign != '\0') at[0] = sign;
    return length;
}

void Floating(Sink& out, const Spec& spec, double value, char conversion) {
    const int precision = spec.precision < 0 ? 6 : spec.precision;
    const bool negative = std::signbit(value);
    const bool fixed = conversion == 'f' || conversion == 'F';
    if (fixed) {
        // The common case, without the general conversion.
        char local[64];
        char* const at = spec.width == 0 ? out.Room() : local;
        if (const size_t length = FixedText(at, value, precision, SignOf(spec, false))) {
            if (spec.width == 0) out.Done(at + length);
            else Emit(out, spec, local, length, true);
            return;
        }
    }
    char body[400];
    size_t length = 0;
    if (!negative) {
        if (spec.plus) body[length++] = '+';
        else if (spec.space) body[length++] = ' ';
    }
    auto [end, ec] = std::to_chars(body + length, body + sizeof body, value,
                                   fixed ? std::chars_format::fixed : std::chars_format::scientific, precision);
    if (ec != std::errc()) {
        // Beyond the buffer (a fixed value near 1e308): the library knows best.
        char format[16];
        std::snprintf(format, sizeof format, "%%%s%s.%d%c", spec.plus ? "+" : "", spec.space ? " " : "", precision,
                      conversion);
        char big[400];
        const int n = std::snprintf(big, sizeof big, format, value);
        Emit(out, spec, big, n > 0 ? static_cast<size_t>(n) : 0, true);
        return;
    }
    length = static_cast<size_t>(end - body);
    const bool finite = std::isfinite(value);
    if (conversion == 'E' || conversion == 'F')
        for (size_t i = 0; i < length; ++i)
            if (body[i] >= 'a' && body[i] <= 'z') body[i] = static_cast<char>(body[i] - 'a' + 'A');
    Spec padding = spec;
    if (!finite) padding.zero = false;
    Emit(out, padding, body, length, true);
}

void PlainInteger(Sink& out, long long value) {
    const unsigned long long magnitude =
        value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    char* at = out.Room();
    if (value < 0) *at++ = '-';
    at += DecimalLength(magnitude);
    DigitsBefore(at, magnitude);
    out.Done(at);
}

// One '%' directive as parsed.
struct Directive {
    Spec spec;
    int longs = 0;
    bool half = false;
    char conversion = '\0';
};

// Parses the directive after its '%' at `p`; returns where the text goes on.
// A '*' takes its number from `args`; without them the directive is marked
// as one that cannot be kept (`star`).
const char* ParseDirective(const char* p, Directive& d, va_list* args, bool* star) {
    Spec& spec = d.spec;
    for (;; ++p) {
        if (*p == '-') spec.left = true;
        else if (*p == '0') spec.zero = true;
        else if (*p == ' ') spec.space = true;
        else if (*p == '+') spec.plus = true;
        else break;
    }
    if (*p == '*') {
        if (args == nullptr) *star = true;
        else spec.width = va_arg(*args, int);
        if (spec.width < 0) {
            spec.left = true;
            spec.width = -spec.width;
        }
        ++p;
    }
    while (*p >= '0' && *p <= '9') spec.width = spec.width * 10 + (*p++ - '0');
    if (*p == '.') {
        ++p;
        spec.precision = 0;
        if (*p == '*') {
            if (args == nullptr) *star = true;
            else spec.precision = va_arg(*args, int);
            ++p;
        }
        while (*p >= '0' && *p <= '9') spec.precision = spec.precision * 10 + (*p++ - '0');
    }
    while (*p == 'l' || *p == 'h') {
        if (*p == 'l') ++d.longs;
        else d.half = true;
        ++p;
    }
    d.conversion = *p;
    if (d.conversion != '\0') ++p;
    return p;
}

bool Known(char conversion) { return conversion != '\0' && std::strchr("diuxXcsfFeE%", conversion) != nullptr; }

// Converts the next argument; the conversion must be Known.
void Convert(Sink& out, const Directive& d, va_list* args) {
    Spec spec = d.spec;
    switch (d.conversion) {
        case 'd': case 'i': {
            long long v = d.longs >= 2   ? va_arg(*args, long long)
                          : d.longs == 1 ? va_arg(*args, long)
                                         : va_arg(*args, int);
            if (d.half) v = static_cast<short>(v);
            const unsigned long long magnitude =
                v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
            Integer(out, spec, v < 0, magnitude, 10, false);
            break;
        }
        case 'u': case 'x': case 'X': {
            unsigned long long v = d.longs >= 2   ? va_arg(*args, unsigned long long)
                                   : d.longs == 1 ? va_arg(*args, unsigned long)
                                                  : va_arg(*args, unsigned int);
            if (d.half) v = static_cast<unsigned short>(v);
            spec.space = spec.plus = false;
            Integer(out, spec, false, v, d.conversion == 'u' ? 10 : 16, d.conversion == 'X');
            break;
        }
        case 'c': {
            const char c = static_cast<char>(va_arg(*args, int));
            Emit(out, spec, &c, 1, false);
            break;
        }
        case 's': {
            const char* s = va_arg(*args, const char*);
            if (s == nullptr) s = "(null)";
            size_t n = std::strlen(s);
            if (spec.precision >= 0 && static_cast<size_t>(spec.precision) < n) n = static_cast<size_t>(spec.precision);
            Emit(out, spec, s, n, false);
            break;
        }
        case 'f': case 'F': case 'e': case 'E':
            Floating(out, spec, va_arg(*args, double), d.conversion);
            break;
        default:  // '%'
            out.Put("%", 1);
            break;
    }
}

// The general path: the format is read as it is used.
void Format(Sink& out, const char* format, va_list* args) {
    for (const char* p = format; *p != '\0';) {
        if (*p != '%') {
            const char* run = p;
            p = strchrnul(p, '%');
            out.Put(run, static_cast<size_t>(p - run));
            continue;
        }
        const char* start = p;
        Directive d;
        p = ParseDirective(p + 1, d, args, nullptr);
        if (!Known(d.conversion)) {
            // Not used by the decoders: the rest goes through the library.
            char tail[2048];
            const int n = std::vsnprintf(tail, sizeof tail, start, *args);
            if (n > 0) out.Put(tail, static_cast<size_t>(n) < sizeof tail ? static_cast<size_t>(n) : sizeof tail - 1);
            return;
        }
        Convert(out, d, args);
    }
}

// A format parsed once: the decoders print the same few formats over and
// over, and reading them again each time costs as much as the conversions.
struct Compiled {
    static constexpr size_t kPadding = 16;  // literals are copied 16 at a time

    // Directives without flags, width or (for numbers other than %f)
    // precision, which is nearly all of them, skip the general conversion.
    enum Kind : uint8_t { kNone, kGeneral, kInt, kLong, kString, kFixed };

    struct Piece {
        uint32_t literal_at = 0;  // the text before the directive, in `literals`
        uint32_t literal_length = 0;
        Kind kind = kNone;  // kNone: the text alone
        Directive directive;
    };

    static Kind KindOf(const Directive& d) {
        const Spec& spec = d.spec;
        if (spec.left || spec.zero || spec.space || spec.plus || spec.width != 0 || d.half) return kGeneral;
        switch (d.conversion) {
            case 'd': case 'i':
                if (spec.precision >= 0 || d.longs > 1) return kGeneral;
                return d.longs == 1 ? kLong : kInt;
            case 's': return spec.precision < 0 ? kString : kGeneral;
            case 'f': return d.longs == 0 || d.longs == 1 ? kFixed : kGeneral;
            default: return kGeneral;
        }
    }

    const char* key = nullptr;
    std::string format;  // its text, so that a reused address is noticed
    std::string literals;
    std::vector<Piece> pieces;
    bool usable = false;  // false: a directive needs the general path

    void Compile(const char* text, size_t length) {
        key = text;
        format.assign(text, length);
        literals.clear();
        pieces.clear();
        usable = true;
        Piece piece;
        for (const char* p = text; *p != '\0';) {
            if (*p != '%') {
                const char* run = p;
                p = strchrnul(p, '%');
                literals.append(run, static_cast<size_t>(p - run));
                piece.literal_length += static_cast<uint32_t>(p - run);
                continue;
            }
            Directive d;
            bool star = false;
            p = ParseDirective(p + 1, d, nullptr, &star);
            if (star || !Known(d.conversion)) {
                usable = false;
                return;
            }
            if (d.conversion == '%') {
                literals.push_back('%');
                ++piece.literal_length;
                continue;
            }
            piece.directive = d;
            piece.kind = KindOf(d);
            pieces.push_back(piece);
            piece = Piece();
            piece.literal_at = static_cast<uint32_t>(literals.size());
        }
        if (piece.literal_length > 0) pieces.push_back(piece);
        literals.append(kPadding, '\0');
    }

    void Run(Sink& out, va_list* args) const {
        const char* base = literals.data();
        for (const Piece& piece : pieces) {
            const size_t n = piece.literal_length;
            const char* from = base + piece.literal_at;
            if (n + kPadding <= Sink::kRoom) {
                // Whole blocks: the padding makes the last one safe to read,
                // the room safe to write.
                char* at = out.Room();
                for (size_t i = 0; i < n; i += kPadding) std::memcpy(at + i, from + i, kPadding);
                out.Done(at + n);
            } else {
                out.Put(from, n);
            }
            switch (piece.kind) {
                case kNone: break;
                case kInt: PlainInteger(out, va_arg(*args, int)); break;
                case kLong: PlainInteger(out, va_arg(*args, long)); break;
                case kString: {
                    const char* s = va_arg(*args, const char*);
                    if (s == nullptr) s = "(null)";
                    out.Put(s, std::strlen(s));
                    break;
                }
                case kFixed: {
                    const double value = va_arg(*args, double);
                    const int precision = piece.directive.spec.precision < 0 ? 6 : piece.directive.spec.precision;
                    char* at = out.Room();
                    if (const size_t length = FixedText(at, value, precision, '\0')) out.Done(at + length);
                    else Floating(out, piece.directive.spec, value, 'f');
                    break;
                }
                default: Convert(out, piece.directive, args); break;
            }
        }
    }
};

// Per thread, so that the functions stay safe from any thread.
const Compiled* Lookup(const char* format) {
    static constexpr size_t kSlots = 256;
    thread_local std::vector<Compiled> table(kSlots);
    const uint64_t address = reinterpret_cast<uintptr_t>(format);
    Compiled& entry = table[(address * 0x9E3779B97F4A7C15ULL) >> 56];
    const size_t length = std::strlen(format);
    if (entry.key != format || entry.format.size() != length ||
        std::memcmp(entry.format.data(), format, length) != 0)
        entry.Compile(format, length);
    return entry.usable ? &entry : nullptr;
}

void Run(Sink& out, const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    if (const Compiled* compiled = Lookup(format)) compiled->Run(out, &copy);
    else Format(out, format, &copy);
    va_end(copy);
}

}  // namespace

void AppendFormatV(std::string& out, const char* format, va_list args) {
    Sink sink(out);
    Run(sink, format, args);
}

void AppendFormat(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendFormatV(out, format, args);
    va_end(args);
}

int FormatInto(char* buffer, size_t size, const char* format, ...) {
    if (size > 0) buffer[0] = '\0';
    va_list args;
    va_start(args, format);
    size_t written;
    {
        Sink sink(buffer, size);
        Run(sink, format, args);
        sink.Flush();
        written = sink.Written();
    }
    va_end(args);
    return static_cast<int>(written);
}

std::string FormatText(const char* format, ...) {
    std::string out;
    va_list args;
    va_start(args, format);
    AppendFormatV(out, format, args);
    va_end(args);
    return out;
}

}  // namespace zerlan
