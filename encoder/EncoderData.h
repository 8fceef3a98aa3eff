// EncoderData and DecoderData: a byte stream carried encrypted in the
// proprietary RTCM 3 message 4088, and the 4089 key-change announcement.
//
// 4088 after the 24-bit frame header: message number (12), provider (12),
// key number (12), encoder type (4), count of plain bytes (16), then 1 to 127
// MISTY1 blocks of 8 bytes, each encrypted alone (ECB). The last block of a
// message may be short: it is padded with zero bytes and the plain count says
// how much of it is data. 4089: message number (12), provider (12), key
// change week (10), key change time in minutes of the week (14).
//
// Both are plain codecs: bytes in, bytes to a sink out. Each object belongs to
// one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "encoder/Misty1.h"

namespace zerlan {

struct EncDataParams;

inline constexpr int kEncryptedMessage = 4088;
inline constexpr int kKeyChangeMessage = 4089;
// 127 blocks of 8 bytes plus the 7 header bytes fill the 1023-byte limit.
inline constexpr int kMaxBlocksPerMessage = 127;

// Settings of one side: enc_da fields 1 to 4.
struct CipherSettings {
    int encoder_type = 0;   // leading number of the cipher name ("0_MistyOne" -> 0)
    std::string key;        // exactly 16 characters
    int provider = 0;       // 12 bits
    int key_number = 0;     // 12 bits
};
CipherSettings CipherSettingsOf(const EncDataParams& params);
// The text shown when enc_da field 2 is refused.
std::string RefusedKeyText(const std::string& key);

class EncoderData {
public:
    using FrameSink = std::function<void(const uint8_t* frame, size_t length)>;

    EncoderData(const CipherSettings& settings, FrameSink sink);
    EncoderData(const EncoderData&) = delete;
    EncoderData& operator=(const EncoderData&) = delete;

    // False when the key was refused; the side then sends nothing.
    bool KeyAccepted() const { return cipher_.HasKey(); }

    // Adds one byte; `last` = 1 for the last byte of a read, which ends the
    // block and the message. 0, or 2 when a block was completed.
    int PutByte(uint8_t byte, int last);
    // Convenience: a whole read.
    void PutRead(const uint8_t* bytes, size_t length);

    int64_t FramesSent() const { return frames_sent_; }

private:
    void EncryptBlock(const uint8_t* bytes, int count, bool last);
    void SendMessage();
    // The message fields before the blocks (bytes after the frame header).
    void BuildHeader(int message_number, int block_count, std::vector<uint8_t>& message) const;

    CipherSettings settings_;
    FrameSink sink_;
    CMisty1 cipher_;
    uint8_t block_[CMisty1::kBlockBytes] = {};
    int block_fill_ = 0;
    int block_count_ = 0;
    int plain_count_ = 0;
    std::vector<uint8_t> payload_;
    int64_t frames_sent_ = 0;
};

class DecoderData {
public:
    using PlainSink = std::function<void(const uint8_t* bytes, size_t length)>;
    // provider, key change week, key change time in seconds of the week.
    using AnnouncementSink = std::function<void(int provider, int week, int seconds)>;

    DecoderData(const CipherSettings& settings, PlainSink plain, AnnouncementSink announcement = nullptr);
    DecoderData(const DecoderData&) = delete;
    DecoderData& operator=(const DecoderData&) = delete;

    bool KeyAccepted() const { return cipher_.HasKey(); }

    // RTCM 3 frame search: every frame with a valid CRC-24Q is decoded once.
    void PutByte(uint8_t byte);
    // Dispatch on the message number of one whole frame (header to CRC).
    void DecodeMessage(const uint8_t* frame, size_t length);

    // Facts of the last 4088 read.
    int LastProvider() const { return provider_; }
    int LastKeyNumber() const { return key_number_; }
    int LastEncoderType() const { return encoder_type_; }
    int LastDataCount() const { return data_count_; }
    int64_t MessagesDecrypted() const { return decrypted_; }
    int64_t Announcements() const { return announcements_; }
    int64_t FramesIgnored() const { return ignored_; }
    int64_t PlainBytes() const { return plain_bytes_; }

private:
    void Decrypt4088(const uint8_t* message, size_t length);
    void Read4089(const uint8_t* message, size_t length);

    CMisty1 cipher_;
    PlainSink plain_;
    AnnouncementSink announcement_;
    struct Candidate {
        size_t pos;  // preamble position in buffer_
        size_t end;  // one past its CRC; 0 until the length is known
    };
    std::vector<uint8_t> buffer_;
    std::vector<Candidate> candidates_;
    std::vector<uint8_t> output_;
    int provider_ = 0;
    int key_number_ = 0;
    int encoder_type_ = 0;
    int data_count_ = 0;
    int64_t decrypted_ = 0;
    int64_t announcements_ = 0;
    int64_t ignored_ = 0;
    int64_t plain_bytes_ = 0;
};

}  // namespace zerlan
