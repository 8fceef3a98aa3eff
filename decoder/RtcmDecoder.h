// CRtcmDecoder: RTCM 2.1 / 2.3 frame decoder. Bytes arrive one at a time
// (6-of-8 bytes, or plain 8-bit bytes, least significant bit first); they are
// rolled into a sliding bit window in which the preamble (plain or inverted)
// is searched, the two header words are parity-checked and decoded, and then
// one 30-bit data word is taken every five bytes. Until the first frame
// completes, the byte mode flips between 6-of-8 and 8-bit every 500 bytes.
// A complete frame becomes a header line and the lines of its message type
// (decoder/Rtcm2Messages.h), written to the decoded-text pool or, when a line
// sink is set, handed to the sink instead (the batch converter prints them).
//
// Thread-safety: one decoder belongs to one thread (the decoder thread or
// the batch converter). It writes to the pool, the status board and the view
// queue of the SharedState, which carry their own locks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "decoder/Rtcm2Messages.h"
#include "decoder/RtcmTimeEstimator.h"

namespace zerlan {

class SharedState;

class CRtcmDecoder {
public:
    using LineSink = std::function<void(const char* text, int length)>;

    // `version`: 1 or -1 decode as RTCM 2.3, anything else as RTCM 2.1.
    // The text goes to the decoded-text pool of `shared`, or to `sink`.
    CRtcmDecoder(int version, SharedState& shared, LineSink sink = nullptr);
    ~CRtcmDecoder();
    CRtcmDecoder(const CRtcmDecoder&) = delete;
    CRtcmDecoder& operator=(const CRtcmDecoder&) = delete;

    void Reset();
    // Text goes to `sink` instead of the pool while it is set.
    void SetLineSink(LineSink sink) { sink_ = std::move(sink); }
    CRtcmTimeEstimator& TimeEstimator() { return estimator_; }
    // GPS-GLONASS time difference in seconds (the RINEX setting).
    void SetGlonassTimeDifference(double seconds) { glonass_difference_ = seconds; }

    // 4 waiting for the bytes of the next word; 2 a data word was taken;
    // 3 preamble with valid header words; 0 preamble but bad header words;
    // -1 no preamble, or sync lost (bad data word, word count, unknown type).
    int AddByte(uint8_t byte);

    int SearchCount() const { return search_count_; }
    int FrameCount() const { return frame_count_; }
    int ByteMode() const { return byte_mode_; }
    bool Locked() const { return locked_; }
    bool InSync() const { return in_sync_; }
    bool Version23() const { return version23_; }
    // "%04i" of the station id of the last frame, "----" before the first.
    const std::string& StationIdText() const { return station_text_; }
    // Z-count seconds of the last GPS frame and of the last GLONASS frame.
    double GpsTime() const { return gps_time_; }
    double GlonassEpoch() const { return glonass_epoch_; }

private:
    static constexpr int kWindowStart = 72;
    static constexpr int kModeFlipBytes = 500;
    static constexpr int kMaxWindow = 201;

    int Step();
    int SearchPreamble();
    bool TryHeader(int p, int* result);
    int TakeDataWord();
    void LoseSync();
    void FinishFrame();
    void WriteHeaderLine(int glonass_flag);
    void Emit(const std::string& text);
    void SetSlot(const char* text, int slot);

    SharedState& shared_;
    LineSink sink_;
    CRtcmTimeEstimator estimator_;
    double glonass_difference_ = 15.0;

    std::string window_;
    int byte_mode_ = 6;
    int32_t mode_counter_ = 0;
    bool locked_ = false;
    int32_t wait_bytes_ = 1;
    bool in_sync_ = false;
    int32_t word_pos_ = 0;
    int32_t word_phase_ = -1;
    int32_t words_left_ = 0;
    int32_t search_count_ = 0;
    int32_t frame_count_ = 0;
    bool version23_ = false;

    int msg_type_ = 0;
    int station_id_ = 0;
    int zcount_ = 0;
    double zseconds_ = 0.0;
    int sequence_ = 0;
    int word_count_ = 0;
    int health_ = 0;
    std::string frame_data_;
    std::string decoded_;

    std::string station_text_ = "----";
    double gps_time_ = 0.0;
    double glonass_epoch_ = 0.0;
};

}  // namespace zerlan
