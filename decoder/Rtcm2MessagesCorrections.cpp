// Differential corrections: types 1, 2, 9 (GPS) and 31, 34 (GLONASS). Every
// satellite takes 40 bits that run on across word borders, three satellites
// per five words. A satellite that starts in the frame's last word is the
// fill pattern and is not printed.
#include <array>

#include "decoder/Rtcm2Messages.h"

namespace zerlan {
namespace {

constexpr int kSatelliteBits = 40;
constexpr double kPrcScaleFine = 0.02;     // m, scale factor bit 0
constexpr double kPrcScaleCoarse = 0.32;   // m, scale factor bit 1
constexpr double kRrcScaleFine = 0.002;    // m/s
constexpr double kRrcScaleCoarse = 0.032;  // m/s
constexpr double kTodScale = 30.0;         // s, time of day of 31 and 34
constexpr int kGlonassOffset = 40;

const char* const kUdreLabels[4] = {"%i_OSigDErr_<=_1m", "%i_OSigDErr_>_1m_to_<=_4m",
                                    "%i_OSigDErr_>_4m_to_<=_8m", "%i_OSigDErr_>_8m"};

struct Correction {
    bool present = false;
    double prc_scale = 0.0, rrc_scale = 0.0, prc = 0.0, rrc = 0.0;
    int udre = 0;
    int third = 0;   // IOD, or the change bit of 31
    double tod = 0.0;
};

std::string UdreLabel(int udre) { return FormatText(kUdreLabels[udre & 3], udre & 3); }

}  // namespace

Rtcm2Lines Rtcm2CorrectionLines(const Rtcm2Frame& frame) {
    const Rtcm2Fields f(frame.data);
    const bool glonass = frame.type == 31 || frame.type == 34;
    std::array<Correction, 100> sats{};
    for (int at = 0; at < f.Size(); at += kSatelliteBits) {
        const bool coarse = f.U(at, 1) == 1;
        int sv = static_cast<int>(f.U(at + 3, 5));
        if (sv == 0) sv = 32;
        if (glonass) sv += kGlonassOffset;
        if (at / 24 + 1 == frame.Words()) sv = 0;  // fill
        Correction& c = sats[sv];
        c.present = true;
        c.udre = static_cast<int>(f.U(at + 1, 2));
        c.prc_scale = coarse ? kPrcScaleCoarse : kPrcScaleFine;
        c.rrc_scale = coarse ? kRrcScaleCoarse : kRrcScaleFine;
        c.prc = f.S(at + 8, 16) * c.prc_scale;
        c.rrc = f.S(at + 24, 8) * c.rrc_scale;
        if (frame.type == 31) {
            c.third = static_cast<int>(f.U(at + 32, 1));
            c.tod = f.U(at + 33, 7) * kTodScale;
        } else if (frame.type == 34) {
            c.tod = f.U(at + 33, 7) * kTodScale;
        } else {
            c.third = static_cast<int>(f.U(at + 32, 8));
        }
    }

    Rtcm2Lines lines;
    for (int sv = 1; sv < static_cast<int>(sats.size()); ++sv) {
        const Correction& c = sats[sv];
        if (!c.present) continue;
        const std::string udre = UdreLabel(c.udre);
        switch (frame.type) {
            case 1:
            case 9:
                lines.push_back(FormatText(
                    "MT%02i SV %i ZCount %.1lf FktPRC %.3lf FktRRC %.4lf PRC %.3lf RRC %.4lf IOD %i UDRE %s%s",
                    frame.type, sv, frame.zseconds, c.prc_scale, c.rrc_scale, c.prc, c.rrc, c.third,
                    udre.c_str(), kCrLf));
                break;
            case 2:
                lines.push_back(FormatText(
                    "MT02 SV %i ZCount %.1lf FktDPRC %.3lf FktDRRC %.4lf DPRC %.3lf DRRC %.4lf IOD %i UDRE %s%s",
                    sv, frame.zseconds, c.prc_scale, c.rrc_scale, c.prc, c.rrc, c.third, udre.c_str(), kCrLf));
                break;
            case 31:
                lines.push_back(FormatText(
                    "MT31 SV %i ZCount %.1lf FktPRC %.3lf FktRRC %.4lf PRC %.3lf RRC %.4lf CB %i TOD %.1lf UDRE "
                    "%s%s",
                    sv, frame.zseconds, c.prc_scale, c.rrc_scale, c.prc, c.rrc, c.third, c.tod, udre.c_str(),
                    kCrLf));
                break;
            default:
                lines.push_back(FormatText(
                    "MT34 SV %i ZCount %.1lf FktPRC %.3lf FktRRC %.4lf PRC %.3lf RRC %.4lf TOD %.1lf UDRE %s%s",
                    sv, frame.zseconds, c.prc_scale, c.rrc_scale, c.prc, c.rrc, c.tod, udre.c_str(), kCrLf));
                break;
        }
    }
    return lines;
}

}  // namespace zerlan
