#include "encoder/RtcmEncoder.h"

#include <cmath>
#include <cstdlib>

#include "config/Settings.h"
#include "decoder/Rtcm3FrameBuilder.h"

namespace zerlan {

RtcmEncoderOptions RtcmEncoderOptions::FromSettings(const EncoderParams& p) {
    RtcmEncoderOptions o;
    o.rtcm2 = p.Flag(1);
    o.rtcm3 = p.Flag(2);
    o.cr_after_message = p.Flag(12);
    o.all_types = p.Flag(13);
    for (const std::string& t : p.message_types) {
        const int n = std::atoi(t.c_str());
        if (n >= 1 && n < 2000) o.types.set(static_cast<size_t>(n));
    }
    return o;
}

namespace {

// An exact half rounds down, so 1.5 gives 1 and -1.5 gives -2.
double RoundHalfDown(double v) { return std::ceil(v - 0.5); }

void AppendBits(std::string& bits, int width, uint64_t raw) {
    for (int i = width - 1; i >= 0; --i) bits.push_back(((raw >> i) & 1U) != 0 ? '1' : '0');
}

}  // namespace

void PutField(std::string& bits, int width, double value) {
    if (width < 1 || width > 62) return;
    double r = std::isfinite(value) ? RoundHalfDown(value) : 0.0;
    const double top = std::ldexp(1.0, width) - 1.0;
    const double bottom = -std::ldexp(1.0, width - 1);
    if (r > top) r = top;
    if (r < bottom) r = bottom;
    AppendBits(bits, width, static_cast<uint64_t>(static_cast<int64_t>(r)));
}

void PutSignMagnitude(std::string& bits, int width, double value) {
    if (width < 2 || width > 62) return;
    bits.push_back(std::signbit(value) ? '1' : '0');
    double m = std::isfinite(value) ? RoundHalfDown(std::fabs(value)) : 0.0;
    const double top = std::ldexp(1.0, width - 1) - 1.0;
    if (m > top) m = top;
    AppendBits(bits, width - 1, static_cast<uint64_t>(m));
}

LineWords::LineWords(std::string_view line) {
    const size_t end = line.find_first_of("\r\n");
    line_ = line.substr(0, end);
    size_t i = 0;
    while (i < line_.size()) {
        while (i < line_.size() && (line_[i] == ' ' || line_[i] == '\t')) ++i;
        const size_t start = i;
        while (i < line_.size() && line_[i] != ' ' && line_[i] != '\t') ++i;
        if (i > start) words_.push_back(line_.substr(start, i - start));
    }
}

int LineWords::Find(std::string_view label, int from) const {
    for (int i = from; i < Count(); ++i)
        if (words_[i] == label) return i;
    return -1;
}

double LineWords::NumAt(int index) const {
    const std::string word((*this)[index]);
    return std::strtod(word.c_str(), nullptr);
}

double LineWords::Num(std::string_view label, int offset) const {
    const int i = Find(label);
    return i < 0 ? 0.0 : NumAt(i + offset);
}

std::string LineWords::Quoted(int n) const {
    size_t pos = 0;
    for (int k = 0;; ++k) {
        const size_t open = line_.find('"', pos);
        if (open == std::string_view::npos) return {};
        const size_t close = line_.find('"', open + 1);
        if (close == std::string_view::npos) return {};
        if (k == n) return std::string(line_.substr(open + 1, close - open - 1));
        pos = close + 1;
    }
}

std::string LineWords::QuotedToLast() const {
    const size_t open = line_.find('"');
    const size_t close = line_.rfind('"');
    if (open == std::string_view::npos || close == open) return {};
    return std::string(line_.substr(open + 1, close - open - 1));
}

RtcmEncoder::RtcmEncoder(const RtcmEncoderOptions& options, Sink sink)
    : options_(options), sink_(std::move(sink)) {
    line_.reserve(kLineSize);
}

int RtcmEncoder::PutByte(char byte) {
    line_.push_back(byte);
    if (byte != '\n' && static_cast<int>(line_.size()) < kLineSize - 1) return 0;
    EncodeLine(line_);
    line_.clear();
    return 2;
}

void RtcmEncoder::Flush() {
    if (!line_.empty()) {
        EncodeLine(line_);
        line_.clear();
    }
    FinishMessage();
}

void RtcmEncoder::EncodeLine(std::string_view line) {
    if (line == "\r\n" || line == "\n") {
        FinishMessage();
        return;
    }
    const LineWords w(line);
    if (w[9] == "Frame" && w[3] == "Status") {
        // Text without blank lines between frames must not lose the open one.
        FinishMessage();
        StartMessage(w);
        return;
    }
    if (!open_ || w.Count() < 2) return;
    // Data lines belong to the frame whose header opened the message.
    char name[16];
    std::snprintf(name, sizeof name, mode_ == Mode::kRtcm3 ? "MT%04i" : "MT%02i", number_);
    if (w[0] != name) return;
    if (mode_ == Mode::kRtcm3) {
        if (Rtcm3Line(w) == 1) FinishMessage();
    } else {
        Rtcm2Line(w);
    }
}

void RtcmEncoder::StartMessage(const LineWords& header) {
    const std::string word0(header[0]);
    const int number = word0.size() > 2 ? std::atoi(word0.c_str() + 2) : 0;
    open_ = false;
    if (!options_.Selected(number)) return;
    number_ = number;
    station_ = static_cast<int>(header.NumAt(2));
    bits_.clear();
    count_pos_ = -1;
    blocks_ = 0;
    lines_ = 0;
    content_ = false;
    time_word_.clear();
    if (number > 0 && number < 1000) {
        mode_ = Mode::kRtcm2;
        zcount_ = header.NumAt(6) / 0.6;
        health_ = static_cast<int>(header.NumAt(4));
        open_ = true;
    } else if (number > 1000 && number < 5000) {
        mode_ = Mode::kRtcm3;
        PutField(bits_, 12, number);
        if (number >= 1001 && number < 1014) PutField(bits_, 12, station_);
        open_ = true;
    }
}

void RtcmEncoder::FinishMessage() {
    if (!open_) return;
    if (mode_ == Mode::kRtcm3) FinishRtcm3(); else FinishRtcm2();
    open_ = false;
    mode_ = Mode::kNone;
}

void RtcmEncoder::CountField(int width) {
    count_pos_ = static_cast<int>(bits_.size());
    count_width_ = width;
    PutField(bits_, width, 0);
}

void RtcmEncoder::Emit(const std::string& bytes) {
    if (sink_ && !bytes.empty()) sink_(bytes.data(), static_cast<int>(bytes.size()));
}

void RtcmEncoder::FinishRtcm3() {
    if (!content_ || !options_.rtcm3) return;
    if (count_pos_ >= 0) {
        std::string count;
        PutField(count, count_width_, blocks_);
        bits_.replace(static_cast<size_t>(count_pos_), count.size(), count);
    }
    std::vector<uint8_t> message((bits_.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits_.size(); ++i)
        if (bits_[i] == '1') message[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    const std::vector<uint8_t> frame = Rtcm3Frame(message);
    std::string out(frame.begin(), frame.end());
    if (options_.cr_after_message) out.push_back('\r');
    Emit(out);
    // The next RTCM 2 message is again preceded by its 6-bit zero prefix.
    rtcm2_started_ = false;
}

void RtcmEncoder::FinishRtcm2() {
    if (bits_.empty() || !options_.rtcm2) return;
    const int words = static_cast<int>((bits_.size() + 23) / 24);
    bits_.resize(static_cast<size_t>(words) * 24, '0');
    sequence_ = (sequence_ + 1) % 8;

    std::string out;
    if (!rtcm2_started_) {
        // A 0x40 byte: six zero bits, so the parity chain starts from 00.
        out = "000000";
        parity_.SetChain('0', '0');
        rtcm2_started_ = true;
    }
    std::string w1 = "01100110", w2;
    PutField(w1, 6, number_);
    PutField(w1, 10, station_);
    PutField(w2, 13, zcount_);
    PutField(w2, 3, sequence_);
    PutField(w2, 5, words);
    PutField(w2, 3, health_);
    out += parity_.Word(w1);
    out += parity_.Word(w2);
    for (int i = 0; i < words; ++i) out += parity_.Word(std::string_view(bits_).substr(static_cast<size_t>(i) * 24, 24));
    std::string bytes = ToBytes6(out);
    // A CR is no 6-of-8 byte: readers skip it, so the parity chain runs on
    // across it unchanged.
    if (options_.cr_after_message) bytes.push_back('\r');
    Emit(bytes);
    bits_.clear();
}

void RtcmEncoder::RememberValues(const LineWords& w, int from) {
    for (int i = from; i + 1 < w.Count(); ++i) eph_[std::string(w[i])] = w.NumAt(i + 1);
}

}  // namespace zerlan
