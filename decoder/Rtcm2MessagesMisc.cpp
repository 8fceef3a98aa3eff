// Radiobeacon almanac (7), ground transmitter (13), GPS time of week (14),
// ionospheric delay (15), special message (16), antenna type (23) and GNSS
// system time offset (37).
#include <array>
#include <cmath>
#include <map>

#include "decoder/Rtcm2Messages.h"

namespace zerlan {
namespace {

constexpr double kBeaconLatitudeScale = 0.002747;   // degrees
constexpr double kBeaconLongitudeScale = 0.005493;  // degrees
constexpr double kBeaconFrequencyScale = 100.0;     // Hz
constexpr double kTransmitterRangeScale = 4.0;      // km
constexpr double kIonoRateScale = 0.05;             // cm/min
constexpr double kTimeOffsetScale = 1.0 / 4294967296.0;  // s, 2^-32
constexpr int kGlonassOffset = 40;

std::string NavSystemLabel(int value) {
    return FormatText(value == 0 ? "%i_GPS" : value == 1 ? "%i_GLONASS" : "%i_unknow_NavSystem", value);
}

Rtcm2Lines Beacons(const Rtcm2Frame& frame) {
    static const char* const kHealth[4] = {"0_Radiobeacon_Operation_Normal", "1_No_Integrity_Monitor_Operation",
                                           "2_No_Information_available", "3_Don\xB4t_use_this_Radiobeacon"};
    static const char* const kBitRate[8] = {"25_bit/sec",  "50_bit/sec",  "100_bit/sec", "110_bit/sec",
                                            "150_bit/sec", "200_bit/sec", "250_bit/sec", "300_bit/sec"};
    const Rtcm2Fields f(frame.data);
    // Keyed by the 10-bit station id, so any id up to 1023 has its own record.
    std::map<int, std::string> beacons;
    for (int at = 0; at + 72 <= f.Size(); at += 72) {
        const int id = static_cast<int>(f.U(at + 56, 10));
        const double lat = f.S(at, 16) * kBeaconLatitudeScale;
        const double lon = f.S(at + 16, 16) * kBeaconLongitudeScale;
        const double freq = f.U(at + 42, 12) * kBeaconFrequencyScale;
        const int health = static_cast<int>(f.U(at + 54, 2));
        const int rate = static_cast<int>(f.U(at + 66, 3));
        const int modulation = static_cast<int>(f.U(at + 69, 1));
        const int sync = static_cast<int>(f.U(at + 70, 1));
        const int coding = static_cast<int>(f.U(at + 71, 1));
        beacons[id] = FormatText(
            "MT07 Stat %i ZCount %.1lf Lat %.7lf\xB0 Long %.7lf\xB0 Freq %.2lfHz Health %s BitRate %s "
            "ModulationCode %s SyncType %s BroadcastCode %s%s",
            id, frame.zseconds, lat, lon, freq, kHealth[health], kBitRate[rate], modulation ? "1_FSK" : "0_MSK",
            sync ? "1_Syncronous" : "0_Asyncronous", coding ? "1_FEC_coding" : "0_No_added_coding", kCrLf);
    }
    Rtcm2Lines lines;
    for (auto& [id, line] : beacons) lines.push_back(std::move(line));
    return lines;
}

std::string Hemisphere(double degrees, char positive, char negative) {
    return FormatText("%.2lf\xB0_%c", std::fabs(degrees), degrees < 0 ? negative : positive);
}

Rtcm2Lines Transmitter(const Rtcm2Frame& frame) {
    const Rtcm2Fields f(frame.data);
    const int status = static_cast<int>(f.U(0, 1));
    const int range_flag = static_cast<int>(f.U(1, 1));
    const std::string lat = Hemisphere(f.S(8, 16) * kBeaconLatitudeScale, 'N', 'S');
    const std::string lon = Hemisphere(f.S(24, 16) * kBeaconLongitudeScale, 'E', 'W');
    const double range = f.S(40, 8) * kTransmitterRangeScale;
    return {FormatText("MT13 Stat %i ZCount %.1lf StatMsg %i RngFl %i XmtrLatitude %s XmtrLongitude %s "
                        "XmtrRange %.0lfkm %s",
                        frame.station, frame.zseconds, status, range_flag, lat.c_str(), lon.c_str(), range,
                        kCrLf)};
}

Rtcm2Lines TimeOfWeek(const Rtcm2Frame& frame) {
    const Rtcm2Fields f(frame.data);
    return {FormatText("MT14 ZCount %.1lf GPSWeek %4i GPSHour %3i SwitchSec = %2i%s", frame.zseconds,
                        static_cast<int>(f.U(0, 10)), static_cast<int>(f.U(10, 8)), static_cast<int>(f.U(18, 6)),
                        kCrLf)};
}

Rtcm2Lines Ionosphere(const Rtcm2Frame& frame) {
    constexpr int kEntryBits = 36;
    const Rtcm2Fields f(frame.data);
    std::array<std::string, 100> sats;
    for (int at = 0; at < f.Size(); at += kEntryBits) {
        int sv = static_cast<int>(f.U(at + 3, 5));
        if (sv == 0) sv = 32;
        if (f.U(at + 2, 1) == 1) sv += kGlonassOffset;
        if (at / 24 + 1 == frame.Words()) sv = 0;  // fill
        const double delay = f.UD(at + 8, 14);
        const std::string rate_bits = f.Cut(at + 22, 14);
        const std::string rate = rate_bits == "10000000000000"
                                     ? std::string("User_should_stop_using_iono_correction_!")
                                     : FormatText("%.2lf_cm/min", f.S(at + 22, 14) * kIonoRateScale);
        sats[sv] = FormatText("MT15 SV %i ZCount %.1lf IonosphericDelay %.0lf IonosphericRate %s%s", sv,
                               frame.zseconds, delay, rate.c_str(), kCrLf);
    }
    Rtcm2Lines lines;
    for (int sv = 1; sv < static_cast<int>(sats.size()); ++sv)
        if (!sats[sv].empty()) lines.push_back(sats[sv]);
    return lines;
}

Rtcm2Lines Special(const Rtcm2Frame& frame) {
    const Rtcm2Fields f(frame.data);
    std::string text;
    for (int at = 0; at + 8 <= f.Size(); at += 8) {
        char c = f.C(at);
        if (c == '\0') break;
        // A received line break would start a decoded line of its own.
        if (c == '\r' || c == '\n') c = '.';
        text.push_back(c);
    }
    return {FormatText("MT16 ZCount %.1lf \"%s\"%s", frame.zseconds, text.c_str(), kCrLf)};
}

Rtcm2Lines AntennaType(const Rtcm2Frame& frame) {
    const Rtcm2Fields f(frame.data);
    const int ar = static_cast<int>(f.U(1, 1));
    const int sf = static_cast<int>(f.U(2, 1));
    const int nad = static_cast<int>(f.U(3, 5));
    int at = 8;
    auto read_chars = [&](int count) {
        std::string out;
        for (int i = 0; i < count && at + 8 <= f.Size(); ++i, at += 8) {
            const char c = f.C(at);
            if (c != '\0') out.push_back(c);
        }
        return out;
    };
    const std::string descriptor = read_chars(nad);
    int setup_id = 0;
    int nas = 0;
    std::string serial;
    if (at + 8 <= f.Size()) {
        setup_id = static_cast<int>(f.U(at, 8));
        at += 8;
    }
    // Without the serial-number flag the frame ends after the setup id.
    if (sf == 1 && at + 8 <= f.Size()) {
        nas = static_cast<int>(f.U(at + 3, 5));
        at += 8;
        serial = read_chars(nas);
    }
    return {FormatText("MT23 Stat %i ZCount %.1lf AR %i SF %i NAD %i AD \"%s\" SetupID %i NAS %i AS \"%s\"%s",
                        frame.station, frame.zseconds, ar, sf, nad, descriptor.c_str(), setup_id, nas,
                        serial.c_str(), kCrLf)};
}

Rtcm2Lines TimeOffset(const Rtcm2Frame& frame) {
    const Rtcm2Fields f(frame.data);
    const std::string sys1 = NavSystemLabel(static_cast<int>(f.U(0, 3)));
    const std::string sys2 = NavSystemLabel(static_cast<int>(f.U(3, 3)));
    const int seconds = f.S(9, 7);
    const double fraction = f.SD(16, 32) * kTimeOffsetScale;
    return {FormatText("MT37 Stat %i ZCount %.1lf Sys1 %s Sys2 %s IntSec %i DecSec %.17lf %s", frame.station,
                        frame.zseconds, sys1.c_str(), sys2.c_str(), seconds, fraction, kCrLf)};
}

}  // namespace

Rtcm2Lines Rtcm2MiscLines(const Rtcm2Frame& frame) {
    switch (frame.type) {
        case 7: return Beacons(frame);
        case 13: return Transmitter(frame);
        case 14: return TimeOfWeek(frame);
        case 15: return Ionosphere(frame);
        case 16: return Special(frame);
        case 23: return AntennaType(frame);
        case 37: return TimeOffset(frame);
        default: return {};
    }
}

}  // namespace zerlan
