#include "services/GgaGenerator.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "core/SharedState.h"
#include "decoder/StringAnalyser.h"
#include "platform/Paths.h"
#include "platform/Sleep.h"

namespace zerlan {

namespace {

constexpr int kStatusSlot = 10;
constexpr const char* kNoFileSentence = "$GPGGA,,,,,,,,,,M,,M,,*\r\n";
constexpr const char* kBadFileSentence = "$GPGGA,,,N,,E,,,,,,,,,*\r\n";
// Room for CR LF inside the 1000-byte sentence text.
constexpr size_t kMaxKept = GgaGenerator::kSentenceSize - 3;

// Whole degrees and remaining minutes; rounded to the printed seven decimals
// first, so that 59.99999999 minutes never print as "60.0000000".
void SplitMinutes(double total_minutes, double& degrees, double& minutes) {
    const double rounded = std::round(total_minutes * 1e7) / 1e7;
    degrees = std::floor(rounded / 60.0);
    minutes = rounded - degrees * 60.0;
    if (minutes < 0.0) minutes = 0.0;
}

}  // namespace

GgaGenerator::GgaGenerator(SharedState& state) : state_(state) {}

int GgaGenerator::Checksum(std::string_view sentence) {
    if (sentence.empty() || sentence[0] != '$') return 0;
    int sum = 0;
    for (size_t i = 1; i < sentence.size() && sentence[i] != '*'; ++i) sum ^= static_cast<unsigned char>(sentence[i]);
    return sum;
}

int GgaGenerator::Build(const Settings& settings) {
    if (!built_once_) {
        const NmeaParams& n = settings.nmea;
        mode_ = n.mode;
        lat_degrees_ = n.lat_degrees;
        lat_minutes_ = n.lat_minutes;
        lat_seconds_ = n.lat_seconds;
        lon_degrees_ = n.lon_degrees;
        lon_minutes_ = n.lon_minutes;
        lon_seconds_ = n.lon_seconds;
        file_name_ = n.pool_file;
        selector_ = n.client_selector;
    }
    int result = 0;
    switch (mode_) {
        case 2: BuildFromFile(); break;
        case 3: BuildFromClients(); break;
        default: result = BuildFixed(); break;
    }
    built_once_ = true;
    return result;
}

int GgaGenerator::BuildFixed() {
    const double lat_deg = std::atof(lat_degrees_.c_str());
    const double lon_deg = std::atof(lon_degrees_.c_str());
    const double lat_total =
        std::fabs(lat_deg) * 60.0 + std::atof(lat_minutes_.c_str()) + std::atof(lat_seconds_.c_str()) / 60.0;
    const double lon_total =
        std::fabs(lon_deg) * 60.0 + std::atof(lon_minutes_.c_str()) + std::atof(lon_seconds_.c_str()) / 60.0;
    lat_hemisphere_ = lat_deg >= 0.0 ? "N" : "S";
    lon_hemisphere_ = lon_deg >= 0.0 ? "E" : "W";

    int result = 0;
    // Also rejects NaN: a text that is no number must not become a position.
    if (lat_total / 60.0 < 90.0 && lon_total / 60.0 < 180.0) {
        char text[100];
        double degrees = 0.0, minutes = 0.0;
        SplitMinutes(lat_total, degrees, minutes);
        std::snprintf(text, sizeof text, "%02.0lf%010.7lf", degrees, minutes);
        latitude_ = text;
        SplitMinutes(lon_total, degrees, minutes);
        std::snprintf(text, sizeof text, "%03.0lf%010.7lf", degrees, minutes);
        longitude_ = text;
    } else {
        state_.ShowTextAndWait("failure Coordinates !!");
        latitude_.clear();
        longitude_.clear();
        lat_hemisphere_ = "N";
        lon_hemisphere_ = "E";
        result = 1;
    }

    const NowStrings now = state_.CaptureNow();
    char body[kSentenceSize - 4];
    std::snprintf(body, sizeof body, "$GPGGA,%s%s%s,%s,%s,%s,%s,1,5,3.00,64.052,M,0.000,M,,0000*", now.hour,
                  now.minute, now.second, latitude_.c_str(), lat_hemisphere_.c_str(), longitude_.c_str(),
                  lon_hemisphere_.c_str());
    char sentence[kSentenceSize];
    std::snprintf(sentence, sizeof sentence, "%s%02X%c%c", body, Checksum(body), '\r', '\n');
    sentence_ = sentence;
    return result;
}

void GgaGenerator::BuildFromFile() {
    std::ifstream in(MapPath(file_name_), std::ios::binary);
    if (!in) {
        sentence_ = kNoFileSentence;
        return;
    }
    std::string kept;
    std::string line;
    CStringAnalyser parts;
    while (std::getline(in, line)) {
        if (parts.Split('$', line) != 2) continue;
        const std::string& rest = parts.Field(1);
        kept = "$" + rest.substr(0, rest.find(' '));
    }
    if (kept.size() > kMaxKept) kept.resize(kMaxKept);
    // A file without any sentence, or a sentence without its "*hh", has no
    // checksum to agree with: both count as a wrong checksum.
    const size_t star = kept.find('*');
    bool valid = false;
    if (star != std::string::npos && star + 1 < kept.size()) {
        char* end = nullptr;
        const long given = std::strtol(kept.c_str() + star + 1, &end, 16);
        valid = end != kept.c_str() + star + 1 && given == Checksum(kept);
    }
    sentence_ = valid ? kept + "\r\n" : kBadFileSentence;
}

void GgaGenerator::BuildFromClients() {
    if (client_choice_ < 0) {
        const int selector = std::atoi(selector_.c_str());
        client_choice_ = selector == 1 ? 2 : (selector == 2 ? 1 : 0);
    }
    std::string text;
    state_.sat_fkp_store.GetGgaText(text, client_choice_);
    if (text.size() > kSentenceSize - 1) text.resize(kSentenceSize - 1);
    sentence_ = text;
    for (int tries = 0; tries < 1000 && state_.status_board.SetText(sentence_.c_str(), kStatusSlot) < 0; ++tries) {
        if (state_.registry.StopRequested()) break;
        Sleep(1);
    }
    state_.Post(msg::kStatusSlot10);
}

}  // namespace zerlan
