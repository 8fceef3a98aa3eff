// RtcmEncoder: turns the decoders' text back into RTCM binary messages. It
// collects text lines, takes each frame's header line, rebuilds the selected
// message field by field from the values printed on its data lines and hands
// the framed bytes (RTCM 3 with CRC-24Q, RTCM 2.3 words with parity in 6-of-8
// bytes) to its sink. Message types it cannot rebuild produce nothing.
//
// Thread-safety: one object per thread; the sink is called on that thread.
#pragma once

#include <bitset>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "decoder/Rtcm2Builder.h"

namespace zerlan {

struct EncoderParams;

struct RtcmEncoderOptions {
    bool rtcm2 = true;
    bool rtcm3 = true;
    bool cr_after_message = false;
    bool all_types = true;
    std::bitset<2000> types;

    // The dec_in settings: fields 1, 2, 12, 13 and the type list of field 14.
    static RtcmEncoderOptions FromSettings(const EncoderParams& p);
    bool Selected(int type) const { return all_types || (type > 0 && type < 2000 && types[type]); }
};

// Appends `value`, rounded (an exact half rounds down), as a `width`-bit two's
// complement field; values beyond the field saturate (non-negative values
// to all ones, negative ones to the most negative). Widths outside 1..62
// append nothing.
void PutField(std::string& bits, int width, double value);
// Sign bit (set for negative values, negative zero included), then the
// rounded magnitude in width-1 bits.
void PutSignMagnitude(std::string& bits, int width, double value);

// The words of one decoded line and the values that follow their labels.
class LineWords {
public:
    explicit LineWords(std::string_view line);
    int Count() const { return static_cast<int>(words_.size()); }
    std::string_view operator[](int i) const { return i >= 0 && i < Count() ? words_[i] : std::string_view(); }
    // Index of the first word equal to `label` at or after `from`, or -1.
    int Find(std::string_view label, int from = 1) const;
    // The number in the word `offset` places after `label` (0 when absent);
    // parsing stops at the first character that cannot continue a number,
    // so a unit glued to the value is ignored.
    double Num(std::string_view label, int offset = 1) const;
    double NumAt(int index) const;
    // The n-th (0-based) text between double quotes.
    std::string Quoted(int n) const;
    // From the first double quote to the last one.
    std::string QuotedToLast() const;

private:
    std::string_view line_;
    std::vector<std::string_view> words_;
};

class RtcmEncoder {
public:
    using Sink = std::function<void(const char* bytes, int length)>;
    static constexpr int kLineSize = 1000;
    static constexpr int kMaxPayloadBits = 8184;
    static constexpr int kMaxRtcm2DataWords = 31;

    RtcmEncoder(const RtcmEncoderOptions& options, Sink sink);

    // Collects one byte; 2 when it completed (and processed) a line, else 0.
    int PutByte(char byte);
    void EncodeLine(std::string_view line);
    // Processes a pending partial line and finishes the open message: the end
    // of the input, or a stop.
    void Flush();

private:
    enum class Mode { kNone, kRtcm2, kRtcm3 };
    using Record = std::map<std::string, double, std::less<>>;

    void StartMessage(const LineWords& header);
    void FinishMessage();
    void FinishRtcm3();
    void FinishRtcm2();
    void Emit(const std::string& bytes);

    // RTCM 3 builders; 1 asks for the message to be finished now.
    int Rtcm3Line(const LineWords& w);
    int Observations(const LineWords& w);
    void StationArp(const LineWords& w);
    void AntennaDescriptor(const LineWords& w);
    int SystemParameters(const LineWords& w);
    void NetworkAuxDelta(const LineWords& w);
    int NetworkCorrections(const LineWords& w);
    int GpsEphemeris(const LineWords& w);
    int GloEphemeris(const LineWords& w);
    void TextMessage(const LineWords& w);
    int Residuals(const LineWords& w);
    void StationArpPhysical(const LineWords& w);
    void ReceiverDescriptor(const LineWords& w);
    int Fkp(const LineWords& w);
    void NewEpoch();
    // Appends `bits` if the payload stays within its limit; else 1.
    int AddBlock(const std::string& bits);

    // RTCM 2 builders.
    void Rtcm2Line(const LineWords& w);
    void Corrections(const LineWords& w);
    void Rtk(const LineWords& w);
    void Rtcm2Ephemeris(const LineWords& w);
    void Rtcm2Station(const LineWords& w);
    void Rtcm2Misc(const LineWords& w);
    void Fkp59(const LineWords& w);
    // Appends data bits, first finishing the message and opening a
    // continuation with the same header when they would not fit.
    void AddRtcm2Bits(const std::string& bits);

    // Records the position of a count field that is written at the finish
    // with the number of blocks actually appended.
    void CountField(int width);
    void RememberValues(const LineWords& w, int from);

    RtcmEncoderOptions options_;
    Sink sink_;
    std::string line_;

    Mode mode_ = Mode::kNone;
    bool open_ = false;
    bool content_ = false;
    int number_ = 0;
    int station_ = 0;
    std::string bits_;  // RTCM 3 payload, or the RTCM 2 data words' bits
    int count_pos_ = -1;
    int count_width_ = 0;
    int blocks_ = 0;
    int lines_ = 0;

    // RTCM 2 header and chain state.
    double zcount_ = 0.0;  // 0.6 s units
    int health_ = 0;
    int sequence_ = -1;
    bool rtcm2_started_ = false;  // a 6-bit zero prefix precedes the first message
    Rtcm2Builder parity_;
    std::string time_word_;  // 18-21: repeated in a continuation

    // Ephemeris records: values by label and the lines seen.
    Record eph_;
    unsigned eph_lines_ = 0;
};

}  // namespace zerlan
