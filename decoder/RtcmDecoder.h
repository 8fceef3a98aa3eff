// CRtcmDecoder: RTCM 2.1 / 2.3 frame decoder. Bytes arrive one at a time
// (6-of-8 bytes, or plain 8-bit bytes, least significant bit first); they are
// rolled into a sliding bit window in which the preamble (plain or inverted)
// is searched, the two header words are parity-checked and decoded, and then
// one 30-bit data word is taken every five bytes. In 6-of-8 mode a byte whose
// top bits are not 01 carries no data (CR, LF, recorder text) and is skipped.
// Until the first frame completes, the byte mode flips between 6-of-8 and
// 8-bit every 500 bytes. A complete frame becomes a header line and the lines
// of its message type (decoder/Rtcm2Messages.h), handed to a DecoderOutput.
//
// Thread-safety: one decoder belongs to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "decoder/ClockText.h"
#include "decoder/DecoderOutput.h"
#include "decoder/Rtcm2Messages.h"
#include "decoder/RtcmTimeEstimator.h"

namespace zerlan {

class CRtcmDecoder {
public:
    using LineSink = std::function<void(const char* text, int length)>;

    // `version`: 1 or -1 decode as RTCM 2.3, anything else as RTCM 2.1.
    // `out` must outlive the decoder.
    CRtcmDecoder(int version, DecoderOutput& out);
    CRtcmDecoder(int version, LineSink sink);
    ~CRtcmDecoder();
    CRtcmDecoder(const CRtcmDecoder&) = delete;
    CRtcmDecoder& operator=(const CRtcmDecoder&) = delete;

    void Reset();
    CRtcmTimeEstimator& TimeEstimator() { return estimator_; }
    // GPS-GLONASS time difference in seconds (the RINEX setting).
    void SetGlonassTimeDifference(double seconds) { glonass_difference_ = seconds; }

    // 4 waiting for the bytes of the next word; 2 a data word was taken;
    // 3 preamble with valid header words; 0 preamble but bad header words;
    // -1 no preamble, or sync lost (bad data word, word count, unknown type).
    int AddByte(uint8_t byte);
    // A word is taken one byte after its last bit has arrived. At the end of
    // an input (or in a pause) the last word of a frame that is already
    // complete is taken now; the search then resumes where it would have.
    // Returns 1 when this completed a frame.
    int Flush();
    // Lets the 6/8 mode flip again: the frame that locked it proved false.
    void Unlock() { locked_ = false; mode_counter_ = 0; }

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
    // Rolled-out characters kept before the window is moved to the front.
    static constexpr size_t kCompactAt = 4096;
    // Room for the window plus a roll's worth beyond it.
    static constexpr size_t kWindowCapacity = kCompactAt + 512;

    int Step();
    int SearchPreamble();
    bool TryHeader(int p, int* result);
    int TakeDataWord(int offset = 0);
    std::string_view Window() const { return std::string_view(window_ + start_, window_size_ - start_); }
    void Roll(uint8_t byte);
    void LoseSync();
    void FinishFrame();
    void WriteHeaderLine(int glonass_flag);
    void Emit(const std::string& text);
    void SetSlot(const char* text, int slot);

    SinkOutput own_output_{nullptr};
    DecoderOutput& out_;
    CRtcmTimeEstimator estimator_;
    ClockText clock_;
    double clock_second_ = 0.0;  // second within the hour of the clock text
    double glonass_difference_ = 15.0;

    // The window is window_[start_, window_size_); positions are '0'/'1'.
    char window_[kWindowCapacity];
    size_t window_size_ = 0;
    size_t start_ = 0;
    // Bits rolled in since the start, and the stream position just after the
    // last decoded frame: its bits are never searched again.
    int64_t rolled_ = 0;
    int64_t frame_end_ = 0;
    // Stream position of window position `p` (1-based).
    int64_t StreamPos(int p) const { return rolled_ - static_cast<int64_t>(window_size_ - start_) + p - 1; }
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
