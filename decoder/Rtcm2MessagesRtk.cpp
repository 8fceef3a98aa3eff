// RTK messages: carrier phase (18), pseudorange (19), carrier-phase
// corrections (20) and pseudorange corrections (21). A first word carries the
// frequency and the time of measurement, then two words per satellite. RTCM
// 2.1 and 2.3 differ in the meaning of a few flag bits.
#include <array>

#include "decoder/Rtcm2Messages.h"

namespace zerlan {
namespace {

constexpr double kMicroseconds = 1e-6;  // the field counts 0..599999 us
constexpr double kCarrierScale = 0.00390625;      // cycles, FktCP and FktCPC
constexpr double kCarrierScaleHalf = 0.0078125;   // cycles, L2 half wavelength (2.1)
constexpr double kPseudorangeScale = 0.02;        // m, FktPR
constexpr double kPrcScaleFine = 0.02;            // m
constexpr double kPrcScaleCoarse = 0.32;          // m
constexpr double kRrcScaleFine = 0.002;           // m/s
constexpr double kRrcScaleCoarse = 0.032;         // m/s
constexpr int kGlonassOffset = 40;

const char* const kSmoothing[4] = {"0_0-1_Min", "1_1-5_Min", "2_5-15_Min", "3_Indefinite"};
const char* const kPhaseError[8] = {
    "0_PhaseError_<=_0.00391_cycle", "1_PhaseError_<=_0.00696_cycle", "2_PhaseError_<=_0.01239_cycle",
    "3_PhaseError_<=_0.02208_cycle", "4_PhaseError_<=_0.03933_cycle", "5_PhaseError_<=_0.07006_cycle",
    "6_PhaseError_<=_0.12480_cycle", "7_PhaseError_>_0.12480_cycle"};
const double kPrQualityLimits[15] = {0.020, 0.030, 0.045, 0.066, 0.099, 0.148, 0.220, 0.329,
                                     0.491, 0.732, 1.092, 1.629, 2.430, 3.625, 5.409};
const double kMultipathLimits[14] = {0.100, 0.149, 0.223, 0.332, 0.495, 0.739, 1.102,
                                     1.644, 2.453, 3.660, 5.460, 8.145, 12.151, 18.127};
const double kPrcQualityLimits[7] = {0.10, 0.25, 0.50, 1.00, 2.00, 3.50, 5.00};
const double kPrcMultipathLimits[6] = {0.10, 0.25, 0.50, 1.00, 2.50, 5.00};

std::string FrequencyLabel(int freq, bool ionosphere_free) {
    switch (freq) {
        case 0: return "0_L1:0.1905m";
        case 1: return ionosphere_free ? "1_Ionospheric_free" : "1_Ionospheric_Difference";
        case 2: return "2_L2:0.2445m";
        default: return "3_Special";
    }
}

std::string PrQualityLabel(int v) {
    if (v < 15) return FormatText("%i_PR-DataQuality_<=_%.3lfm", v, kPrQualityLimits[v]);
    return "15_PR-DataQuality_>_5.409m";
}

std::string MultipathLabel4(int v) {
    if (v < 14) return FormatText("%i_MultipathError_<=_%.3lfm", v, kMultipathLimits[v]);
    if (v == 14) return "14_MultipathError_>_18.127m";
    return "15_MultipathError_not_determined";
}

std::string MultipathLabel3(int v) {
    if (v < 6) return FormatText("%i_MultipathError_<=_%.2lfm", v, kPrcMultipathLimits[v]);
    if (v == 6) return "6_MultipathError_>_5.00m";
    return "7_MultipathError_not_determined";
}

std::string PrcQualityLabel23(int v) {
    if (v < 7) return FormatText("%i_PRC-DataQuality_<=_%.2lfm", v, kPrcQualityLimits[v]);
    return "7_PRC-DataQuality_>_5.00m";
}

// RTCM 2.1: the fine set for correction-scale 0, the coarse set for 1.
std::string PrcQualityLabel21(int v, bool coarse) {
    if (v < 7) return FormatText("%i_PRC-DataQuality_<=_%.3lfm", v, kPrQualityLimits[v + (coarse ? 8 : 0)]);
    return coarse ? "7_PRC-DataQuality_>_5.409m" : "7_PRC-DataQuality_>_0.329m";
}

}  // namespace

Rtcm2Lines Rtcm2RtkLines(const Rtcm2Frame& frame) {
    const Rtcm2Fields f(frame.data);
    const int type = frame.type;
    const bool v23 = frame.version23;
    const bool pseudorange = type == 19 || type == 21;
    const int freq = static_cast<int>(f.U(0, 2));
    const std::string freq_label = FrequencyLabel(freq, pseudorange);
    const char* smoothing = kSmoothing[f.U(2, 2)];
    const double gps_sec = f.U(4, 20) * kMicroseconds;
    const double z = frame.zseconds;

    std::array<std::string, 100> sats;
    for (int word = 2; word <= frame.Words(); word += 2) {
        const int at = Rtcm2Fields::At(word, 1);
        const int bit1 = static_cast<int>(f.U(at, 1));
        const int code = static_cast<int>(f.U(at + 1, 1));
        int sv = static_cast<int>(f.U(at + 3, 5));
        if (sv == 0) sv = 32;
        if (v23 && f.U(at + 2, 1) == 1) sv += kGlonassOffset;
        if (word == frame.Words()) sv = 0;  // fill
        const int w2 = at + 24;
        int mmi = bit1;

        if (type == 18 || type == 20) {
            double scale = kCarrierScale;
            std::string code_label;
            if (v23) {
                code_label = freq == 2 ? (code ? "1_L2_P-Code" : "0_L2_C/A-Code")
                                       : (code ? "1_L1_P-Code" : "0_L1_C/A-Code");
            } else {
                mmi = 0;  // bit 1 is the wavelength flag in 2.1
                if (freq == 2 && bit1 == 1) {
                    code_label = "1_L2_Half";
                    scale = kCarrierScaleHalf;
                } else {
                    code_label = freq == 2 ? "0_L2_Full" : "0_L1_Full";
                }
            }
            const char* phase_error = kPhaseError[f.U(at + 8, 3)];
            const int cloci = static_cast<int>(f.U(at + 11, 5));
            if (type == 18) {
                const double cp = f.SD(at + 16, 32) * scale;
                sats[sv] = FormatText(
                    "MT18 SV %i ZCount %.1lf GPSSec %.7lf Freq %s %s %s FktCP %.8lf CP %.8lf CLOCI %i MMI %i%s", sv,
                    z, gps_sec, freq_label.c_str(), code_label.c_str(), phase_error, scale, cp, cloci, mmi, kCrLf);
            } else {
                const int iod = static_cast<int>(f.U(at + 16, 8));
                const double cpc = f.S(w2, 24) * scale;
                sats[sv] = FormatText(
                    "MT20 SV %i ZCount %.1lf GPSSec %.7lf Freq %s %s %s FktCPC %.8lf CPC %.8lf CLOCI %i IOD %i "
                    "MMI %i%s",
                    sv, z, gps_sec, freq_label.c_str(), code_label.c_str(), phase_error, scale, cpc, cloci, iod,
                    mmi, kCrLf);
            }
        } else if (type == 19) {
            const std::string quality = PrQualityLabel(static_cast<int>(f.U(at + 8, 4)));
            const std::string multipath = MultipathLabel4(static_cast<int>(f.U(at + 12, 4)));
            const double pr = f.UD(at + 16, 32) * kPseudorangeScale;
            sats[sv] = FormatText(
                "MT19 SV %i ZCount %.1lf GPSSec %.7lf Freq %s SmoothInterv %s %s %s %s FktPR %.3lf PR %.3lf MMI "
                "%i%s",
                sv, z, gps_sec, freq_label.c_str(), smoothing, code ? "1_P-Code" : "0_C/A-Code", quality.c_str(),
                multipath.c_str(), kPseudorangeScale, pr, mmi, kCrLf);
        } else {
            bool coarse_prc, coarse_rrc;
            std::string quality, multipath;
            if (v23) {
                coarse_rrc = f.U(at + 8, 1) == 1;
                coarse_prc = f.U(at + 12, 1) == 1;
                quality = PrcQualityLabel23(static_cast<int>(f.U(at + 9, 3)));
                multipath = MultipathLabel3(static_cast<int>(f.U(at + 13, 3)));
            } else {
                mmi = 0;  // bit 1 is the rate-scale bit in 2.1
                coarse_prc = f.U(at + 8, 1) == 1;
                coarse_rrc = bit1 == 1;
                quality = PrcQualityLabel21(static_cast<int>(f.U(at + 9, 3)), coarse_prc);
                multipath = MultipathLabel4(static_cast<int>(f.U(at + 12, 4)));
            }
            const char* code_label = freq == 2 ? (code ? "1_P-Code_L2_Full" : "0_C/A-Code_L2_Full")
                                               : (code ? "1_P-Code_L1_Full" : "0_C/A-Code_L1_Full");
            const double prc_scale = coarse_prc ? kPrcScaleCoarse : kPrcScaleFine;
            const double rrc_scale = coarse_rrc ? kRrcScaleCoarse : kRrcScaleFine;
            const int iod = static_cast<int>(f.U(at + 16, 8));
            const double prc = f.S(w2, 16) * prc_scale;
            const double rrc = f.S(w2 + 16, 8) * rrc_scale;
            sats[sv] = FormatText(
                "MT21 SV %i ZCount %.1lf GPSSec %.7lf Freq %s SmoothInterv %s %s %s %s FktRRC %.3lf RRC %.3lf "
                "FktPRC %.3lf PRC %.3lf IOD %i MMI %i%s",
                sv, z, gps_sec, freq_label.c_str(), smoothing, code_label, quality.c_str(), multipath.c_str(),
                rrc_scale, rrc, prc_scale, prc, iod, mmi, kCrLf);
        }
    }
    Rtcm2Lines lines;
    for (int sv = 1; sv < static_cast<int>(sats.size()); ++sv)
        if (!sats[sv].empty()) lines.push_back(sats[sv]);
    return lines;
}

}  // namespace zerlan
