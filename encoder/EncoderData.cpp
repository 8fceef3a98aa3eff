#include "encoder/EncoderData.h"

#include <algorithm>
#include <cstdlib>

#include "config/Settings.h"
#include "decoder/BitString.h"
#include "decoder/Rtcm3FrameBuilder.h"

namespace zerlan {

namespace {

constexpr uint8_t kPreamble = 0xD3;
constexpr size_t kFrameOverhead = 6;      // 3 header bytes + 3 CRC bytes
constexpr size_t kHeader4088Bytes = 7;    // 12+12+12+4+16 bits
constexpr size_t kMaxFrame = 1023 + kFrameOverhead;

// Appends `width` bits of `value`, most significant first.
class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
    void Put(int width, uint32_t value) {
        for (int i = width - 1; i >= 0; --i) {
            if (used_ % 8 == 0) out_.push_back(0);
            if ((value >> i) & 1u) out_.back() |= static_cast<uint8_t>(0x80u >> (used_ % 8));
            ++used_;
        }
    }

private:
    std::vector<uint8_t>& out_;
    int used_ = 0;
};

uint32_t GetBits(const uint8_t* data, int first_bit, int width) {
    uint32_t v = 0;
    for (int i = 0; i < width; ++i) {
        const int bit = first_bit + i;
        v = (v << 1) | ((data[bit / 8] >> (7 - bit % 8)) & 1u);
    }
    return v;
}

}  // namespace

CipherSettings CipherSettingsOf(const EncDataParams& params) {
    CipherSettings c;
    c.encoder_type = std::atoi(params.cipher.c_str()) & 0xf;
    c.key = params.key;
    c.provider = std::atoi(params.provider.c_str()) & 0xfff;
    c.key_number = std::atoi(params.key_number.c_str()) & 0xfff;
    return c;
}

std::string RefusedKeyText(const std::string& key) {
    return "enc_da field 2: the key has " + std::to_string(key.size()) +
           " characters, it must have exactly 16; encoder data stays off";
}

EncoderData::EncoderData(const CipherSettings& settings, FrameSink sink)
    : settings_(settings), sink_(std::move(sink)) {
    cipher_.MistySetKey(settings_.key);
    payload_.reserve(kMaxBlocksPerMessage * CMisty1::kBlockBytes);
}

int EncoderData::PutByte(uint8_t byte, int last) {
    if (!KeyAccepted()) return 0;
    block_[block_fill_++] = byte;
    if (block_fill_ < CMisty1::kBlockBytes && last != 1) return 0;
    EncryptBlock(block_, block_fill_, last == 1);
    block_fill_ = 0;
    return 2;
}

void EncoderData::PutRead(const uint8_t* bytes, size_t length) {
    for (size_t i = 0; i < length; ++i) PutByte(bytes[i], i + 1 == length ? 1 : 0);
}

void EncoderData::EncryptBlock(const uint8_t* bytes, int count, bool last) {
    uint8_t plain[CMisty1::kBlockBytes] = {};
    std::copy(bytes, bytes + count, plain);
    plain_count_ += count;
    uint8_t encrypted[CMisty1::kBlockBytes];
    cipher_.MistyEncrypt(plain, encrypted);
    payload_.insert(payload_.end(), encrypted, encrypted + CMisty1::kBlockBytes);
    ++block_count_;
    if (block_count_ < kMaxBlocksPerMessage && !last) return;
    SendMessage();
}

void EncoderData::BuildHeader(int message_number, int block_count, std::vector<uint8_t>& message) const {
    (void)block_count;  // the frame length follows from the message size
    BitWriter w(message);
    w.Put(12, static_cast<uint32_t>(message_number));
    w.Put(12, static_cast<uint32_t>(settings_.provider));
    w.Put(12, static_cast<uint32_t>(settings_.key_number));
    w.Put(4, static_cast<uint32_t>(settings_.encoder_type));
    w.Put(16, static_cast<uint32_t>(plain_count_));
}

void EncoderData::SendMessage() {
    std::vector<uint8_t> message;
    message.reserve(kHeader4088Bytes + payload_.size());
    BuildHeader(kEncryptedMessage, block_count_, message);
    message.insert(message.end(), payload_.begin(), payload_.end());
    const std::vector<uint8_t> frame = Rtcm3Frame(message);
    if (sink_) sink_(frame.data(), frame.size());
    ++frames_sent_;
    block_count_ = 0;
    plain_count_ = 0;
    payload_.clear();
}

DecoderData::DecoderData(const CipherSettings& settings, PlainSink plain, AnnouncementSink announcement)
    : plain_(std::move(plain)), announcement_(std::move(announcement)) {
    cipher_.MistySetKey(settings.key);
    buffer_.reserve(kMaxFrame);
}

void DecoderData::PutByte(uint8_t byte) {
    if (buffer_.empty() && byte != kPreamble) return;
    buffer_.push_back(byte);
    const size_t size = buffer_.size();
    if (byte == kPreamble) candidates_.push_back({size - 1, 0});
    // Every candidate is checked the moment its last byte arrives, so a false
    // preamble with a long length never holds back the frames behind it.
    for (size_t i = 0; i < candidates_.size();) {
        Candidate& c = candidates_[i];
        if (c.end == 0 && size >= c.pos + 3) {
            const size_t length = ((buffer_[c.pos + 1] & 0x03u) << 8) | buffer_[c.pos + 2];
            c.end = c.pos + length + kFrameOverhead;
        }
        if (c.end != size) {
            ++i;
            continue;
        }
        const size_t crc_at = c.end - 3;
        const uint32_t sent =
            (uint32_t{buffer_[crc_at]} << 16) | (uint32_t{buffer_[crc_at + 1]} << 8) | buffer_[crc_at + 2];
        if (Crc24Bytes(buffer_.data() + c.pos, crc_at - c.pos) == sent) {
            DecodeMessage(buffer_.data() + c.pos, c.end - c.pos);
            buffer_.clear();
            candidates_.clear();
            return;
        }
        candidates_.erase(candidates_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    // Bytes before the earliest live candidate can never belong to a frame.
    if (candidates_.empty()) {
        buffer_.clear();
    } else if (const size_t drop = candidates_.front().pos; drop > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(drop));
        for (Candidate& c : candidates_) {
            c.pos -= drop;
            if (c.end != 0) c.end -= drop;
        }
    }
}

void DecoderData::DecodeMessage(const uint8_t* frame, size_t length) {
    if (length < kFrameOverhead + 2) return;
    const uint8_t* message = frame + 3;
    const size_t message_length = length - kFrameOverhead;
    const int number = static_cast<int>(GetBits(message, 0, 12));
    if (number == kEncryptedMessage) {
        Decrypt4088(message, message_length);
    } else if (number == kKeyChangeMessage) {
        Read4089(message, message_length);
    } else {
        ++ignored_;
    }
}

void DecoderData::Decrypt4088(const uint8_t* message, size_t length) {
    if (length < kHeader4088Bytes || !KeyAccepted()) {
        ++ignored_;
        return;
    }
    provider_ = static_cast<int>(GetBits(message, 12, 12));
    key_number_ = static_cast<int>(GetBits(message, 24, 12));
    encoder_type_ = static_cast<int>(GetBits(message, 36, 4));
    data_count_ = static_cast<int>(GetBits(message, 40, 16));
    // A count beyond what the blocks carry is limited to them: nothing is
    // read past the frame.
    const size_t blocks_in_frame = (length - kHeader4088Bytes) / CMisty1::kBlockBytes;
    const size_t count = std::min<size_t>(static_cast<size_t>(data_count_), blocks_in_frame * CMisty1::kBlockBytes);
    output_.clear();
    const uint8_t* block = message + kHeader4088Bytes;
    for (size_t done = 0; done < count; done += CMisty1::kBlockBytes, block += CMisty1::kBlockBytes) {
        uint8_t plain[CMisty1::kBlockBytes];
        cipher_.MistyDecrypt(block, plain);
        const size_t take = std::min<size_t>(CMisty1::kBlockBytes, count - done);
        output_.insert(output_.end(), plain, plain + take);
    }
    ++decrypted_;
    plain_bytes_ += static_cast<int64_t>(output_.size());
    if (plain_ && !output_.empty()) plain_(output_.data(), output_.size());
}

void DecoderData::Read4089(const uint8_t* message, size_t length) {
    if (length < 6) {
        ++ignored_;
        return;
    }
    const int provider = static_cast<int>(GetBits(message, 12, 12));
    const int week = static_cast<int>(GetBits(message, 24, 10));
    const int minutes = static_cast<int>(GetBits(message, 34, 14));
    ++announcements_;
    if (announcement_) announcement_(provider, week, minutes * 60);
}

}  // namespace zerlan
