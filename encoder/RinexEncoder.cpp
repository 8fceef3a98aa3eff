#include "encoder/RinexEncoder.h"

#include <cmath>
#include <cstdarg>
#include <cstdlib>

#include "core/GlobalSeconds.h"
#include "decoder/StringAnalyser.h"
#include "encoder/RotationNamer.h"
#include "platform/Paths.h"
#include "platform/Sleep.h"

namespace zerlan {

namespace {

constexpr int kSecondsPerHour = 3600;
constexpr int kHalfHour = 1800;
constexpr int kOpenRetryMs = 20;
constexpr int kSatellitesPerLine = 12;
constexpr const char* kContinuation = "\n                                ";  // 32 blanks
constexpr const char* kBlankValue = "                ";                    // 16 blanks
constexpr const char* kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                     "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

std::string Format(const char* format, ...) {
    char buffer[1000];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

// A header line: 60 columns of content and the label in columns 61-80, so
// that no value can shift the label.
std::string HeaderLine(const std::string& content, const char* label) {
    return Format("%-60.60s%-20.20s\n", content.c_str(), label);
}

std::vector<std::string> Words(char separator, const std::string& text) {
    CStringAnalyser analyser;
    const int n = analyser.Split(separator, text);
    std::vector<std::string> words;
    words.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) words.push_back(analyser.Field(i));
    return words;
}

// Digit of tenths of a time, 0..9.
int TenthsDigit(long long tenths) { return static_cast<int>(((tenths % 10) + 10) % 10); }

}  // namespace

RinexConfig RinexConfig::From(const RinexParams& p) {
    RinexConfig c;
    c.gps = p.gps_on;
    c.glonass = p.glo_on;
    c.to_files = p.files_on;
    c.to_pool = p.tcp_on;
    c.interval_s = std::atoi(p.interval_s.c_str());
    if (c.interval_s < 1 || c.interval_s > 60) c.interval_s = 15;
    c.pc_minus_utc_s = std::atoi(p.pc_minus_utc_s.c_str());
    c.layout = std::atoi(p.layout.c_str());
    c.period_min = std::atoi(p.period_min.c_str());
    c.base_dir = p.base_dir;
    c.prefix = p.prefix.empty() ? "0000" : p.prefix == "None" ? "" : p.prefix;
    c.gps_glonass_s = std::atof(p.gps_glo_diff_s.c_str());
    return c;
}

RinexEncoder::RinexEncoder(const RinexConfig& config, RinexEnvironment environment)
    : config_(config), env_(std::move(environment)), prefix_(config.prefix), gps_glonass_s_(config.gps_glonass_s) {
    prefix_pending_ = prefix_ == "Auto";
    if (!env_.now_seconds) env_.now_seconds = [] { return GlobalSeconds().NowSeconds(); };
}

RinexEncoder::~RinexEncoder() { CloseFile(); }

int RinexEncoder::PutByte(char byte) {
    line_[line_length_++] = byte;
    const bool end = byte == '\n';
    if (!end && line_length_ < kLineSize - 1) return 0;
    const std::string line(line_, static_cast<size_t>(line_length_));
    line_length_ = 0;
    EncodeLine(line);
    return end ? 1 : 2;
}

void RinexEncoder::EncodeLine(const std::string& line) {
    words_ = Words(' ', line);
    const std::vector<std::string>& w = words_;
    const size_t n = w.size();
    if (n > 9 && w[9] == "Frame" && w[3] == "Status") {
        marker_ = std::atoi(w[2].c_str());
        if (prefix_pending_) {
            prefix_ = Format("%04i", marker_);
            prefix_pending_ = false;
        }
        return;
    }
    if (n == 0) return;
    const std::string& type = w[0];
    if ((type == "MT03" && n > 10 && w[5] == "X") || (type == "MT24" && n > 10 && w[5] == "ArpXCoord")) {
        for (int i = 0; i < 3; ++i) position_[i] = std::atof(w[6 + 2 * i].c_str());
        if (type == "MT24" && n > 12) delta_[0] = std::atof(w[12].c_str());
    } else if (type == "MT23") {
        const std::vector<std::string> parts = Words('"', line);
        if (parts.size() >= 4) {
            antenna_type_ = parts[1];
            antenna_number_ = parts[3];
        }
    } else if (type == "MT37" && n > 12 && w[5] == "Sys1") {
        gps_glonass_s_ = std::atof(w[10].c_str()) + std::atof(w[12].c_str());
    } else if ((type == "MT18" && n > 14) || (type == "MT19" && n > 17)) {
        if (w[1] != "SV") return;
        const int sv = std::atoi(w[2].c_str());
        const bool glonass = sv > kGlonassOffset;
        if (glonass ? !config_.glonass : !config_.gps) return;
        const double t = std::atof(w[4].c_str());
        if (!(t >= 0.0 && t < kSecondsPerHour)) return;  // a Z-count counts seconds of the hour
        const int32_t key = StartEpoch(t, glonass);
        StoreObservation(type == "MT18" ? 18 : 19, key, t);
    }
}

int32_t RinexEncoder::StartEpoch(double t, bool glonass) {
    if (glonass && std::isfinite(gps_glonass_s_)) {
        t = std::fmod(t + gps_glonass_s_, kSecondsPerHour);
        if (t < 0) t += kSecondsPerHour;
    }
    // Z-counts come in 0.6 s steps: x.8 and the next (x+1).4 would both round
    // to x+1, so the later one goes up.
    if (t != last_raw_) {
        const long long now = std::llround(t * 10.0);
        const long long last = std::llround(last_raw_ * 10.0);
        const long long step = now - last;
        round_up_ = last_raw_ >= 0.0 && TenthsDigit(last) == 8 && TenthsDigit(now) == 4 &&
                    (step == 6 || step == 6 - kSecondsPerHour * 10);
    }
    last_raw_ = t;
    const double whole = std::floor(t);
    int rounded = static_cast<int>(whole) + (t - whole >= 0.5 - 1e-9 || round_up_ ? 1 : 0);
    if (rounded >= kSecondsPerHour) rounded -= kSecondsPerHour;

    // The date comes from the clock: the moment nearest to it whose minute
    // and second are those of the measurement.
    GlobalSeconds time;
    const int32_t now = env_.now_seconds() - config_.pc_minus_utc_s;
    time.FromSeconds(now);
    const int c = time.minute * 60 + time.second;
    int32_t key = now;
    if (c <= rounded) {
        key += rounded - c <= kHalfHour ? rounded - c : -(c + kSecondsPerHour - rounded);
    } else {
        key += c - rounded <= kHalfHour ? -(c - rounded) : rounded + kSecondsPerHour - c;
    }
    time.FromSeconds(key);
    const std::string line = Format(" %02i %2i %2i %2i %2i %10.7lf  0 ", time.year < 2000 ? 0 : time.year - 2000,
                                    time.month + 1, time.day, time.hour, time.minute,
                                    static_cast<double>(time.second));
    if (line == last_line_ || key <= last_key_) return key;

    last_key_ = key;
    const std::string path = RotationNamer().NameForTime(config_.layout, config_.period_min, prefix_,
                                                         config_.Extension(), config_.base_dir, key);
    if (ring_full_) WriteEpoch((ring_index_ + 1) % kRingSize);
    last_line_ = line;
    ring_index_ = (ring_index_ + 1) % kRingSize;
    if (ring_index_ == kRingSize - 1) ring_full_ = true;
    RinexEpoch& epoch = ring_[static_cast<size_t>(ring_index_)];
    epoch.Clear();
    epoch.key = key;
    epoch.time = t;
    epoch.path = path;
    epoch.line = line;
    return key;
}

void RinexEncoder::StoreObservation(int type, int32_t key, double time) {
    RinexEpoch* epoch = nullptr;
    for (RinexEpoch& e : ring_) {
        if (e.key == key) epoch = &e;
    }
    // An epoch that has left the ring is gone; its late lines are dropped.
    if (epoch == nullptr) return;
    epoch->time = time;
    const std::vector<std::string>& w = words_;
    const int sv = std::atoi(w[2].c_str());
    size_t index = 0;
    while (index < epoch->satellites.size() && epoch->satellites[index] != sv) ++index;
    if (index == epoch->satellites.size()) {
        if (index >= RinexEpoch::kMaxSatellites) return;
        epoch->satellites.push_back(sv);
        epoch->values.push_back({});
    }
    auto& values = epoch->values[index];
    if (type == 18) {
        const std::vector<std::string> parts = Words('_', w[9]);
        if (parts.size() < 2) return;
        const double phase = std::atof(w[14].c_str());
        if (parts[1] == "L1") values[RinexEpoch::kL1Phase] = phase;
        if (parts[1] == "L2") values[RinexEpoch::kL2Phase] = phase;
        return;
    }
    const std::string band = w[8].substr(std::min<size_t>(2, w[8].size()), 2);
    const std::string code = w[11].substr(std::min<size_t>(2, w[11].size()), 8);
    const double range = std::atof(w[17].c_str());
    const bool ca = code == "C/A-Code";
    const bool p = code == "P-Code";
    if (band == "L1" && ca) values[RinexEpoch::kL1Ca] = range;
    if (band == "L1" && p) values[RinexEpoch::kL1P] = range;
    if (band == "L2" && ca) values[RinexEpoch::kL2Ca] = range;
    if (band == "L2" && p) values[RinexEpoch::kL2P] = range;
}

double RinexEncoder::ContinuousPhase(double range, double phase, double wavelength) {
    const double k = std::round((range / wavelength + phase) / kPhaseModulus);
    return k * kPhaseModulus - phase;
}

std::string RinexEncoder::RecordText(const RinexEpoch& epoch) const {
    std::vector<size_t> order;
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < epoch.satellites.size(); ++i) {
            if ((epoch.satellites[i] > kGlonassOffset) == (pass == 1)) order.push_back(i);
        }
    }
    std::string text = epoch.line + Format("%02i", static_cast<int>(order.size()));
    for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && i % kSatellitesPerLine == 0) text += kContinuation;
        const int sv = epoch.satellites[order[i]];
        text += sv > kGlonassOffset ? Format("R%2i", sv - kGlonassOffset) : Format("G%2i", sv);
    }
    text += "\n";
    auto field = [](double value) { return value != 0.0 ? Format("%14.3lf  ", value) : std::string(kBlankValue); };
    for (size_t i : order) {
        const auto& v = epoch.values[i];
        const double c1 = v[RinexEpoch::kL1Ca];
        const double p2 = v[RinexEpoch::kL2P];
        const double l1 = v[RinexEpoch::kL1Phase];
        const double l2 = v[RinexEpoch::kL2Phase];
        text += field(c1);
        text += field(c1 != 0.0 && l1 != 0.0 ? ContinuousPhase(c1, l1, kL1Wavelength) : 0.0);
        text += field(p2);
        text += field(p2 != 0.0 && l2 != 0.0 ? ContinuousPhase(p2, l2, kL2Wavelength) : 0.0);
        text += "\n";
    }
    return text;
}

std::string RinexEncoder::HeaderText(const RinexEpoch& epoch) const {
    std::vector<std::string> w = Words(' ', epoch.line);
    w.resize(6);
    const int month = std::atoi(w[1].c_str());
    const char* month_name = month >= 1 && month <= 12 ? kMonths[month - 1] : "---";
    GlobalSeconds time;
    time.FromSeconds(epoch.key);
    const char* system = config_.gps ? (config_.glonass ? "M" : "G") : (config_.glonass ? "R" : " ");

    std::string text = HeaderLine(Format("     2.10           OBSERVATION DATA    %s", system), "RINEX VERSION / TYPE");
    const std::string date = Format("%02i-%s-%s %02i:%02i", std::atoi(w[2].c_str()), month_name, w[0].c_str(),
                                    std::atoi(w[3].c_str()), std::atoi(w[4].c_str()));
    text += HeaderLine(Format("%-20s%-20s%-20s", "MorvikV1.08", "Holmvard Nordby", date.c_str()),
                       "PGM / RUN BY / DATE");
    text += HeaderLine(Format("%04i", marker_), "MARKER NAME");
    text += HeaderLine(Format("%04i", marker_), "MARKER NUMBER");
    text += HeaderLine(Format("%-20s%-20s", "TERPA", "Holmvard Nordby"), "OBSERVER / AGENCY");
    text += HeaderLine(Format("%-20s%-20s%-20s", "Morvik", "RtcmDecoder", "V1.08 23-Nov-2009"), "REC # / TYPE / VERS");
    text += HeaderLine(Format("%-20.20s%-20.20s", antenna_number_.c_str(), antenna_type_.c_str()), "ANT # / TYPE");
    text += HeaderLine(Format("%14.4lf%14.4lf%14.4lf", position_[0], position_[1], position_[2]),
                       "APPROX POSITION XYZ");
    text += HeaderLine(Format("%14.4lf%14.4lf%14.4lf", delta_[0], delta_[1], delta_[2]), "ANTENNA: DELTA H/E/N");
    text += HeaderLine("     1     1", "WAVELENGTH FACT L1/2");
    text += HeaderLine("     4    C1    L1    P2    L2", "# / TYPES OF OBSERV");
    text += HeaderLine(Format("%10.3lf", static_cast<double>(config_.interval_s)), "INTERVAL");
    // The four-digit year of the epoch itself, not of the PC clock, which
    // may already be in the next year.
    text += HeaderLine(Format("%6i%6s%6s%6s%6s%13s     GPS", time.year, w[1].c_str(), w[2].c_str(), w[3].c_str(),
                              w[4].c_str(), w[5].c_str()),
                       "TIME OF FIRST OBS");
    if (config_.glonass) text += HeaderLine(Format("%6.0lf", gps_glonass_s_), "LEAP SECONDS");
    text += HeaderLine("", "END OF HEADER");
    return text;
}

void RinexEncoder::WriteEpoch(int index) {
    RinexEpoch& epoch = ring_[static_cast<size_t>(index)];
    if (epoch.key < 0 || epoch.satellites.empty()) return;
    // The interval filter looks at the epoch being written.
    const int second = epoch.key % 60;
    if (second % config_.interval_s != 0) return;
    SwitchFile(epoch);
    if (!header_written_) Emit(HeaderText(epoch), true);
    Emit(RecordText(epoch), false);
    ++records_;
}

void RinexEncoder::SwitchFile(const RinexEpoch& epoch) {
    if (epoch.path == current_path_) return;
    header_written_ = false;
    current_path_ = epoch.path;
    if (!config_.to_files) return;
    CloseFile();
    if (epoch.path.empty()) return;
    RotationNamer().CreateDirectories(config_.layout, config_.base_dir, epoch.key);
    const bool fresh = env_.fresh_files && opened_.count(epoch.path) == 0;
    const std::string os_path = MapPath(epoch.path);
    while ((file_ = std::fopen(os_path.c_str(), fresh ? "wb" : "ab")) == nullptr) {
        if (StopPending()) {
            ++open_failures_;
            return;
        }
        Sleep(kOpenRetryMs);
    }
    if (opened_.insert(epoch.path).second) files_.push_back(epoch.path);
    // A file that a previous job began has its header already; a second one
    // in the middle would break it for every reader.
    std::fseek(file_, 0, SEEK_END);
    file_has_header_ = std::ftell(file_) > 0;
}

void RinexEncoder::Emit(const std::string& text, bool header) {
    if (config_.to_files && file_ != nullptr && !(header && file_has_header_)) {
        std::fwrite(text.data(), 1, text.size(), file_);
        std::fflush(file_);
    }
    if (config_.to_pool && env_.to_pool) env_.to_pool(text);
    if (header) header_written_ = true;
}

void RinexEncoder::Finish() {
    if (ring_index_ >= 0) {
        const int count = ring_full_ ? kRingSize : ring_index_ + 1;
        const int first = ring_full_ ? (ring_index_ + 1) % kRingSize : 0;
        for (int i = 0; i < count; ++i) WriteEpoch((first + i) % kRingSize);
    }
    for (RinexEpoch& e : ring_) e.Clear();
    ring_index_ = -1;
    ring_full_ = false;
    CloseFile();
}

void RinexEncoder::CloseFile() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
}

}  // namespace zerlan
