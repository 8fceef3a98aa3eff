// Text helpers of the settings parsers: cutting a value into fields and the
// lenient integer reading the settings use. Private to config/.
//
// Thread-safety: pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zerlan::config_detail {

constexpr size_t kMaxSplitFields = 200;
constexpr size_t kMaxFieldLength = 999;

// Cuts `text` (up to its first CR, LF or NUL) at every `separator`; at most
// 200 fields of up to 999 characters. With ' ' as separator, blanks and tabs
// both separate, runs count as one and no empty field results; otherwise two
// separators in a row give an empty field. An empty text gives no field.
std::vector<std::string> SplitFields(char separator, std::string_view text);

// Joins fields with `separator`.
std::string JoinFields(char separator, const std::vector<std::string>& fields);

// atoi semantics (leading blanks, sign, digits, stop at the first other
// character; 0 when there is no digit) without overflow: saturates.
int32_t TextToInt(std::string_view text);

}  // namespace zerlan::config_detail
