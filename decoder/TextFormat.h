// printf-style formatting for the decoded text, several times faster than
// vsnprintf on the floating-point conversions that dominate it, with the
// same output. It knows what the decoders use: flags '-', '0', ' ', '+',
// width, precision, the length modifiers h, l, ll, and the conversions
// d i u x X c s f F e E %. Anything else is handed to vsnprintf. Formats
// are parsed once per thread and kept by address; the text is compared on
// every call, so a format need not be a literal.
//
// Pure functions; any thread.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace zerlan {

void AppendFormatV(std::string& out, const char* format, va_list args);
void AppendFormat(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
// As snprintf: cut to `size` with its terminator; returns the full length.
int FormatInto(char* buffer, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));

}  // namespace zerlan
