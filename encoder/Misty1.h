// CMisty1: the MISTY1 block cipher of RFC 2994 (128-bit key, 64-bit block,
// eight rounds), used to protect a stream inside RTCM 3 message 4088.
//
// One block at a time (ECB): the callers never chain blocks. Bytes are in the
// RFC's order: the first byte is the most significant byte of the left half.
//
// Thread-safety: a key schedule belongs to one thread; const methods may be
// called from several threads once the key is set.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zerlan {

class CMisty1 {
public:
    static constexpr int kBlockBytes = 8;
    static constexpr int kKeyBytes = 16;

    // Takes the 16 characters of `key` as the 16 key bytes (character codes,
    // not hexadecimal digits). 0 done; 1 refused (not 16 characters): the
    // cipher then has no key and `HasKey()` is false.
    int MistySetKey(const std::string& key);
    bool HasKey() const { return has_key_; }

    // REQUIRES: HasKey().
    void MistyEncrypt(const uint8_t in[kBlockBytes], uint8_t out[kBlockBytes]) const;
    void MistyDecrypt(const uint8_t in[kBlockBytes], uint8_t out[kBlockBytes]) const;

private:
    uint32_t Fo(uint32_t in, int k) const;
    uint32_t Fl(uint32_t in, int k) const;
    uint32_t FlInverse(uint32_t in, int k) const;

    std::array<uint16_t, 32> ek_{};  // expanded key EK[0..31]
    bool has_key_ = false;
};

}  // namespace zerlan
