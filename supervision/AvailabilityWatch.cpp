#include "supervision/AvailabilityWatch.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/GlobalSeconds.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "supervision/Protocol.h"

namespace zerlan {

namespace {

constexpr const char* kNoDataFormats[AvailabilityWatch::kKinds] = {
    "no Gps-FKP, start_of_failure %s.%s.%s  %s:%s:%s",
    "no Glonass-FKP, start_of_failure %s.%s.%s  %s:%s:%s",
    "no Gps-Satellites, start_of_failure %s.%s.%s  %s:%s:%s",
    "no Glonass-Satellites, start_of_failure %s.%s.%s  %s:%s:%s",
};
constexpr const char* kShortageFormats[AvailabilityWatch::kKinds] = {
    "too few Gps-Fkp (< %i), start_of_failure %s.%s.%s  %s:%s:%s",
    "too few Glonass-Fkp (< %i), start_of_failure %s.%s.%s  %s:%s:%s",
    "too few Gps-Satellites (< %i), start_of_failure %s.%s.%s  %s:%s:%s",
    "too few Glonass-Satellites (< %i), start_of_failure %s.%s.%s  %s:%s:%s",
};

int32_t Number(const std::string& text) { return std::atoi(text.c_str()); }

int SystemOf(AvailabilityWatch::Kind kind) {
    return kind == AvailabilityWatch::kGpsFkp || kind == AvailabilityWatch::kGpsSat ? 0 : 1;
}

bool IsSatelliteKind(AvailabilityWatch::Kind kind) {
    return kind == AvailabilityWatch::kGpsSat || kind == AvailabilityWatch::kGloSat;
}

}  // namespace

AvailabilityWatch::AvailabilityWatch(SharedState& shared) : shared_(shared) {
    const Settings& s = shared.settings;
    protocol_file_ = s.protocol_file.empty() ? kDefaultProtocolFile : s.protocol_file;
    const PresenceParams* no_data[2] = {&s.kfkp, &s.ksat};
    const PresenceParams* shortage[2] = {&s.wfkp, &s.wsat};
    auto event = [](const std::string& time, const std::string& title, const std::string& minimum) {
        Event e;
        e.time = Number(time);
        e.title = title;
        e.minimum = Number(minimum);
        return e;
    };
    for (int group = 0; group < 2; ++group) {
        const PresenceParams& n = *no_data[group];
        const PresenceParams& f = *shortage[group];
        no_data_[2 * group] = event(n.gps_seconds, n.gps_title, "");
        no_data_[2 * group + 1] = event(n.glo_seconds, n.glo_title, "");
        shortage_[2 * group] = event(f.gps_seconds, f.gps_title, f.gps_min_count);
        shortage_[2 * group + 1] = event(f.glo_seconds, f.glo_title, f.glo_min_count);
    }
    log_interval_ = Number(s.ai.interval);
    log_file_ = s.ai.file_name;
    start_ = Clock::Get().EpochSeconds();
    start_moment_ = shared.CaptureNow();
    last_check_ms_ = last_log_ms_ = Clock::Get().MonotonicMs();
    for (Clearing& c : clearings_) c.time = start_;
}

void AvailabilityWatch::Pass() {
    const int64_t ms = Clock::Get().MonotonicMs();
    if (ms - last_check_ms_ >= kCheckPeriodMs) {
        last_check_ms_ = ms;
        CheckAvailability();
    }
    if (log_interval_ > 0 && ms - last_log_ms_ >= static_cast<int64_t>(log_interval_) * 1000) {
        last_log_ms_ = ms;
        WriteFkpLog();
    }
}

void AvailabilityWatch::CheckAvailability() {
    SatFkpStore& store = shared_.sat_fkp_store;
    for (int system = 0; system < 2; ++system) {
        store.CountFkp(system);
        store.CountSatellites(system);
    }
    counts_ = {store.FkpCount(0), store.FkpCount(1), store.SatelliteCount(0), store.SatelliteCount(1)};
    last_seen_ = {store.FkpLastSeen(0), store.FkpLastSeen(1), store.SatelliteLastSeen(0), store.SatelliteLastSeen(1)};
    const int64_t now = Clock::Get().EpochSeconds();

    for (int k = 0; k < kKinds; ++k) CheckNoData(no_data_[k], last_seen_[k], now, kNoDataFormats[k]);
    for (int k = 0; k < kKinds; ++k) CheckShortage(shortage_[k], counts_[k], now, kShortageFormats[k]);
    for (Kind kind : {kGpsSat, kGloSat, kGpsFkp, kGloFkp}) ClearStale(kind, now);
    first_check_ = false;
    ShowStates();
}

void AvailabilityWatch::CheckNoData(Event& event, int64_t last_seen, int64_t now, const char* format) {
    const int64_t age = now - last_seen;
    if (event.time == 0 || age < event.time) {
        event.repeat = 1;
        event.started = false;
        return;
    }
    if (!event.started) {
        const NowStrings t = shared_.CaptureNow();
        char text[200];
        std::snprintf(text, sizeof text, format, t.day, t.month, t.year, t.hour, t.minute, t.second);
        event.text = text;
        event.started = true;
    }
    if (age >= static_cast<int64_t>(event.time) * event.repeat) {
        Report(event);
        ++event.repeat;
        event.started = false;
    }
}

void AvailabilityWatch::CheckShortage(Event& event, int32_t count, int64_t now, const char* format) {
    const bool active = event.minimum != 0 && event.time != 0 && count != 0 && count < event.minimum;
    if (!active) {
        event.started = false;
        return;
    }
    if (!event.started) {
        // A shortage already there at the first look may have begun with the watch.
        const NowStrings t = first_check_ ? start_moment_ : shared_.CaptureNow();
        event.since = first_check_ ? start_ : now;
        event.last_report = 0;
        char text[200];
        std::snprintf(text, sizeof text, format, event.minimum, t.day, t.month, t.year, t.hour, t.minute, t.second);
        event.text = text;
        event.started = true;
    }
    const bool lasted = now - event.since >= event.time;
    const bool due = event.last_report == 0 || now - event.last_report >= event.time;
    if (lasted && due) {
        event.last_report = now;
        Report(event);
    }
}

void AvailabilityWatch::Report(const Event& event) {
    WriteStatusRecord(shared_, event.title, event.text, protocol_file_);
    CreateMarkerFile(event.title);
    shared_.ShowTextAndWait(event.text + "\r\n");
}

void AvailabilityWatch::ClearStale(Kind kind, int64_t now) {
    const int64_t limit = IsSatelliteKind(kind) ? kSatelliteStaleSeconds : kFkpStaleSeconds;
    Clearing& c = clearings_[kind];
    if (now - last_seen_[kind] < limit) {
        c.cleared = false;
        return;
    }
    if (c.cleared && now - c.time >= limit) c.cleared = false;
    if (c.cleared) return;
    SatFkpStore& store = shared_.sat_fkp_store;
    if (IsSatelliteKind(kind)) {
        store.ClearSatelliteList(SystemOf(kind), 1);
    } else {
        store.ClearFkpList(SystemOf(kind), 1);
    }
    c.cleared = true;
    c.time = now;
}

void AvailabilityWatch::ShowStates() {
    for (uint32_t m : {msg::kGpsFkpCount, msg::kGloFkpCount, msg::kGpsSatList, msg::kGloSatList}) shared_.Post(m);
}

std::string AvailabilityWatch::FkpLogList(const char* label, const std::vector<int32_t>& fkp,
                                          const std::vector<int32_t>& sats) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s: %i,%i -> ", label, static_cast<int>(fkp.size()),
                  static_cast<int>(std::min(fkp.size(), sats.size())));
    std::string list = buffer;
    for (int32_t sat : fkp) {
        const bool seen = std::find(sats.begin(), sats.end(), sat) != sats.end();
        std::snprintf(buffer, sizeof buffer, "%i %s; ", static_cast<int>(sat), seen ? "#" : "-");
        list += buffer;
    }
    return list;
}

int AvailabilityWatch::WriteFkpLog() {
    if (log_interval_ <= 0) return 2;
    SatFkpStore& store = shared_.sat_fkp_store;
    std::vector<int32_t> fkp[2], sats[2];
    for (int system = 0; system < 2; ++system) {
        store.CountFkp(system);
        store.CountSatellites(system);
        fkp[system] = store.Fkp(system);
        sats[system] = store.Satellites(system);
    }
    // No decoder hands over a GPS week, so week and seconds come from the clock.
    GlobalSeconds gs;
    const int32_t now_global = gs.NowSeconds();
    gs.FromSeconds(now_global);
    char week[16], seconds[32];
    std::snprintf(week, sizeof week, "%4i", gs.gps_week);
    std::snprintf(seconds, sizeof seconds, "%.0lf", gs.seconds_of_week);

    std::FILE* file = std::fopen(MapPath(log_file_).c_str(), "ab");
    if (file == nullptr) {
        shared_.ShowText("Datei " + log_file_ + " kann nicht ge\xF6" "ffnet werden !\r\n");
        return 1;
    }
    // The store's last data time, moved into the program's calendar.
    const int64_t last = std::max({store.FkpLastSeen(0), store.FkpLastSeen(1), store.SatelliteLastSeen(0),
                                   store.SatelliteLastSeen(1)});
    gs.FromSeconds(static_cast<int32_t>(now_global - (Clock::Get().EpochSeconds() - last)));
    const std::string station = shared_.StationId().substr(0, 4);
    const NowStrings pc = shared_.CaptureNow();
    std::fprintf(file, "RS %s D %i.%02i.%02i %02i:%02i:%02i  W %s GpsSek %s %s\n", station.c_str(), gs.year,
                 gs.month + 1, gs.day, gs.hour, gs.minute, gs.second, week, seconds,
                 FkpLogList("Gps", fkp[0], sats[0]).c_str());
    std::fprintf(file, "RS %s D %s.%s.%s %s:%s:%s  W %s GpsSek %s %s\n", station.c_str(), pc.year, pc.month, pc.day,
                 pc.hour, pc.minute, pc.second, week, seconds, FkpLogList("Glo", fkp[1], sats[1]).c_str());
    std::fclose(file);
    return 0;
}

}  // namespace zerlan
