// GPS ephemeris, type 17: twenty words, written once the last has arrived.
#include <cmath>

#include "decoder/Rtcm2Messages.h"

namespace zerlan {
namespace {

const double kP2_5 = std::ldexp(1.0, -5);
const double kP2_19 = std::ldexp(1.0, -19);
const double kP2_29 = std::ldexp(1.0, -29);
const double kP2_31 = std::ldexp(1.0, -31);
const double kP2_33 = std::ldexp(1.0, -33);
const double kP2_43 = std::ldexp(1.0, -43);
const double kP2_55 = std::ldexp(1.0, -55);
constexpr double kTimeScale = 16.0;  // s, toc and toe
constexpr int kWeekOffset = 1024;

int At(int word, int bit) { return Rtcm2Fields::At(word, bit); }

}  // namespace

Rtcm2Lines Rtcm2EphemerisLines(const Rtcm2Frame& frame) {
    const Rtcm2Fields f(frame.data);
    const double z = frame.zseconds;
    const int week = static_cast<int>(f.U(At(1, 1), 10)) + kWeekOffset;
    const double idot = f.S(At(1, 11), 14) * kP2_43;
    const int iode = static_cast<int>(f.U(At(2, 1), 8));
    const double toc = f.U(At(2, 9), 16) * kTimeScale;
    const double af1 = f.S(At(3, 1), 16) * kP2_43;
    const double af2 = f.S(At(3, 17), 8) * kP2_55;
    const double crs = f.S(At(4, 1), 16) * kP2_5;
    const double delta_n = f.S(At(4, 17), 16) * kP2_43;
    const double cuc = f.S(At(5, 9), 16) * kP2_29;
    const double ecc = f.UD(At(6, 1), 32) * kP2_33;
    const double cus = f.S(At(7, 9), 16) * kP2_29;
    const double sqrt_a = f.UD(At(8, 1), 32) * kP2_19;
    const double toe = f.U(At(9, 9), 16) * kTimeScale;
    const double omega0 = f.SD(At(10, 1), 32) * kP2_31;
    const double cic = f.S(At(11, 9), 16) * kP2_29;
    const double i0 = f.SD(At(12, 1), 32) * kP2_31;
    const double cis = f.S(At(13, 9), 16) * kP2_29;
    const double omega = f.SD(At(14, 1), 32) * kP2_31;
    const double crc = f.S(At(15, 9), 16) * kP2_5;
    const double omega_dot = f.S(At(16, 1), 24) * kP2_43;
    const double m0 = f.SD(At(17, 1), 32) * kP2_31;
    const int iodc = static_cast<int>(f.U(At(18, 9), 10));
    const double af0 = f.S(At(18, 19), 22) * kP2_31;
    int sv = static_cast<int>(f.U(At(19, 17), 5));
    if (sv == 0) sv = 32;
    const double tgd = f.S(At(20, 1), 8) * kP2_31;
    const int code_l2 = static_cast<int>(f.U(At(20, 9), 2));
    const int accuracy = static_cast<int>(f.U(At(20, 11), 4));
    const int health = static_cast<int>(f.U(At(20, 15), 6));
    const int l2p = static_cast<int>(f.U(At(20, 21), 1));

    return {
        FormatText("MT17 SV %i ZCount %.1lf GpsWeek %4i IODE %i %s", sv, z, week, iode, kCrLf),
        FormatText("MT17 ZCount %.1lf     Toc % .12E_sec           Af0 % .12E_sec                Af1 % "
                    ".12E_sec/sec           Af2 % .12E_sec/(sec*sec) %s",
                    z, toc, af0, af1, af2, kCrLf),
        FormatText("MT17 ZCount %.1lf     Toe % .12E_sec         sqrtA % .12E_m^1/2           deltaN % "
                    ".12E_semi-circles/sec   m0 % .12E_semi-circles %s",
                    z, toe, sqrt_a, delta_n, m0, kCrLf),
        FormatText("MT17 ZCount %.1lf Eccentr % .12E             Omega % .12E_semi-circles       Cus % "
                    ".12E_radians           Cuc % .12E_radians %s",
                    z, ecc, omega0, cus, cuc, kCrLf),
        FormatText("MT17 ZCount %.1lf     Crc % .12E_m             Crs % .12E_m                  Cic % "
                    ".12E_radians           Cis % .12E_radians %s",
                    z, crc, crs, cic, cis, kCrLf),
        FormatText("MT17 ZCount %.1lf      i0 % .12E_semi-circles IDOT % .12E_semi-circles/sec omega % "
                    ".12E_semi-circles OmegaDot % .12E_semi-circles/sec %s",
                    z, i0, idot, omega, omega_dot, kCrLf),
        FormatText("MT17 ZCount %.1lf     Tgd % .12E_sec          IODC %i %s", z, tgd, iodc, kCrLf),
        FormatText("MT17 ZCount %.1lf CodeOnL2 %i SvAccuracy %i SvHealth %i L2PCode %i %s", z, code_l2,
                    accuracy, health, l2p, kCrLf),
    };
}

}  // namespace zerlan
