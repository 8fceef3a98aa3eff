// Copying into the fixed-size texts of the program: always cut to the field's
// size minus one and terminated, whatever the source length.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

namespace zerlan {

// Copies at most size-1 bytes of `src` into `dest` and terminates it.
// Returns the number of bytes copied.
inline size_t CopyText(char* dest, size_t size, const char* src) {
    if (size == 0) return 0;
    if (src == nullptr) {
        dest[0] = '\0';
        return 0;
    }
    size_t n = strnlen(src, size - 1);
    std::memcpy(dest, src, n);
    dest[n] = '\0';
    return n;
}

template <size_t N>
inline size_t CopyText(char (&dest)[N], const char* src) {
    return CopyText(dest, N, src);
}

template <size_t N>
inline size_t CopyText(char (&dest)[N], const std::string& src) {
    return CopyText(dest, N, src.c_str());
}

}  // namespace zerlan
