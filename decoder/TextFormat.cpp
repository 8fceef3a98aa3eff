#include "decoder/TextFormat.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace zerlan {
namespace {

struct Spec {
    bool left = false, zero = false, space = false, plus = false;
    int width = 0;
    int precision = -1;
};

// Pads `body` (sign included) to the width as printf does.
void Emit(std::string& out, const Spec& spec, const char* body, size_t length, bool numeric) {
    const size_t width = spec.width > 0 ? static_cast<size_t>(spec.width) : 0;
    if (length >= width) {
        out.append(body, length);
    } else if (spec.left) {
        out.append(body, length);
        out.append(width - length, ' ');
    } else if (spec.zero && numeric) {
        size_t sign = (length > 0 && (body[0] == '-' || body[0] == '+' || body[0] == ' ')) ? 1 : 0;
        out.append(body, sign);
        out.append(width - length, '0');
        out.append(body + sign, length - sign);
    } else {
        out.append(width - length, ' ');
        out.append(body, length);
    }
}

void Integer(std::string& out, Spec spec, bool negative, unsigned long long magnitude, int base, bool upper) {
    char digits[72];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, magnitude, base);
    (void)ec;
    size_t n = static_cast<size_t>(end - digits);
    if (upper)
        for (size_t i = 0; i < n; ++i)
            if (digits[i] >= 'a' && digits[i] <= 'f') digits[i] = static_cast<char>(digits[i] - 'a' + 'A');
    char body[96];
    size_t length = 0;
    if (negative) body[length++] = '-';
    else if (spec.plus) body[length++] = '+';
    else if (spec.space) body[length++] = ' ';
    // A precision gives the least number of digits; "0" with precision 0 is empty.
    if (spec.precision >= 0) {
        spec.zero = false;
        if (spec.precision == 0 && magnitude == 0) n = 0;
        for (int i = static_cast<int>(n); i < spec.precision && length < 80; ++i) body[length++] = '0';
    }
    std::memcpy(body + length, digits, n);
    Emit(out, spec, body, length + n, true);
}

void Floating(std::string& out, const Spec& spec, double value, char conversion) {
    const int precision = spec.precision < 0 ? 6 : spec.precision;
    char body[400];
    size_t length = 0;
    if (!std::signbit(value)) {
        if (spec.plus) body[length++] = '+';
        else if (spec.space) body[length++] = ' ';
    }
    const bool fixed = conversion == 'f' || conversion == 'F';
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

}  // namespace

void AppendFormatV(std::string& out, const char* format, va_list args) {
    for (const char* p = format; *p != '\0';) {
        if (*p != '%') {
            const char* next = std::strchr(p, '%');
            const size_t n = next == nullptr ? std::strlen(p) : static_cast<size_t>(next - p);
            out.append(p, n);
            p += n;
            continue;
        }
        const char* start = p++;
        Spec spec;
        for (;; ++p) {
            if (*p == '-') spec.left = true;
            else if (*p == '0') spec.zero = true;
            else if (*p == ' ') spec.space = true;
            else if (*p == '+') spec.plus = true;
            else break;
        }
        if (*p == '*') {
            spec.width = va_arg(args, int);
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
                spec.precision = va_arg(args, int);
                ++p;
            }
            while (*p >= '0' && *p <= '9') spec.precision = spec.precision * 10 + (*p++ - '0');
        }
        int longs = 0;
        bool half = false;
        while (*p == 'l' || *p == 'h') {
            if (*p == 'l') ++longs;
            else half = true;
            ++p;
        }
        const char conversion = *p;
        if (conversion != '\0') ++p;
        switch (conversion) {
            case 'd': case 'i': {
                long long v = longs >= 2 ? va_arg(args, long long) : longs == 1 ? va_arg(args, long) : va_arg(args, int);
                if (half) v = static_cast<short>(v);
                const unsigned long long magnitude =
                    v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
                Integer(out, spec, v < 0, magnitude, 10, false);
                break;
            }
            case 'u': case 'x': case 'X': {
                unsigned long long v = longs >= 2   ? va_arg(args, unsigned long long)
                                       : longs == 1 ? va_arg(args, unsigned long)
                                                    : va_arg(args, unsigned int);
                if (half) v = static_cast<unsigned short>(v);
                spec.space = spec.plus = false;
                Integer(out, spec, false, v, conversion == 'u' ? 10 : 16, conversion == 'X');
                break;
            }
            case 'c': {
                const char c = static_cast<char>(va_arg(args, int));
                Emit(out, spec, &c, 1, false);
                break;
            }
            case 's': {
                const char* s = va_arg(args, const char*);
                if (s == nullptr) s = "(null)";
                size_t n = std::strlen(s);
                if (spec.precision >= 0 && static_cast<size_t>(spec.precision) < n) n = static_cast<size_t>(spec.precision);
                Emit(out, spec, s, n, false);
                break;
            }
            case 'f': case 'F': case 'e': case 'E':
                Floating(out, spec, va_arg(args, double), conversion);
                break;
            case '%':
                out.push_back('%');
                break;
            default: {
                // Not used by the decoders: the rest goes through the library.
                char tail[2048];
                const int n = std::vsnprintf(tail, sizeof tail, start, args);
                if (n > 0) out.append(tail, static_cast<size_t>(n) < sizeof tail ? static_cast<size_t>(n) : sizeof tail - 1);
                return;
            }
        }
    }
}

void AppendFormat(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendFormatV(out, format, args);
    va_end(args);
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
