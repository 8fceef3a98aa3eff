#include "decoder/Rtcm3FrameBuilder.h"

#include "decoder/BitString.h"

namespace zerlan {

CRtcm3FrameBuilder& CRtcm3FrameBuilder::U(int width, uint64_t value) {
    for (int b = width - 1; b >= 0; --b) bits_.push_back(b < 64 && ((value >> b) & 1u) ? '1' : '0');
    return *this;
}

CRtcm3FrameBuilder& CRtcm3FrameBuilder::S(int width, int64_t value) {
    return U(width, static_cast<uint64_t>(value));
}

CRtcm3FrameBuilder& CRtcm3FrameBuilder::M(int width, int64_t value) {
    bits_.push_back(value < 0 ? '1' : '0');
    const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    return U(width - 1, magnitude);
}

CRtcm3FrameBuilder& CRtcm3FrameBuilder::Text(const std::string& text) {
    for (unsigned char c : text) U(8, c);
    return *this;
}

std::vector<uint8_t> CRtcm3FrameBuilder::Frame() const {
    std::vector<uint8_t> message((bits_.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits_.size(); ++i)
        if (bits_[i] == '1') message[i / 8] |= static_cast<uint8_t>(0x80u >> (i % 8));
    return Rtcm3Frame(message);
}

std::vector<uint8_t> Rtcm3Frame(const std::vector<uint8_t>& message) {
    const size_t length = message.size() < CRtcm3FrameBuilder::kMaxMessageBytes + 1
                              ? message.size()
                              : static_cast<size_t>(CRtcm3FrameBuilder::kMaxMessageBytes);
    std::vector<uint8_t> frame;
    frame.reserve(length + 6);
    frame.push_back(0xD3);
    frame.push_back(static_cast<uint8_t>((length >> 8) & 0x03));
    frame.push_back(static_cast<uint8_t>(length & 0xFF));
    frame.insert(frame.end(), message.begin(), message.begin() + static_cast<long>(length));
    const uint32_t crc = Crc24Bytes(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc >> 16));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    frame.push_back(static_cast<uint8_t>(crc));
    return frame;
}

}  // namespace zerlan
