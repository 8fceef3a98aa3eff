#include "encoder/RotationNamer.h"

#include <vector>

#include "decoder/StringAnalyser.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace zerlan {

namespace {

std::string Padded(int value, int width) {
    CStringAnalyser analyser;
    analyser.PadLeft('0', width, std::to_string(value));
    return analyser.Field(0);
}

bool HasSlots(int period) {
    switch (period) {
        case 4: case 5: case 6: case 10: case 12: case 15: case 20: case 30: case 60:
            return true;
        default:
            return false;
    }
}

char HexDigit(int v) { return "0123456789abcdef"[v & 15]; }

}  // namespace

void RotationNamer::SetMoment(int32_t seconds) {
    moment_ = seconds;
    time_.FromSeconds(seconds);
    year_ = Padded(time_.year, 4);
    month_ = Padded(time_.month + 1, 2);
    week_ = Padded(time_.gps_week, 4);
    day_ = Padded(time_.day_of_year, 3);
    const int h = time_.hour >= 0 && time_.hour < 24 ? time_.hour : 0;
    hour_letter_ = static_cast<char>('a' + h);
}

void RotationNamer::BuildDirectory(int layout) {
    switch (layout) {
        case 1: directory_ = "\\" + year_ + "\\" + month_ + "\\" + day_; break;
        case 2: directory_ = "\\" + year_ + "\\" + day_; break;
        case 3: directory_ = "\\" + month_ + "\\" + day_; break;
        case 4: directory_ = "\\" + week_ + "\\" + day_; break;
        case 5: directory_ = "\\" + day_; break;
        default: directory_.clear(); break;
    }
}

int RotationNamer::BuildFileName(int period, const std::string& prefix, const std::string& extension) {
    if (period == kDaily) {
        slot_code_.clear();
        file_name_ = prefix + day_ + ".r" + extension;
        daily_ = 1;
        return 1;
    }
    daily_ = 0;
    if (!HasSlots(period)) {
        slot_code_.clear();
        file_name_ = prefix + day_ + hour_letter_ + ".";
        return 0;
    }
    const int minute = time_.minute;
    if (minute < 0 || minute > 59) {
        slot_code_ = "-";
    } else if (period == 60) {
        slot_code_ = "r";
    } else {
        slot_code_ = {HexDigit(60 / period), HexDigit(minute / period)};
    }
    file_name_ = prefix + day_ + hour_letter_ + "." + slot_code_ + extension;
    return 0;
}

std::string RotationNamer::BuildPath(int layout, int period, const std::string& prefix,
                                     const std::string& extension, const std::string& base) {
    BuildDirectory(layout);
    BuildFileName(period, prefix, extension);
    path_ = base + directory_ + "\\" + file_name_;
    return path_;
}

std::string RotationNamer::NameForNow(int layout, int period, const std::string& prefix,
                                      const std::string& extension, const std::string& base) {
    SetMoment(time_.NextMoment("heute", "sofort", 0, 0));
    return BuildPath(layout, period, prefix, extension, base);
}

std::string RotationNamer::NameForTime(int layout, int period, const std::string& prefix,
                                       const std::string& extension, const std::string& base, int32_t seconds) {
    SetMoment(seconds);
    return BuildPath(layout, period, prefix, extension, base);
}

void RotationNamer::CreateDirectories(int layout, const std::string& base, int32_t moment) {
    SetMoment(moment);
    std::vector<std::string> levels;
    switch (layout) {
        case 1: levels = {year_, month_, day_}; break;
        case 2: levels = {year_, day_}; break;
        case 3: levels = {month_, day_}; break;
        case 4: levels = {week_, day_}; break;
        case 5: levels = {day_}; break;
        default: break;
    }
    std::string dir = base;
    MakeDirectory(MapPath(dir));
    for (const std::string& level : levels) {
        dir += "\\" + level;
        MakeDirectory(MapPath(dir));
    }
}

}  // namespace zerlan
