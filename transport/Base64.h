// Base64 with the standard alphabet (A-Z, a-z, 0-9, '+', '/') and '='
// padding, as casters expect for the user:password of a Basic login.
//
// Thread-safety: plain functions without state.
#pragma once

#include <string>
#include <string_view>

namespace zerlan {

// Every byte of `data` counts, NUL and bytes above 0x7F included.
std::string Base64Encode(std::string_view data);

}  // namespace zerlan
