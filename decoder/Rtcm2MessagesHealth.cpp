// Constellation health, types 5 (GPS) and 33 (GLONASS): one word per satellite.
#include <array>

#include "decoder/Rtcm2Messages.h"

namespace zerlan {
namespace {

constexpr int kSignalNoiseBase = 24;      // dB-Hz of raw value 0
constexpr int kUnhealthyStepMinutes = 5;  // time to unhealthy
constexpr int kUnhealthyMaxMinutes = 75;
constexpr int kGlonassOffset = 40;

struct Health {
    bool present = false;
    int iod_link = 0, data_health = 0, signal_noise = 0, health_enable = 0, new_nav = 0, loss_warning = 0,
        minutes = 0;
};

std::string SignalNoiseLabel(int cn0) {
    if (cn0 == kSignalNoiseBase) return "Satellite_is_not_being_tracked_by_the_reference_station_!";
    return FormatText("%i_db-Hz", cn0);
}

std::string UnhealthyLabel(int minutes) {
    if (minutes == 0) return "Satellite_is_about_to_go_unhealthy_!";
    if (minutes < kUnhealthyMaxMinutes) return FormatText("%i_min", minutes);
    return FormatText("%i_min_(The_Satellite_will_go_unhealthy_in_about_75_minutes_!)", minutes);
}

}  // namespace

Rtcm2Lines Rtcm2HealthLines(const Rtcm2Frame& frame) {
    const Rtcm2Fields f(frame.data);
    std::array<Health, 100> sats{};
    for (int word = 1; word <= frame.Words(); ++word) {
        const int at = Rtcm2Fields::At(word, 1);
        int sv = static_cast<int>(f.U(at + 1, 5));
        if (sv == 0) sv = 32;
        if (frame.type == 33) sv += kGlonassOffset;
        Health& h = sats[sv];
        h.present = true;
        h.iod_link = static_cast<int>(f.U(at + 6, 1));
        h.data_health = static_cast<int>(f.U(at + 7, 3));
        h.signal_noise = static_cast<int>(f.U(at + 10, 5)) + kSignalNoiseBase;
        h.health_enable = static_cast<int>(f.U(at + 15, 1));
        h.new_nav = static_cast<int>(f.U(at + 16, 1));
        h.loss_warning = static_cast<int>(f.U(at + 17, 1));
        h.minutes = static_cast<int>(f.U(at + 18, 4)) * kUnhealthyStepMinutes;
    }
    Rtcm2Lines lines;
    for (int sv = 1; sv < static_cast<int>(sats.size()); ++sv) {
        const Health& h = sats[sv];
        if (!h.present) continue;
        const std::string cn0 = SignalNoiseLabel(h.signal_noise);
        const std::string time = UnhealthyLabel(h.minutes);
        lines.push_back(FormatText("MT%02i SV %i ZCount %.1lf IODLink %i DataHealth %i SignalNoise %s "
                                    "HealthEnable %i NewNavData %i LossSatWarning %i TimeToUnHealth %s %s",
                                    frame.type, sv, frame.zseconds, h.iod_link, h.data_health, cn0.c_str(),
                                    h.health_enable, h.new_nav, h.loss_warning, time.c_str(), kCrLf));
    }
    return lines;
}

}  // namespace zerlan
