// CRtcm3xDecoder: turns a byte stream of RTCM 3 frames (RTCM 10403) into the
// decoded text that operators read and the encoders parse again. The
// preamble is searched bit by bit; a candidate is checked with CRC-24Q as
// soon as all its bytes are in, and after a rejected candidate the search
// resumes one bit behind its preamble, so no bit of a good frame is ever
// dropped, whatever false preambles, garbage or truncated frames surround
// it. Each good frame yields a header block (an empty line, the "TM" line,
// the "MT.... Stat" line) and the lines of its message interpreter:
// 1001-1017, 1019-1039, 1047 and 1048 are interpreted, every other number
// gets the header block only. Results go to a DecoderOutput.
//
// Tested with hand-built frames of every interpreted type; also run over public
// captures (1001-1013, 1019, 1020, 1029-1033), where the values looked right
// but were not checked one by one.
//
// One decoder per thread; the object is not safe for concurrent use.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "decoder/ClockText.h"
#include "decoder/DecoderOutput.h"
#include "decoder/FrameBits.h"
#include "decoder/RtcmTimeEstimator.h"

namespace zerlan {

class CRtcm3xDecoder {
public:
    // Receives each text exactly as it would be written to the pool.
    using LineSink = std::function<void(const char* text, int length)>;

    static constexpr int kMaxBufferBits = 9000;
    static constexpr int kEmptyFrameNumber = 9999;
    static constexpr const char* kPreamble = "11010011000000";  // 0xD3 and six reserved zeros

    // `version` is the decoder version setting; the RTCM 3 decoder keeps it
    // only for symmetry with the RTCM 2 decoder. `out` must outlive the decoder.
    CRtcm3xDecoder(int version, DecoderOutput& out);
    CRtcm3xDecoder(int version, LineSink sink);
    virtual ~CRtcm3xDecoder();
    CRtcm3xDecoder(const CRtcm3xDecoder&) = delete;
    CRtcm3xDecoder& operator=(const CRtcm3xDecoder&) = delete;

    // 1 when this byte completed at least one good frame (its text is
    // written), -1 when it found a preamble whose frame is still incomplete,
    // 0 otherwise.
    int AddByte(uint8_t byte);
    // A frame is decided at its last byte, so a pause has nothing to do
    // (`end_of_input` false). At the end of an input a candidate that can
    // never be completed is dropped and the bits behind its preamble are
    // searched again; returns the frames decoded.
    int Flush(bool end_of_input = true);
    // Good frames and candidates that failed their CRC since construction.
    int RejectedCount() const { return rejected_count_; }

    int FrameCount() const { return frame_count_; }
    int MsgNumber() const { return msg_number_; }
    int StationId() const { return station_id_; }
    // "%04i" of the last station id, "----" before the first.
    const std::string& StationIdText() const { return station_text_; }
    // Last GPS time of week and GLONASS epoch (s) seen in a message; -1 before.
    double GpsTimeOfWeek() const { return gps_time_of_week_; }
    double GloEpoch() const { return glo_epoch_; }
    CRtcmTimeEstimator& TimeEstimator() { return estimator_; }
    // Bits held that are not yet consumed (bounded by the largest frame).
    int BitCount() const { return static_cast<int>(bytes_.size() - head_) * 8; }

private:
    // Frame handling.
    void Reset();
    int Scan(bool end_of_input);
    bool FindCandidate();
    bool CheckFrame(size_t first_bit);
    void Compact();
    void DecodeHeader();
    void WriteHeaderBlock();
    void Dispatch();

    // Output.
    void Write(const char* text, size_t length);
    void Line(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void SetStatus(int slot, const char* text);
    void NoteGpsEpoch(double seconds, bool sample);
    void NoteGloEpoch(double seconds);

    // Field access on the current frame (1-based inclusive positions); bits
    // beyond the frame read as missing, i.e. the value shrinks, never overruns.
    uint32_t U(int from, int to) const { return frame_bits_.U(from, to); }
    double UD(int from, int to) const { return frame_bits_.UD(from, to); }
    double S(int from, int to) const { return frame_bits_.S(from, to); }
    double M(int from, int to) const { return frame_bits_.M(from, to); }
    // True when positions up to `last` lie inside the message (before the CRC).
    bool Fits(int last) const { return last <= msg_bits_; }
    // Counted text of `count` bytes from `from`; NUL ends it, line breaks
    // become '.' so that a field never starts a line of its own.
    std::string Chars(int from, int count) const;

    // Interpreters.
    void GpsObservations();
    void GloObservations();
    void StationArp();          // 1005, 1006
    void AntennaDescriptor();   // 1007, 1008
    void StationArpPhysical();  // 1032
    void ReceiverDescriptor();  // 1033
    void SystemParameters();    // 1013
    void NetworkAuxDelta();     // 1014
    void NetworkCorrections();  // 1015-1017, 1037-1039
    void Residuals();           // 1030, 1031
    void FkpGps();              // 1034
    void FkpGlo();              // 1035
    void NetworkRtkCrc();       // 1036
    void TextMessage();         // 1029
    void NoDecoding();          // 1021-1028
    void GpsEphemeris();        // 1019
    void GloEphemeris();        // 1020
    void EncryptionHeader();    // 1047
    void KeyChange();           // 1048

    SinkOutput own_output_{nullptr};
    DecoderOutput& out_;
    int version_;

    // Received bytes from `head_` on are kept; bit positions count from the
    // start of `bytes_`.
    std::vector<uint8_t> bytes_;
    size_t head_ = 0;
    size_t search_bit_ = 0;
    bool in_frame_ = false;  // a candidate at `search_bit_` waits for its bytes
    uint32_t msg_length_ = 0;
    int msg_bits_ = 0;
    int msg_number_ = 0;
    int station_id_ = 0;
    int frame_count_ = 0;
    int rejected_count_ = 0;
    std::vector<uint8_t> frame_;  // the current frame, byte aligned
    std::string line_;            // reused for every line
    FrameBits frame_bits_;

    CRtcmTimeEstimator estimator_;
    ClockText clock_;
    double clock_second_ = 0.0;  // second within the hour of the clock text
    std::string status_[10];
    std::string station_text_ = "----";
    double gps_time_of_week_ = -1.0;
    double glo_epoch_ = -1.0;
};

}  // namespace zerlan
