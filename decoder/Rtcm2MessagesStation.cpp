// Reference station messages: coordinates (3, 32), datum (4), extended
// parameters (22) and antenna reference point (24).
#include "decoder/Rtcm2Messages.h"

namespace zerlan {
namespace {

constexpr double kCoordinateScale = 0.01;       // m, types 3 and 32
constexpr double kDatumShiftScale = 0.1;        // m, type 4
constexpr double kL1CorrectionScale = 0.00390625;  // cm, type 22
constexpr double kL2CorrectionScale = 0.0625;      // cm, type 22
constexpr double kHeightScale22 = 0.00390625;      // cm
constexpr double kNoHeight = -9999.999;
constexpr double kArpScale = 0.0001;            // m, type 24

const char* const kGsLabels[2] = {"0_GNSS_GPS", "1_GNSS_GLONASS"};

std::string NavSystemLabel(int value) {
    return FormatText(value == 0 ? "%i_GPS" : value == 1 ? "%i_GLONASS" : "%i_unknow_NavSystem", value);
}

Rtcm2Lines Coordinates(const Rtcm2Frame& frame) {
    const Rtcm2Fields f(frame.data);
    const double x = f.SD(0, 32) * kCoordinateScale;
    const double y = f.SD(32, 32) * kCoordinateScale;
    const double z = f.SD(64, 32) * kCoordinateScale;
    return {FormatText("MT%02i Stat %i ZCount %.1lf X %.3lf Y %.3lf Z %.3lf %s", frame.type, frame.station,
                        frame.zseconds, x, y, z, kCrLf)};
}

Rtcm2Lines Datum(const Rtcm2Frame& frame) {
    const Rtcm2Fields f(frame.data);
    const int dgnss = static_cast<int>(f.U(0, 3));
    const int dat = static_cast<int>(f.U(3, 1));
    // Three alpha characters, then two of the sub-division.
    const char alpha[4] = {f.C(8), f.C(16), f.C(24), '\0'};
    const char subdiv[3] = {f.C(32), f.C(40), '\0'};
    const double dx = f.S(48, 16) * kDatumShiftScale;
    const double dy = f.S(64, 16) * kDatumShiftScale;
    const double dz = f.S(80, 16) * kDatumShiftScale;
    const std::string system = NavSystemLabel(dgnss);
    const std::string datum = FormatText(dat == 0 ? "%i_WGS-84/PE-90" : "%i_Local_Datum", dat);
    return {FormatText("MT04 Stat %i ZCount %.1lf DGNSS %s DAT %s DatAlpha %s DatSubDiv %s DX %.1lf DY %.1lf "
                        "DZ %.1lf %s",
                        frame.station, frame.zseconds, system.c_str(), datum.c_str(), alpha, subdiv, dx, dy, dz,
                        kCrLf)};
}

Rtcm2Lines Extended(const Rtcm2Frame& frame) {
    const Rtcm2Fields f(frame.data);
    const double l1[3] = {f.S(0, 8) * kL1CorrectionScale, f.S(8, 8) * kL1CorrectionScale,
                          f.S(16, 8) * kL1CorrectionScale};
    const int gs = static_cast<int>(f.U(Rtcm2Fields::At(2, 3), 1));
    const int at = static_cast<int>(f.U(Rtcm2Fields::At(2, 4), 1));
    const int ap = static_cast<int>(f.U(Rtcm2Fields::At(2, 5), 1));
    const int nh = static_cast<int>(f.U(Rtcm2Fields::At(2, 6), 1));
    double height = f.U(Rtcm2Fields::At(2, 7), 18) * kHeightScale22;
    // A frame without its second word carries no height either.
    if (nh == 1 || frame.Words() < 2) height = kNoHeight;
    const int w3 = Rtcm2Fields::At(3, 1);
    const double l2[3] = {f.S(w3, 8) * kL2CorrectionScale, f.S(w3 + 8, 8) * kL2CorrectionScale,
                          f.S(w3 + 16, 8) * kL2CorrectionScale};
    const char* at_label = at == 0 ? "0_No_antenna_type_definition_record_follows_(see_MT23)"
                                   : "1_Antenna_type_definition_record_follows_(see_MT23)";
    const char* ap_label = ap == 0 ? "0_No_antenna_reference_point_record follows_(see_MT24)"
                                   : "1_Antenna_reference_point_record_follows_(see_MT24)";
    const char* nh_label =
        nh == 0 ? "0_Antenna_height_information_provided" : "1_No_antenna_height_information_provided";
    return {FormatText("MT22 Stat %i ZCount %.1lf  DXCorrL1 %.8lfcm DYCorrL1 %.8lfcm DZCorrL1 %.8lfcm "
                        "DXCorrL2 %.4lfcm DYCorrL2 %.4lfcm DZCorrL2 %.4lfcm AntHeight %.8lfcm GS %s AT %s AP %s "
                        "NH %s %s",
                        frame.station, frame.zseconds, l1[0], l1[1], l1[2], l2[0], l2[1], l2[2], height,
                        kGsLabels[gs], at_label, ap_label, nh_label, kCrLf)};
}

Rtcm2Lines ReferencePoint(const Rtcm2Frame& frame) {
    const Rtcm2Fields f(frame.data);
    // 38-bit coordinates: converted in double precision so they never wrap.
    const double x = f.SD(0, 38) * kArpScale;
    const double y = f.SD(40, 38) * kArpScale;
    const double z = f.SD(80, 38) * kArpScale;
    const int gs = static_cast<int>(f.U(118, 1));
    const int ah = static_cast<int>(f.U(119, 1));
    const double height = f.UD(120, 18) * kArpScale;
    const char* ah_label =
        ah == 0 ? "0_No_antenna_height_information_provided" : "1_Antenna_height_information_provided";
    return {FormatText("MT24 Stat %i ZCount %.1lf ArpXCoord %.4lfm ArpYCoord %.4lfm ArpZCoord %.4lfm "
                        "AntHeight %.4lfm GS %s AH %s%s",
                        frame.station, frame.zseconds, x, y, z, height, kGsLabels[gs], ah_label, kCrLf)};
}

}  // namespace

Rtcm2Lines Rtcm2StationLines(const Rtcm2Frame& frame) {
    switch (frame.type) {
        case 3: case 32: return Coordinates(frame);
        case 4: return Datum(frame);
        case 22: return Extended(frame);
        case 24: return ReferencePoint(frame);
        default: return {};
    }
}

}  // namespace zerlan
