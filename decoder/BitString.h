// Bit strings: runs of bits kept as text, '0' and '1' characters, most significant
// (first transmitted) bit first, positions 1-based. Every RTCM field read, the
// CRC-24Q of RTCM 3 frames and the GPS word parity of RTCM 2 words work on this
// form, so fields can be shown and compared as text. Any character other than
// '1' counts as a 0 bit in the conversions.
//
// All functions are pure (they return fresh strings) and may be called from any
// thread at the same time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zerlan {

// 8 characters, the exact binary form of `value`.
std::string ByteToBits8(uint8_t value);
// 6 characters; 0..63 give their binary form, anything larger saturates to
// "111111" (RTCM 2 bytes are reduced by 64 before, and the roll relies on it).
std::string ByteToBits6(uint8_t value);

std::string ReverseBits(std::string_view bits);
inline std::string ReverseBits6(std::string_view bits) { return ReverseBits(bits); }
inline std::string ReverseBits8(std::string_view bits) { return ReverseBits(bits); }
// '0' becomes '1', every other character '0'.
std::string ComplementBits(std::string_view bits);

// Reads at most 8 characters; index i weighs 2^(7-i) whatever the length, so
// "1" gives 128.
uint32_t BitsToByte(std::string_view bits);
// Unsigned value, arithmetic modulo 2^32.
uint32_t BitsToUInt(std::string_view bits);
// Two's complement over the string's own length ("1" gives -1, "1000" gives -8).
int32_t BitsToInt(std::string_view bits);
double BitsToUDouble(std::string_view bits);
double BitsToDouble(std::string_view bits);
// Sign and magnitude; a set sign with zero magnitude gives negative zero.
double BitsToSignMagDouble(std::string_view bits);

// CRC-24Q register: 25 characters, the first always '0'.
inline constexpr const char* kCrc24Polynomial = "1100001100100110011111011";
inline constexpr const char* kCrc24InitialRegister = "0000000000000000000000000";

// One division step: `chunk` is '0' followed by 1..24 input bits. Updates
// `reg` (25 characters).
void Crc24Step(std::string& reg, std::string_view chunk);
// The 24-character CRC-24Q of a bit string (initial 0, no reflection, no final
// XOR).
std::string Crc24(std::string_view bits);
// The same checksum over bytes, for frame builders.
uint32_t Crc24Bytes(const uint8_t* data, size_t length);

// GPS navigation word parity. `word` holds D29*, D30*, 24 data bits, 6 parity
// bits as received, then anything. Returns 1 when the parity matches and puts
// D29*, D30*, the source data bits (complemented back when D30* is set), the
// received parity bits and the rest into `decoded`; returns 0 otherwise (also
// for words shorter than 32 characters) and leaves `decoded` alone.
int CheckWordParity(std::string_view word, std::string* decoded);

}  // namespace zerlan
