// Test support for the RTCM 3 decoder: a decoder whose text goes to a string,
// a fake clock at a known moment, and byte feeding.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoder/Rtcm3FrameBuilder.h"
#include "decoder/Rtcm3xDecoder.h"
#include "platform/Clock.h"
#include "RecordingOutput.h"

namespace zerlan::testing_rtcm3 {

// The header block for the fake clock's moment (Wed Jan  1 00:00:00.000 2025)
// before any time sample: estimate -1.
inline std::string HeaderBlock(int number, int station, int frame_bits) {
    char text[300];
    std::snprintf(text, sizeof text,
                  "\r\nTM Rtcm3.1 -1.0 Wed Jan  1 00:00:00.000 2025\r\nMT%04i Stat %i Status 1 Sec -1 Seq 1000 Frame "
                  "%i\r\n",
                  number, station, frame_bits);
    return text;
}

class Rtcm3Fixture : public ::testing::Test {
protected:
    void SetUp() override {
        clock_.Set(LocalTime{2025, 1, 1, 0, 0, 0, 0, 3});
        Clock::Install(&clock_);
        decoder_ = std::make_unique<CRtcm3xDecoder>(2, out_);
    }
    void TearDown() override {
        decoder_.reset();
        Clock::Install(nullptr);
    }

    // Feeds bytes; returns how many frames were decoded.
    int Feed(const std::vector<uint8_t>& bytes) {
        const int before = decoder_->FrameCount();
        for (uint8_t b : bytes) {
            decoder_->AddByte(b);
            EXPECT_LE(decoder_->BitCount(), CRtcm3xDecoder::kMaxBufferBits);
        }
        return decoder_->FrameCount() - before;
    }
    // Text after the header block of a single decoded frame.
    std::string Body(int number, int station, const std::vector<uint8_t>& frame) {
        const std::string head = HeaderBlock(number, station, static_cast<int>(frame.size()) * 8);
        EXPECT_EQ(text_.substr(0, head.size()), head);
        return text_.size() >= head.size() ? text_.substr(head.size()) : std::string();
    }
    std::string TakeText() {
        std::string out;
        out.swap(text_);
        return out;
    }

    FakeClock clock_;
    RecordingOutput out_;
    std::string& text_ = out_.text;
    std::unique_ptr<CRtcm3xDecoder> decoder_;
};

// Message header fields common to most types.
inline CRtcm3FrameBuilder NewMessage(int number, int station) {
    CRtcm3FrameBuilder b;
    b.U(12, number).U(12, station);
    return b;
}

}  // namespace zerlan::testing_rtcm3
