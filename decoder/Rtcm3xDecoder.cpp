#include "decoder/Rtcm3xDecoder.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "decoder/BitString.h"
#include "decoder/TextFormat.h"

namespace zerlan {
namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kEstimatorName = "Rtcm3.1";
constexpr int kCrcBits = 24;
constexpr int kLengthEnd = 24;        // preamble, reserved bits and length
constexpr uint32_t kPreambleBits = 0x34C0;  // 0xD3 and six zeros, 14 bits
constexpr size_t kCompactBytes = 4096;  // consumed bytes kept before moving the rest

// Status-board slots the view fetches on WM_USER+138.
constexpr int kSlotStation = 0;
constexpr int kSlotFrameCount = 6;
constexpr int kSlotName = 9;

struct Crc24Table {
    uint32_t entry[256];
    Crc24Table() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t crc = i << 16;
            for (int b = 0; b < 8; ++b) crc = (crc & 0x800000) ? ((crc << 1) ^ 0x864CFB) : (crc << 1);
            entry[i] = crc & 0xFFFFFF;
        }
    }
};

uint32_t Crc24Q(const uint8_t* data, size_t length) {
    static const Crc24Table table;
    uint32_t crc = 0;
    for (size_t i = 0; i < length; ++i) crc = ((crc << 8) & 0xFFFFFF) ^ table.entry[((crc >> 16) ^ data[i]) & 0xFF];
    return crc;
}

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

CRtcm3xDecoder::CRtcm3xDecoder(int version, DecoderOutput& out) : out_(out), version_(version) { Reset(); }

CRtcm3xDecoder::CRtcm3xDecoder(int version, LineSink sink)
    : own_output_(std::move(sink)), out_(own_output_), version_(version) {
    Reset();
}

CRtcm3xDecoder::~CRtcm3xDecoder() = default;

void CRtcm3xDecoder::Reset() {
    bytes_.clear();
    bytes_.reserve(kCompactBytes + 2048);
    head_ = 0;
    search_bit_ = 0;
    in_frame_ = false;
    frame_.clear();
    frame_bits_ = FrameBits();
    msg_length_ = 0;
    msg_bits_ = 0;
    msg_number_ = 0;
    station_id_ = 0;
    frame_count_ = 0;
    rejected_count_ = 0;
    for (auto& s : status_) s.clear();
    estimator_.Reset();
    estimator_.SetEnabled(true);
    estimator_.SetName(kEstimatorName);
}

int CRtcm3xDecoder::AddByte(uint8_t byte) {
    bytes_.push_back(byte);
    // Most bytes only bring a waiting candidate closer to its end.
    if (in_frame_ && search_bit_ + msg_length_ * 8 + 48 > bytes_.size() * 8) return 0;
    const bool waiting = in_frame_;
    const int frames = Scan(false);
    if (frames > 0) return 1;
    return in_frame_ && !waiting ? -1 : 0;
}

int CRtcm3xDecoder::Flush(bool end_of_input) { return Scan(end_of_input); }

int CRtcm3xDecoder::Scan(bool end_of_input) {
    int frames = 0;
    const size_t total_bits = bytes_.size() * 8;
    for (;;) {
        if (!in_frame_ && !FindCandidate()) break;
        const size_t frame_bits = msg_length_ * 8 + 48;
        if (search_bit_ + frame_bits > total_bits) {
            if (!end_of_input) break;
            // This candidate can never complete: the bits behind its preamble may
            // still hold frames.
            in_frame_ = false;
            ++search_bit_;
            continue;
        }
        in_frame_ = false;
        if (CheckFrame(search_bit_)) {
            search_bit_ += frame_bits;
            ++frames;
        } else {
            ++rejected_count_;
            out_.Rejected();
            ++search_bit_;
        }
    }
    Compact();
    return frames;
}

// Looks for the next preamble from `search_bit_` whose length field is in;
// leaves `search_bit_` at the first position not yet examined otherwise.
bool CRtcm3xDecoder::FindCandidate() {
    const size_t total_bits = bytes_.size() * 8;
    if (total_bits < kLengthEnd) return false;
    const size_t last = total_bits - kLengthEnd;  // last start with its length in
    const uint8_t* data = bytes_.data();
    const size_t n = bytes_.size();
    for (size_t p = search_bit_; p <= last;) {
        const size_t i = p >> 3;
        // 24 bits from the byte of p cover every 14-bit pattern starting in it.
        const uint32_t window = (uint32_t{data[i]} << 16) | (i + 1 < n ? uint32_t{data[i + 1]} << 8 : 0) |
                                (i + 2 < n ? uint32_t{data[i + 2]} : 0);
        for (size_t k = p & 7; k < 8 && p <= last; ++k, ++p) {
            if (((window >> (10 - k)) & 0x3FFF) != kPreambleBits) continue;
            search_bit_ = p;
            msg_length_ = static_cast<uint32_t>(ReadBits(data, p + 14, 10));
            in_frame_ = true;
            return true;
        }
    }
    search_bit_ = last + 1;
    return false;
}

void CRtcm3xDecoder::Compact() {
    const size_t keep_from = search_bit_ >> 3;
    if (keep_from < kCompactBytes) {
        head_ = keep_from;
        return;
    }
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(keep_from));
    search_bit_ -= keep_from * 8;
    head_ = 0;
}

bool CRtcm3xDecoder::CheckFrame(size_t first_bit) {
    const size_t frame_bytes = msg_length_ + 6;
    frame_.resize(frame_bytes);
    const size_t byte = first_bit >> 3;
    const int shift = static_cast<int>(first_bit & 7);
    if (shift == 0) {
        std::memcpy(frame_.data(), bytes_.data() + byte, frame_bytes);
    } else {
        for (size_t i = 0; i < frame_bytes; ++i) {
            const uint32_t hi = bytes_[byte + i];
            const uint32_t lo = byte + i + 1 < bytes_.size() ? bytes_[byte + i + 1] : 0;
            frame_[i] = static_cast<uint8_t>((hi << shift) | (lo >> (8 - shift)));
        }
    }
    // Also for the empty frame: casters send it, with its true CRC, as a keep-alive.
    const size_t body = frame_bytes - 3;
    const uint32_t sent = (uint32_t{frame_[body]} << 16) | (uint32_t{frame_[body + 1]} << 8) | frame_[body + 2];
    if (Crc24Q(frame_.data(), body) != sent) return false;
    frame_bits_ = FrameBits(frame_.data(), static_cast<int>(frame_bytes * 8));
    DecodeHeader();
    WriteHeaderBlock();
    Dispatch();
    out_.FrameDone();
    return true;
}

void CRtcm3xDecoder::DecodeHeader() {
    msg_bits_ = static_cast<int>(frame_.size()) * 8 - kCrcBits;
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
    FormatInto(text, sizeof text, "%04i", station_id_);
    station_text_ = text;
    SetStatus(kSlotStation, station_text_.c_str());
}

void CRtcm3xDecoder::WriteHeaderBlock() {
    if (clock_.Update()) clock_second_ = PcSecondOfHour(clock_.Text());
    const std::string& clock_text = clock_.Text();
    const double pc_second = clock_second_;
    estimator_.SetReference(pc_second);
    const double estimate = estimator_.Estimate(pc_second);

    line_.clear();
    AppendFormat(line_, "%sTM %s %.1lf %sMT%04i Stat %i Status 1 Sec %.0lf Seq 1000 Frame %i%s", kCrLf,
                 estimator_.Name().c_str(), estimate, clock_text.c_str(), msg_number_, station_id_, estimate,
                 msg_bits_ + 24, kCrLf);
    Write(line_.data(), line_.size());

    static const std::string kNameText = std::string("        ") + kEstimatorName;
    SetStatus(kSlotName, kNameText.c_str());
    ++frame_count_;
    char count[32];
    FormatInto(count, sizeof count, "%09d", frame_count_);
    SetStatus(kSlotFrameCount, count);
    if (station_text_ != "----") SetStatus(kSlotStation, station_text_.c_str());
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

void CRtcm3xDecoder::Write(const char* text, size_t length) { out_.Text(text, static_cast<int>(length)); }

void CRtcm3xDecoder::Line(const char* format, ...) {
    line_.clear();
    va_list args;
    va_start(args, format);
    AppendFormatV(line_, format, args);
    va_end(args);
    if (!line_.empty()) Write(line_.data(), line_.size());
}

void CRtcm3xDecoder::SetStatus(int slot, const char* text) {
    if (slot >= 0 && slot < 10) status_[slot] = text;
    out_.Status(slot, text);
}

void CRtcm3xDecoder::NoteGpsEpoch(double seconds, bool sample) {
    char text[64];
    FormatInto(text, sizeof text, "%.1lf", seconds);
    SetStatus(1, text);
    gps_time_of_week_ = seconds;
    if (sample) estimator_.AddSample(SecondOfHour(seconds));
}

void CRtcm3xDecoder::NoteGloEpoch(double seconds) {
    char text[64];
    FormatInto(text, sizeof text, "%.1lf", seconds);
    SetStatus(2, text);
    glo_epoch_ = seconds;
}

std::string CRtcm3xDecoder::Chars(int from, int count) const {
    std::string out;
    for (int i = 0; i < count; ++i) {
        char c = static_cast<char>(frame_bits_.Byte(from + 8 * i));
        if (c == '\0') break;
        if (c == '\r' || c == '\n') c = '.';
        out.push_back(c);
    }
    return out;
}

}  // namespace zerlan
