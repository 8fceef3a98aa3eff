// CRtcm3xDecoder: turns a byte stream of RTCM 3 frames (RTCM 10403) into the
// decoded text that operators read and the encoders parse again. Bytes are
// collected as a bit string; the preamble is searched bit by bit; a frame is
// checked with CRC-24Q once all its bytes are in. Each good frame yields a
// header block (an empty line, the "TM" line, the "MT.... Stat" line) and the
// lines of its message interpreter: 1001-1017, 1019-1039, 1047 and 1048 are
// interpreted, every other number gets the header block only. Text goes to the
// DecodedTextPool of the SharedState, or to a line sink given at construction
// (the batch converter prints the same text).
//
// Tested with hand-built frames of every interpreted type; also run over public
// captures (1001-1013, 1019, 1020, 1029-1033), where the values looked right
// but were not checked one by one.
//
// One decoder per thread; the object is not safe for concurrent use. Its
// outputs (pool, status board, view messages) carry their own locks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "decoder/RtcmTimeEstimator.h"

namespace zerlan {

class SharedState;

class CRtcm3xDecoder {
public:
    // Receives each text exactly as it would be written to the pool.
    using LineSink = std::function<void(const char* text, int length)>;

    static constexpr int kMaxBufferBits = 9000;
    static constexpr int kEmptyFrameNumber = 9999;
    static constexpr const char* kPreamble = "11010011000000";  // 0xD3 and six reserved zeros

    // `version` is the decoder version setting; the RTCM 3 decoder keeps it
    // only for symmetry with the RTCM 2 decoder.
    CRtcm3xDecoder(int version, SharedState& shared, LineSink sink = nullptr);
    virtual ~CRtcm3xDecoder();
    CRtcm3xDecoder(const CRtcm3xDecoder&) = delete;
    CRtcm3xDecoder& operator=(const CRtcm3xDecoder&) = delete;

    // -1 when this byte ended a preamble search with a hit, 1 when it
    // completed a good frame (its text is written), 0 otherwise.
    int AddByte(uint8_t byte);
    // For the end of an input: a frame is decided only some bytes after its
    // end, so the last frames of a file would stay pending. Decodes every
    // complete frame still in the buffer; returns how many.
    // With `end_of_input` false (a pause in a live stream) a frame whose bytes
    // are not all in yet stays pending instead of being skipped.
    int Flush(bool end_of_input = true);

    int FrameCount() const { return frame_count_; }
    int MsgNumber() const { return msg_number_; }
    int StationId() const { return station_id_; }
    // "%04i" of the last station id, "----" before the first.
    const std::string& StationIdText() const { return station_text_; }
    // Last GPS time of week and GLONASS epoch (s) seen in a message; -1 before.
    double GpsTimeOfWeek() const { return gps_time_of_week_; }
    double GloEpoch() const { return glo_epoch_; }
    CRtcmTimeEstimator& TimeEstimator() { return estimator_; }
    int BitCount() const { return bit_count_; }

private:
    // Frame handling.
    void Reset();
    void Compact(bool forced);
    bool SearchPreamble();
    int CheckFrame();
    void DecodeHeader();
    void WriteHeaderBlock();
    void Dispatch();

    // Output.
    void Write(const std::string& text);
    void Line(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void SetStatus(int slot, const std::string& text);
    void NoteGpsEpoch(double seconds, bool sample);
    void NoteGloEpoch(double seconds);

    // Field access on the current frame (1-based inclusive positions); bits
    // beyond the frame read as missing, i.e. the value shrinks, never overruns.
    std::string_view Cut(int from, int to) const;
    uint32_t U(int from, int to) const;
    double UD(int from, int to) const;
    double S(int from, int to) const;
    double M(int from, int to) const;
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

    SharedState& shared_;
    LineSink sink_;
    int version_;

    std::string buffer_;  // bit buffer
    int bit_count_ = 0;
    int search_pos_ = 1;
    bool started_ = false;
    bool in_frame_ = false;
    int bytes_to_wait_ = 0;
    uint32_t msg_length_ = 0;
    int msg_bits_ = 0;
    int msg_number_ = 0;
    int station_id_ = 0;
    int frame_count_ = 0;
    std::string frame_;

    CRtcmTimeEstimator estimator_;
    std::string status_[10];
    std::string station_text_ = "----";
    double gps_time_of_week_ = -1.0;
    double glo_epoch_ = -1.0;
};

}  // namespace zerlan
