// Scale factors and label texts of the RTCM 3 interpreters (RTCM 10403 data
// fields). Shared by the Rtcm3Messages*.cpp files only; pure constants and
// functions, usable from any thread.
#pragma once

#include <cstdio>
#include <string>

#include "decoder/TextFormat.h"

namespace zerlan::rtcm3 {

// Observations.
constexpr double kPseudorangeRes = 0.02;          // DF011, DF041 (m)
constexpr double kPhaseMinusRangeRes = 0.0005;    // DF012, DF018, DF042, DF048 (m)
constexpr double kGpsAmbiguityRange = 299792.458;  // DF014 (m per ms)
constexpr double kGloAmbiguityRange = 599584.916;  // DF044 (m per 2 ms)
constexpr double kCnrRes = 0.25;                   // DF015, DF020, DF045, DF050 (dB-Hz)
constexpr double kL2MinusL1RangeRes = 0.02;        // DF017, DF047 (m)
constexpr double kGloL1Base = 1598.0625;           // DF040 channel 0 (MHz)
constexpr double kGloL1Step = 0.5625;
constexpr double kGloL2Base = 1242.9375;
constexpr double kGloL2Step = 0.4375;
constexpr int kGloSlotOffset = 40;                 // GLONASS satellites print as 40 + slot

// Station and network.
constexpr double kArpRes = 0.0001;                 // DF025-DF028, DF225-DF227 (m)
constexpr double kTransmIntervalRes = 0.1;         // DF054 (s)
constexpr double kAuxDeltaAngleRes = 0.000025;     // DF062, DF063 (deg)
constexpr double kAuxDeltaHeightRes = 0.001;       // DF064 (m)
constexpr double kNetworkEpochRes = 0.1;           // DF065, DF233 (s)
constexpr double kCarrierCorrRes = 0.0005;         // DF069, DF070 (m)
constexpr double kResidualConstRes = 0.5;          // DF218, DF221 (mm)
constexpr double kResidualDistRes = 0.01;          // DF219, DF222 (ppm)
constexpr double kResidualHeightRes = 0.1;         // DF220 (ppm)
constexpr double kFkpRes = 0.01;                   // DF242-DF245 (ppm)

// Ephemerides: the decoder's power-of-two table.
constexpr double kP2m5 = 1.0 / (1 << 5);           // DF086, DF098
constexpr double kP2m11 = 1.0 / (1 << 11);         // DF112, DF115, DF118
constexpr double kP2m19 = 1.0 / (1 << 19);         // DF092
constexpr double kP2m20 = 1.0 / (1 << 20);         // DF111, DF114, DF117
constexpr double kP2m29 = 1.0 / (1 << 29);         // DF089, DF091, DF094, DF096
constexpr double kP2m30 = 1.0 / (1 << 30);         // DF113, DF116, DF119, DF124, DF125
constexpr double kP2m31 = 1.0 / (1u << 31);        // DF084, DF088, DF095, DF097, DF099, DF101, DF133, DF135
constexpr double kP2m33 = kP2m31 / 4;              // DF090
constexpr double kP2m40 = kP2m30 / 1024;           // DF121
constexpr double kP2m43 = kP2m33 / 1024;           // DF079, DF083, DF087, DF100
constexpr double kP2m55 = kP2m43 / 4096;           // DF082
constexpr double kEphTimeRes = 16.0;               // DF081, DF093 (s)
constexpr int kGpsWeekRollover = 1024;             // DF076 counts modulo 1024
constexpr int kGloTbMinutes = 15;                  // DF110 tb step

inline const char* L1CodeLabel(unsigned v) {
    return v == 0 ? "CI-L1 0_C/A-Code" : "CI-L1 1_P(Y)-Code_direct";
}

inline const char* L2CodeLabel(unsigned v) {
    static const char* const kLabels[4] = {"CI-L2 0_C/A-Code_or_L2C-Code", "CI-L2 1_P(Y)-Code_direct",
                                           "CI-L2 2_P(Y)-Code_cross-correlated", "CI-L2 3_Correlated_P/Y"};
    return kLabels[v & 3];
}

// "LTI-L1 5_0_<_lock_time_<_24" for `band` 1 or 2 and the 7-bit indicator
// (DF013, DF019, DF043, DF049). Two per satellite: the texts are made once.
inline const char* LockTimeLabel(int band, unsigned indicator) {
    static const struct Labels {
        char text[2][128][40];
        Labels() {
            for (int b = 0; b < 2; ++b)
                for (unsigned i = 0; i < 128; ++i) {
                    const char* range = i <= 23    ? "0_<_lock_time_<_24"
                                        : i <= 47  ? "24_<=_lock_time_<_72"
                                        : i <= 71  ? "72_<=_lock_time_<_168"
                                        : i <= 95  ? "168_<=_lock_time_<_360"
                                        : i <= 119 ? "360_<=_lock_time_<_744"
                                        : i <= 126 ? "744_<=_lock_time_<_937"
                                                   : "lock_time_>=_937";
                    std::snprintf(text[b][i], sizeof text[b][i], "LTI-L%d %u_%s", b + 1, i, range);
                }
        }
    } labels;
    return labels.text[band == 2 ? 1 : 0][indicator & 127];
}

inline const char* SmoothingLabel(unsigned v) {
    static const char* const kLabels[8] = {"No_smoothing", "<30s",   "30-60s", "1-2min",
                                           "2-4min",       "4-8min", ">8min",  "Unlimited_smoothing_interval"};
    return kLabels[v & 7];
}

inline const char* GpsCodeOnL2Label(unsigned v) {
    static const char* const kLabels[4] = {"reserved", "P_Code_On", "C/A_Code_On", "L2C_On"};
    return kLabels[v & 3];
}

inline const char* GloAlmanacHealthLabel(unsigned v) {
    return v == 0 ? "GLONASS_almanac_has_not_been_received:_GLONASS_almanac_health_is_not_available"
                  : "GLONASS_almanac_has_been_received:_GLONASS_almanac_health_is_available";
}

inline const char* SyncFlagLabel(unsigned v) {
    return v == 0 ? "Asyncronous_not_transmitted_on_a_regular_basis"
                  : "Syncronous_scheduled_for_transmission_at_regular_intervals";
}

}  // namespace zerlan::rtcm3
