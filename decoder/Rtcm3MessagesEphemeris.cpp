// Broadcast ephemerides: GPS (1019) in eight lines, GLONASS (1020) in nine.
// The values are printed in "% .12E" so that the encoders can rebuild the
// exact field integers.
#include "core/GlobalSeconds.h"
#include "decoder/Rtcm3Fields.h"
#include "decoder/Rtcm3xDecoder.h"

namespace zerlan {

using namespace rtcm3;

namespace {
constexpr int kGpsEphemerisEnd = 512;  // last bit of the 1019 fields
constexpr int kGloEphemerisEnd = 377;  // last bit of the 1020 fields read

// The message counts weeks modulo 1024: the cycle nearest the computer's own
// GPS week is the only reading that stays right across rollovers.
int FullGpsWeek(int week) {
    GlobalSeconds now;
    if (now.FromSeconds(now.NowSeconds()) != 0 || now.gps_week < 0) return week + kGpsWeekRollover;
    const int cycles = (now.gps_week - week + kGpsWeekRollover / 2) / kGpsWeekRollover;
    return week + (cycles > 0 ? cycles : 0) * kGpsWeekRollover;
}
}  // namespace

void CRtcm3xDecoder::GpsEphemeris() {
    // A short frame would print CRC bits as orbit values.
    if (!Fits(kGpsEphemerisEnd)) return;
    int p = 37;
    auto u = [&](int width) { p += width; return U(p - width, p - 1); };
    auto s = [&](int width) { p += width; return S(p - width, p - 1); };
    auto ud = [&](int width) { p += width; return UD(p - width, p - 1); };

    const unsigned sat = u(6);
    const unsigned week = u(10);
    const unsigned accuracy = u(4);
    const unsigned code_l2 = u(2);
    const double idot = s(14) * kP2m43;
    const unsigned iode = u(8);
    const double toc = ud(16) * kEphTimeRes;
    const double af2 = s(8) * kP2m55;
    const double af1 = s(16) * kP2m43;
    const double af0 = s(22) * kP2m31;
    const unsigned iodc = u(10);
    const double crs = s(16) * kP2m5;
    const double delta_n = s(16) * kP2m43;
    const double m0 = s(32) * kP2m31;
    const double cuc = s(16) * kP2m29;
    const double ecc = ud(32) * kP2m33;
    const double cus = s(16) * kP2m29;
    const double sqrt_a = ud(32) * kP2m19;
    const double toe = ud(16) * kEphTimeRes;
    const double cic = s(16) * kP2m29;
    const double omega0 = s(32) * kP2m31;
    const double cis = s(16) * kP2m29;
    const double i0 = s(32) * kP2m31;
    const double crc = s(16) * kP2m5;
    const double omega = s(32) * kP2m31;
    const double omega_dot = s(24) * kP2m43;
    const double tgd = s(8) * kP2m31;
    const unsigned health = u(6);
    const unsigned l2p = u(1);
    const unsigned fit = u(1);

    Line("MT1019 SV %02i GpsWeek %i GpsSvAccuracy %i GpsCodeOnL2 %i_%s %s", sat, FullGpsWeek(static_cast<int>(week)), accuracy,
         code_l2, GpsCodeOnL2Label(code_l2), "\r\n");
    Line("MT1019      Toc % .12E_sec           Af0 % .12E_sec                Af1 % .12E_sec/sec           Af2 "
         "% .12E_sec/(sec*sec) %s",
         toc, af0, af1, af2, "\r\n");
    Line("MT1019      Toe % .12E_sec         sqrtA % .12E_m^1/2           deltaN % .12E_semi-circles/sec   m0 "
         "% .12E_semi-circles %s",
         toe, sqrt_a, delta_n, m0, "\r\n");
    Line("MT1019  Eccentr % .12E             Omega % .12E_semi-circles       Cus % .12E_radians           Cuc "
         "% .12E_radians %s",
         ecc, omega0, cus, cuc, "\r\n");
    Line("MT1019      Crc % .12E_m             Crs % .12E_m                  Cic % .12E_radians           Cis "
         "% .12E_radians %s",
         crc, crs, cic, cis, "\r\n");
    Line("MT1019       i0 % .12E_semi-circles IDOT % .12E_semi-circles/sec omega % .12E_semi-circles OmegaDot "
         "% .12E_semi-circles/sec %s",
         i0, idot, omega, omega_dot, "\r\n");
    Line("MT1019      Tgd % .12E_sec          IODC %04i                                   IODE %i %s", tgd, iodc, iode,
         "\r\n");
    Line("MT1019  SvHealth %i GpsL2PDataFlag %i GpsFitInterval %i %s", health, l2p, fit, "\r\n");
}

void CRtcm3xDecoder::GloEphemeris() {
    if (!Fits(kGloEphemerisEnd)) return;
    int p = 37;
    auto u = [&](int width) { p += width; return U(p - width, p - 1); };
    auto m = [&](int width) { p += width; return M(p - width, p - 1); };

    const unsigned sat = u(6) + kGloSlotOffset;
    const unsigned channel = u(5);
    const unsigned alm_health = u(1);
    const unsigned alm_avail = u(1);
    const unsigned p1 = u(2);
    const unsigned tk_hour = u(5);
    const unsigned tk_min = u(6);
    const unsigned tk_30s = u(1);
    const unsigned msb_bn = u(1);
    const unsigned p2 = u(1);
    const unsigned tb = u(7);
    double vel[3], pos[3], acc[3];
    for (int axis = 0; axis < 3; ++axis) {
        vel[axis] = m(24) * kP2m20;
        pos[axis] = m(27) * kP2m11;
        acc[axis] = m(5) * kP2m30;
    }
    const unsigned p3 = u(1);
    const double gamma = m(11) * kP2m40;
    const unsigned mp = u(2);
    const unsigned ln3 = u(1);
    const double tau = m(22) * kP2m30;
    const double delta_tau = m(5) * kP2m30;
    const unsigned en = u(5);
    const unsigned p4 = u(1);
    const unsigned ft = u(4);
    const unsigned nt = u(11);
    const unsigned mm = u(2);
    const unsigned add_data = u(1);
    const unsigned na = u(11);
    const double tau_c = m(32) * kP2m31;
    const unsigned n4 = u(5);
    const double tau_gps = m(22) * kP2m30;
    const unsigned ln5 = u(1);

    Line("MT1020 SV %02i GloFreqChannel %i GloAlmHealth %i GloAlmHealthAvInd %i_%s %s", sat, channel, alm_health,
         alm_avail, GloAlmanacHealthLabel(alm_avail), "\r\n");
    Line("MT1020   P1 %i TkHour %i  TkMin %i Tk30SecInt %i MSBOfBn %i P2 %i Tb %i_min %s", p1, tk_hour, tk_min,
         tk_30s, msb_bn, p2, tb * kGloTbMinutes, "\r\n");
    Line("MT1020          XnFD % .12E_km/s          Xn % .12E_km          XnSD % .12E_km/s^2 %s", vel[0], pos[0],
         acc[0], "\r\n");
    Line("MT1020          YnFD % .12E_km/s          Yn % .12E_km          YnSD % .12E_km/s^2 %s", vel[1], pos[1],
         acc[1], "\r\n");
    Line("MT1020          ZnFD % .12E_km/s          Zn % .12E_km          ZnSD % .12E_km/s^2 %s", vel[2], pos[2],
         acc[2], "\r\n");
    Line("MT1020   P3 %i GamNTb % .12E               MP  %i                               M1n3  %i %s", p3, gamma, mp,
         ln3, "\r\n");
    Line("MT1020         TauTb % .12E_sec   DeltaTauTb % .12E_sec           En  %i_days %s", tau, delta_tau, en,
         "\r\n");
    Line("MT1020   P4 %i GloMFt %i GloMNt %i_days GloMM %i GloAvOfAddData %i %s", p4, ft, nt, mm, add_data, "\r\n");
    Line("MT1020   Na %i_days TauC % .12E_sec  GloMN4 %i_4yearsInt  GloMTauGps % .12E_sec  M1n5 %i %s", na, tau_c, n4,
         tau_gps, ln5, "\r\n");
}

}  // namespace zerlan
