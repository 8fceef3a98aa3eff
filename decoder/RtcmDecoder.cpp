#include "decoder/RtcmDecoder.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "decoder/BitString.h"
#include "decoder/RtcmTimeEstimator.h"

namespace zerlan {
namespace {

constexpr int kMaxZCount = 5999;

// Status-board slots of the view's decoder fields.
constexpr int kSlotStation = 0;
constexpr int kSlotGpsTime = 1;
constexpr int kSlotGlonassTime = 2;
constexpr int kSlotFrames = 6;
constexpr int kSlotSearches = 7;
constexpr int kSlotName = 9;

// Word-group size of each type; 18-21 and 59 begin with words of their own.
int GroupSize(int type) {
    switch (type) {
        case 1: case 2: case 9: case 31: case 34: return 5;
        case 3: case 32: case 4: return 4;
        case 7: case 14: case 15: case 22: return 3;
        case 13: case 37: case 18: case 19: case 20: case 21: return 2;
        case 17: return 20;
        case 24: return 6;
        case 59: return 7;
        default: return 1;
    }
}

int StartPhase(int type) {
    if (type >= 18 && type <= 21) return 1;
    if (type == 59) return 10;
    return GroupSize(type);
}

// Bit k of the result is 1 when text[k] is '1' (k = 0..15); the text holds
// only '0' and '1'.
uint32_t PackBits16(const char* text) {
    uint64_t low;
    uint64_t high;
    std::memcpy(&low, text, 8);
    std::memcpy(&high, text + 8, 8);
    if constexpr (std::endian::native == std::endian::big) {
        low = __builtin_bswap64(low);
        high = __builtin_bswap64(high);
    }
    // Gathers the low bit of each byte into the top byte, byte k to bit k.
    constexpr uint64_t kLowBits = 0x0101010101010101ULL;
    constexpr uint64_t kGather = 0x0102040810204080ULL;
    return static_cast<uint32_t>(((low & kLowBits) * kGather) >> 56) |
           (static_cast<uint32_t>(((high & kLowBits) * kGather) >> 56) << 8);
}

// Each byte value's bits as characters, least significant first.
constexpr struct ByteBits {
    char text[256][8];
    constexpr ByteBits() : text() {
        for (int v = 0; v < 256; ++v)
            for (int i = 0; i < 8; ++i) text[v][i] = ((v >> i) & 1) != 0 ? '1' : '0';
    }
} kByteBits;

// Bit s (1..6) set where the nine characters 4+s.. of the window may hold
// D30* and a preamble: "0" "01100110" or its inverted form "1" "10011001".
// Both change value exactly between characters 2-3, 4-5, 6-7 and 8-9 of the
// nine, so the test runs on the changes, all start positions at once.
uint32_t PreambleCandidates(uint32_t bits) {
    const uint32_t changes = bits ^ (bits >> 1);  // bit k: characters k and k+1 differ
    // Eight changes from s must read 0,1,0,1,0,1,0,1: for an even s the set
    // ones fall on odd k, for an odd s on even k.
    auto runs_of_eight = [](uint32_t agree) {  // bit s: agree holds bits s..s+7
        agree &= agree >> 1;
        agree &= agree >> 2;
        return agree & (agree >> 4);
    };
    const uint32_t even = runs_of_eight(~(changes ^ 0xAAAAu)) & 0x54u;  // s = 2, 4, 6
    const uint32_t odd = runs_of_eight(~(changes ^ 0x5555u)) & 0x2Au;   // s = 1, 3, 5
    return even | odd;
}

// PC second within the hour from the clock text "Www Mmm dd hh:mm:ss.mmm yyyy".
double PcSecondOfHour(const std::string& stamp) {
    const size_t colon = stamp.find(':');
    if (colon == std::string::npos || colon + 1 >= stamp.size()) return 0.0;
    const int minutes = std::atoi(stamp.c_str() + colon + 1);
    const size_t colon2 = stamp.find(':', colon + 1);
    const double seconds = colon2 == std::string::npos ? 0.0 : std::atof(stamp.c_str() + colon2 + 1);
    return minutes * 60.0 + seconds;
}

}  // namespace

CRtcmDecoder::CRtcmDecoder(int version, DecoderOutput& out) : out_(out) {
    version23_ = version == 1 || version == -1;
    Reset();
}

CRtcmDecoder::CRtcmDecoder(int version, LineSink sink) : own_output_(std::move(sink)), out_(own_output_) {
    version23_ = version == 1 || version == -1;
    Reset();
}

CRtcmDecoder::~CRtcmDecoder() = default;

void CRtcmDecoder::Reset() {
    std::memset(window_, '0', kWindowStart);
    window_size_ = kWindowStart;
    start_ = 0;
    rolled_ = 0;
    frame_end_ = 0;
    byte_mode_ = 6;
    mode_counter_ = 0;
    locked_ = false;
    wait_bytes_ = 1;
    in_sync_ = false;
    word_pos_ = 0;
    word_phase_ = -1;
    words_left_ = 0;
    search_count_ = 0;
    frame_count_ = 0;
    msg_type_ = station_id_ = zcount_ = sequence_ = word_count_ = health_ = 0;
    zseconds_ = 0.0;
    frame_data_.clear();
    station_text_ = "----";
    estimator_.Reset();
    estimator_.SetEnabled(true);
    estimator_.SetName("Rtcm2.3");
}

int CRtcmDecoder::AddByte(uint8_t byte) {
    if (!locked_ && ++mode_counter_ >= kModeFlipBytes) {
        byte_mode_ = byte_mode_ == 6 ? 8 : 6;
        mode_counter_ = 0;
    }
    // In 6-of-8 bytes the top bits are always 01: anything else is not data,
    // and rolling it in would shift every following word out of place.
    if (byte_mode_ == 6 && (byte & 0xC0) != 0x40) return in_sync_ ? 4 : -1;
    start_ += 6;
    Roll(byte);

    int result = Step();
    // 8-bit bytes bring two bits more than a step consumes: catch up.
    if (static_cast<int>(window_size_ - start_) >= kMaxWindow) {
        for (int i = 0; i < 5; ++i) {
            start_ += 6;
            result = Step();
        }
    }
    if (start_ >= kCompactAt) {
        std::memmove(window_, window_ + start_, window_size_ - start_);
        window_size_ -= start_;
        start_ = 0;
    }
    return result;
}

// Appends the byte's data bits, least significant first.
void CRtcmDecoder::Roll(uint8_t byte) {
    const int bits = byte_mode_ == 6 ? 6 : 8;
    const uint8_t value = byte_mode_ == 6 ? static_cast<uint8_t>(byte - 64) : byte;
    // All eight characters are copied; a 6-bit byte's last two are overwritten next.
    std::memcpy(window_ + window_size_, kByteBits.text[value], 8);
    window_size_ += static_cast<size_t>(bits);
    rolled_ += bits;
}

int CRtcmDecoder::Flush() {
    if (!in_sync_ || words_left_ != 1 || wait_bytes_ < 1) return 0;
    // The word now lies this far behind the place where it will be taken.
    const int offset = 6 * wait_bytes_;
    if (word_pos_ + offset + 29 > static_cast<int>(window_size_ - start_)) return 0;
    const int pending = wait_bytes_;
    if (TakeDataWord(offset) != 1) return 0;
    locked_ = true;
    wait_bytes_ = pending + 1;
    return 1;
}

int CRtcmDecoder::Step() {
    if (--wait_bytes_ >= 1) return 4;
    if (in_sync_) {
        const int r = TakeDataWord();
        if (r < 0) return -1;
        if (r == 1) locked_ = true;
        return 2;
    }
    return SearchPreamble();
}

void CRtcmDecoder::LoseSync() {
    word_phase_ = -1;
    wait_bytes_ = 1;
    in_sync_ = false;
    words_left_ = 0;
}

int CRtcmDecoder::SearchPreamble() {
    in_sync_ = false;
    word_phase_ = -1;
    words_left_ = 0;
    word_pos_ = 0;
    msg_type_ = 0;

    // The polarity comes from the D30* bit just before each candidate start.
    // Byte-aligned 6-of-8 streams always meet the preamble at 7, where this is
    // window position 6; 8-bit streams meet it anywhere in 7..12, and a false
    // preamble there must not hide the real one a few bits later.
    const char* window = window_ + start_;
    int result = -1;
    // The window never holds fewer than kWindowStart characters, so characters
    // 4..19 are there; they cover every candidate.
    for (uint32_t candidates = PreambleCandidates(PackBits16(window + 4)); candidates != 0;
         candidates &= candidates - 1) {
        const int p = std::countr_zero(candidates) + 6;
        // Bits of the frame just decoded would give chance frames.
        if (StreamPos(p) < frame_end_) continue;
        if (TryHeader(p, &result)) return 3;
    }
    wait_bytes_ = 1;
    if (result == -1 || result == -2) ++search_count_;
    return result == -2 ? 0 : result;
}

// Checks and decodes the header words of a preamble at `p`. On failure
// `result` becomes 0 (a header word or field failed) or -2 (the first word
// failed its parity, which counts as a failed search) unless a better one
// is already known.
bool CRtcmDecoder::TryHeader(int p, int* result) {
    std::string first;
    if (!CheckWordParity(Window().substr(p - 3), &first)) {
        if (*result == -1) *result = -2;
        return false;
    }
    // The first word's own D29, D30 chain into the second word.
    std::string second;
    if (!CheckWordParity(std::string_view(first).substr(30), &second)) {
        *result = 0;
        return false;
    }
    const std::string header = first.substr(0, 30) + second;
    auto field = [&header](int from, int to) {
        return static_cast<int>(BitsToUInt(std::string_view(header).substr(from - 1, to - from + 1)));
    };
    const int type = field(11, 16);
    const int zcount = field(33, 45);
    const int count = field(49, 53);
    // A frame without data words (type 1 with no satellite in view) is still
    // a frame: its header line is printed.
    if (zcount > kMaxZCount || type == 0 || (count == 0 && !Rtcm2HasWriter(type))) {
        *result = 0;
        return false;
    }
    msg_type_ = type;
    station_id_ = field(17, 26);
    zcount_ = zcount;
    zseconds_ = zcount * 0.6;
    sequence_ = field(46, 48);
    word_count_ = count;
    health_ = field(54, 56);
    words_left_ = count;

    word_pos_ = p + 30;
    in_sync_ = true;
    wait_bytes_ = 5;
    char text[32];
    std::snprintf(text, sizeof text, "%5ld", static_cast<long>(search_count_));
    SetSlot(text, kSlotSearches);
    search_count_ = 0;
    if (count == 0) {
        frame_end_ = StreamPos(p) + 60;
        frame_data_.clear();
        FinishFrame();
        locked_ = true;
        LoseSync();
    }
    return true;
}

int CRtcmDecoder::TakeDataWord(int offset) {
    const std::string_view window = Window();
    const size_t from = static_cast<size_t>(word_pos_ + offset - 3);
    const std::string_view cut = window.substr(from < window.size() ? from : window.size(), 33);
    if (word_phase_ == -1 && !Rtcm2WordCountValid(msg_type_, word_count_)) {
        char text[100];
        std::snprintf(text, sizeof text, "Invalide Count of Frame at MT%i !%s", msg_type_, kCrLf);
        out_.Log(text);
        LoseSync();
        out_.Rejected();
        return -1;
    }
    if (!CheckWordParity(cut, &decoded_)) {
        LoseSync();
        out_.Rejected();
        return -1;
    }
    if (word_phase_ == -1) {
        if (!Rtcm2HasWriter(msg_type_)) {
            LoseSync();
            out_.Rejected();
            return -1;
        }
        frame_data_.clear();
        word_phase_ = StartPhase(msg_type_);
    }
    frame_data_.append(decoded_, 2, 24);
    if (--word_phase_ <= 0) word_phase_ = GroupSize(msg_type_);

    if (words_left_ > 1) {
        --words_left_;
        wait_bytes_ = 5;
        return 0;
    }
    frame_end_ = StreamPos(word_pos_ + offset) + 30;
    FinishFrame();
    word_phase_ = -1;
    wait_bytes_ = 1;
    in_sync_ = false;
    words_left_ = 0;
    return 1;
}

void CRtcmDecoder::FinishFrame() {
    Rtcm2Frame frame;
    frame.type = msg_type_;
    frame.station = station_id_;
    frame.health = health_;
    frame.sequence = sequence_;
    frame.word_count = word_count_;
    frame.zseconds = zseconds_;
    frame.version23 = version23_;
    frame.data = frame_data_;
    int glonass_flag = 0;
    const Rtcm2Lines lines = Rtcm2MessageLines(frame, &glonass_flag);
    WriteHeaderLine(glonass_flag);
    for (const std::string& line : lines) Emit(line);
    out_.FrameDone();
}

void CRtcmDecoder::WriteHeaderLine(int glonass_flag) {
    char text[100];
    std::snprintf(text, sizeof text, "%04i", station_id_);
    station_text_ = text;
    SetSlot(text, kSlotStation);

    char type[16];
    std::snprintf(type, sizeof type, msg_type_ < 10 ? "0%i" : "%i", msg_type_);
    SetSlot(version23_ ? "        Rtcm2.3" : "        Rtcm2.1", kSlotName);

    char seconds[64];
    std::snprintf(seconds, sizeof seconds, "%.1lf", zseconds_);
    double sample = zseconds_;
    if (glonass_flag == 0) {
        SetSlot(seconds, kSlotGpsTime);
        gps_time_ = zseconds_;
    } else {
        SetSlot(seconds, kSlotGlonassTime);
        glonass_epoch_ = zseconds_;
        sample = zseconds_ + glonass_difference_;
        if (sample >= 3600.0) sample -= 3600.0;
    }

    if (clock_.Update()) clock_second_ = PcSecondOfHour(clock_.Text());
    const std::string& stamp = clock_.Text();
    const double pc_second = clock_second_;
    estimator_.SetReference(pc_second);
    estimator_.AddSample(sample);
    const double estimate = estimator_.Estimate(pc_second);

    const std::string tm = FormatText("TM %s %.1lf ", estimator_.Name().c_str(), estimate);
    Emit(FormatText("%s%s%sMT%s Stat %i Status %i Sec %.1lf Seq %i Frame %i%s", kCrLf, tm.c_str(),
                     stamp.c_str(), type, station_id_, health_, zseconds_, sequence_, word_count_, kCrLf));

    ++frame_count_;
    char count[32];
    std::snprintf(count, sizeof count, "%09d", frame_count_);
    SetSlot(count, kSlotFrames);
}

void CRtcmDecoder::SetSlot(const char* text, int slot) { out_.Status(slot, text); }

void CRtcmDecoder::Emit(const std::string& text) { out_.Text(text.c_str(), static_cast<int>(text.size())); }

}  // namespace zerlan
