#include "decoder/Rtcm3xDecoder.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/CharPool.h"
#include "core/GlobalSeconds.h"
#include "core/Messages.h"
#include "core/SharedState.h"
#include "decoder/BitString.h"
#include "decoder/StringAnalyser.h"
#include "platform/Sleep.h"

namespace zerlan {
namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kEstimatorName = "Rtcm3.1";
constexpr int kHeaderBits = 24;      // preamble, reserved bits, length
constexpr int kCrcBits = 24;
constexpr int kMinSearchBits = 56;   // a preamble hit needs this many bits from it
constexpr int kFitLimit = 8584;      // frames ending beyond this force a compaction
constexpr int kDropAt = 8553;        // unconsumed bits that cost the oldest 3000
constexpr int kDropBits = 3000;

// Status-board slots the view fetches on WM_USER+138.
constexpr int kSlotStation = 0;
constexpr int kSlotFrameCount = 6;
constexpr int kSlotName = 9;

// Second within the hour of the clock text "Www Mmm dd hh:mm:ss.mmm yyyy".
double PcSecondOfHour(const std::string& clock_text) {
    size_t colon = clock_text.find(':');
    if (colon == std::string::npos || colon + 4 > clock_text.size()) return 0.0;
    int minutes = std::atoi(clock_text.c_str() + colon + 1);
    double seconds = std::atof(clock_text.c_str() + colon + 4);
    return minutes * 60 + seconds;
}

// Messages whose bits 37..48 are the reference-station id: observations,
// station and antenna descriptions, texts, FKP, MSM and GLONASS biases; the
// provider id of this system's own 1047/1048 has always stood there too.
bool CarriesStationId(int number) {
    return (number >= 1001 && number <= 1013) || number == 1029 || (number >= 1032 && number <= 1036) ||
           number == 1047 || number == 1048 || (number >= 1071 && number <= 1137) || number == 1230;
}

}  // namespace

CRtcm3xDecoder::CRtcm3xDecoder(int version, SharedState& shared, LineSink sink)
    : shared_(shared), sink_(std::move(sink)), version_(version) {
    Reset();
}

CRtcm3xDecoder::~CRtcm3xDecoder() = default;

void CRtcm3xDecoder::Reset() {
    buffer_.clear();
    buffer_.reserve(kMaxBufferBits + 8);
    frame_.clear();
    bit_count_ = 0;
    search_pos_ = 1;
    started_ = false;
    in_frame_ = false;
    bytes_to_wait_ = 0;
    msg_length_ = 0;
    msg_bits_ = 0;
    msg_number_ = 0;
    station_id_ = 0;
    frame_count_ = 0;
    for (auto& s : status_) s.clear();
    estimator_.Reset();
    estimator_.SetEnabled(true);
    estimator_.SetName(kEstimatorName);
}

int CRtcm3xDecoder::AddByte(uint8_t byte) {
    buffer_ += ByteToBits8(byte);
    bit_count_ += 8;
    Compact(false);
    if (!in_frame_) {
        if (bit_count_ >= kMinSearchBits) {
            if (!started_) {
                search_pos_ = 1;
                started_ = true;
            }
            if (SearchPreamble()) return -1;
        }
        return 0;
    }
    bytes_to_wait_ -= 1;
    if (bytes_to_wait_ >= 1) return 0;
    in_frame_ = false;
    bytes_to_wait_ = 0;
    if (CheckFrame() == 1) {
        search_pos_ += 48 + static_cast<int>(msg_length_) * 8;
        Compact(true);
        return 1;
    }
    search_pos_ += 1;
    return 0;
}

int CRtcm3xDecoder::Flush(bool end_of_input) {
    const std::string_view pre(kPreamble);
    int frames = 0;
    for (;;) {
        if (!in_frame_) {
            int p = search_pos_;
            while (p + 23 <= bit_count_ && std::string_view(buffer_).substr(p - 1, pre.size()) != pre) ++p;
            if (p + 23 > bit_count_) return frames;
            search_pos_ = p;
            msg_length_ = BitsToUInt(std::string_view(buffer_).substr(p - 1 + 14, 10));
        }
        const int frame_bits = static_cast<int>(msg_length_) * 8 + 48;
        if (!end_of_input && search_pos_ - 1 + frame_bits > bit_count_) return frames;
        in_frame_ = false;
        bytes_to_wait_ = 0;
        if (search_pos_ - 1 + frame_bits <= bit_count_ && CheckFrame() == 1) {
            search_pos_ += frame_bits;
            Compact(true);
            ++frames;
        } else {
            search_pos_ += 1;
        }
    }
}

void CRtcm3xDecoder::Compact(bool forced) {
    if (!forced && bit_count_ - search_pos_ >= kDropAt) {
        buffer_.erase(0, kDropBits);
        bit_count_ -= kDropBits;
        search_pos_ = 1;
    } else if ((!forced && bit_count_ >= kFitLimit + 1) ||
               (!forced && bit_count_ - search_pos_ < 31 && bit_count_ >= 73) || forced) {
        if (search_pos_ > bit_count_ + 1) search_pos_ = bit_count_ + 1;
        buffer_.erase(0, search_pos_ - 1);
        bit_count_ = bit_count_ - search_pos_ + 1;
        search_pos_ = 1;
    }
}

bool CRtcm3xDecoder::SearchPreamble() {
    const std::string_view pre(kPreamble);
    for (int p = search_pos_; p < bit_count_ - 55; ++p) {
        if (std::string_view(buffer_).substr(p - 1, pre.size()) != pre) continue;
        search_pos_ = p;
        msg_length_ = BitsToUInt(std::string_view(buffer_).substr(p - 1 + 14, 10));
        in_frame_ = true;
        bytes_to_wait_ = static_cast<int>(msg_length_) + 3;
        if (p + static_cast<int>(msg_length_) * 8 + 48 >= kFitLimit) Compact(true);
        return true;
    }
    // Never step back: a rejected preamble must not be found again.
    if (bit_count_ - 55 > search_pos_) search_pos_ = bit_count_ - 55;
    return false;
}

int CRtcm3xDecoder::CheckFrame() {
    const size_t frame_bits = msg_length_ * 8 + 48;
    frame_ = buffer_.substr(search_pos_ - 1, frame_bits);
    if (frame_.size() != frame_bits) return 0;
    // Also for the empty frame: casters send it, with its true CRC, as a keep-alive.
    const size_t body = frame_bits - kCrcBits;
    if (Crc24(std::string_view(frame_).substr(0, body)) != std::string_view(frame_).substr(body)) return 0;
    DecodeHeader();
    WriteHeaderBlock();
    Dispatch();
    shared_.Send(msg::kDecoderFields);
    return 1;
}

void CRtcm3xDecoder::DecodeHeader() {
    msg_bits_ = static_cast<int>(frame_.size()) - kCrcBits;
    // Without 12 message bits the number field would be read out of the CRC.
    msg_number_ = msg_length_ * 8 < 12 ? kEmptyFrameNumber : static_cast<int>(U(25, 36));
    if (msg_number_ == 0 && msg_length_ == 0) msg_number_ = kEmptyFrameNumber;

    int from = 37;
    switch (msg_number_) {
        case 1014: from = 54; break;
        case 1015: case 1016: case 1017: from = 73; break;
        case 1030: from = 57; break;
        case 1031: from = 54; break;
        case 1037: case 1038: case 1039: from = 70; break;
        default: from = CarriesStationId(msg_number_) ? 37 : 0; break;
    }
    // Messages without a station field keep the previous one: their bits
    // there mean something else and would rename the "Auto" files.
    if (from == 0 || !Fits(from + 11)) return;
    station_id_ = static_cast<int>(U(from, from + 11));
    char text[16];
    std::snprintf(text, sizeof text, "%04i", station_id_);
    station_text_ = text;
    SetStatus(kSlotStation, station_text_);
}

void CRtcm3xDecoder::WriteHeaderBlock() {
    const std::string clock_text = GlobalSeconds::TimeStamp();
    const double pc_second = PcSecondOfHour(clock_text);
    estimator_.SetReference(pc_second);
    const double estimate = estimator_.Estimate(pc_second);

    char tm[200];
    std::snprintf(tm, sizeof tm, "TM %s %.1lf ", estimator_.Name().c_str(), estimate);
    char number[16];
    std::snprintf(number, sizeof number, "%04i", msg_number_);
    char text[600];
    std::snprintf(text, sizeof text, "%s%s%sMT%s Stat %i Status 1 Sec %.0lf Seq 1000 Frame %i%s", kCrLf, tm,
                  clock_text.c_str(), number, station_id_, estimate, msg_bits_ + 24, kCrLf);
    Write(text);

    SetStatus(kSlotName, std::string("        ") + kEstimatorName);
    ++frame_count_;
    CStringAnalyser sa;
    sa.PadLeft('0', 9, std::to_string(frame_count_));
    SetStatus(kSlotFrameCount, sa.Field(0));
    if (station_text_ != "----") SetStatus(kSlotStation, station_text_);
}

void CRtcm3xDecoder::Dispatch() {
    switch (msg_number_) {
        case 1001: case 1002: case 1003: case 1004: GpsObservations(); break;
        case 1005: case 1006: StationArp(); break;
        case 1007: case 1008: AntennaDescriptor(); break;
        case 1009: case 1010: case 1011: case 1012: GloObservations(); break;
        case 1013: SystemParameters(); break;
        case 1014: NetworkAuxDelta(); break;
        case 1015: case 1016: case 1017:
        case 1037: case 1038: case 1039: NetworkCorrections(); break;
        case 1019: GpsEphemeris(); break;
        case 1020: GloEphemeris(); break;
        case 1021: case 1022: case 1023: case 1024:
        case 1025: case 1026: case 1027: case 1028: NoDecoding(); break;
        case 1029: TextMessage(); break;
        case 1030: case 1031: Residuals(); break;
        case 1032: StationArpPhysical(); break;
        case 1033: ReceiverDescriptor(); break;
        case 1034: FkpGps(); break;
        case 1035: FkpGlo(); break;
        case 1036: NetworkRtkCrc(); break;
        case 1047: EncryptionHeader(); break;
        case 1048: KeyChange(); break;
        default: break;
    }
}

void CRtcm3xDecoder::Write(const std::string& text) {
    // The pool refuses blocks over its single-write limit forever; no line
    // comes near it, but a retry loop must not depend on that.
    std::string out = text.size() <= CharPool::kSingleLimit ? text : text.substr(0, CharPool::kSingleLimit - 2) + kCrLf;
    if (sink_) {
        sink_(out.c_str(), static_cast<int>(out.size()));
        return;
    }
    while (shared_.decoded_text_pool.WriteLines(out.c_str(), static_cast<int>(out.size())) < 0) {
        if (shared_.registry.StopRequested()) return;
        Sleep(1);
    }
}

void CRtcm3xDecoder::Line(const char* format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Write(text);
}

void CRtcm3xDecoder::SetStatus(int slot, const std::string& text) {
    if (slot >= 0 && slot < 10) status_[slot] = text;
    while (shared_.status_board.SetText(text.c_str(), slot) < 0) {
        if (shared_.registry.StopRequested()) return;
        Sleep(1);
    }
}

void CRtcm3xDecoder::NoteGpsEpoch(double seconds, bool sample) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1lf", seconds);
    SetStatus(1, text);
    gps_time_of_week_ = seconds;
    if (sample) estimator_.AddSample(SecondOfHour(seconds));
}

void CRtcm3xDecoder::NoteGloEpoch(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1lf", seconds);
    SetStatus(2, text);
    glo_epoch_ = seconds;
}

std::string_view CRtcm3xDecoder::Cut(int from, int to) const {
    if (from < 1 || to < from) return {};
    const int len = static_cast<int>(frame_.size());
    if (from > len) return {};
    if (to > len) to = len;
    return std::string_view(frame_).substr(from - 1, to - from + 1);
}

uint32_t CRtcm3xDecoder::U(int from, int to) const { return BitsToUInt(Cut(from, to)); }
double CRtcm3xDecoder::UD(int from, int to) const { return BitsToUDouble(Cut(from, to)); }
double CRtcm3xDecoder::S(int from, int to) const { return BitsToDouble(Cut(from, to)); }
double CRtcm3xDecoder::M(int from, int to) const { return BitsToSignMagDouble(Cut(from, to)); }

std::string CRtcm3xDecoder::Chars(int from, int count) const {
    std::string out;
    for (int i = 0; i < count; ++i) {
        char c = static_cast<char>(BitsToByte(Cut(from + 8 * i, from + 8 * i + 7)));
        if (c == '\0') break;
        if (c == '\r' || c == '\n') c = '.';
        out.push_back(c);
    }
    return out;
}

}  // namespace zerlan
