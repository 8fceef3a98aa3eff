// Network RTK and other messages: system parameters (1013), auxiliary-station
// deltas (1014), network corrections (1015-1017, 1037-1039), residuals (1030,
// 1031), FKP (1034, 1035), network RTK CRC (1036), text (1029), encryption
// (1047, 1048) and the types that are only named (1021-1028).
#include "decoder/Rtcm3Fields.h"
#include "decoder/Rtcm3xDecoder.h"

namespace zerlan {

using namespace rtcm3;

void CRtcm3xDecoder::SystemParameters() {
    if (!Fits(94)) return;
    const long mjd = U(49, 64);
    const long second_of_day = U(65, 81);
    const int n = static_cast<int>(U(82, 86));
    const unsigned leap = U(87, 94);
    if (static_cast<int>(msg_length_) * 8 < 29 * n + 70) return;
    Line("MT1013 ModJulianDay %ld SecOfDay %ld NumberOfMessage %i LeapSeconds %i%s", mjd, second_of_day, n, leap,
         "\r\n");
    for (int i = 0, s = 95; i < n; ++i, s += 29) {
        const unsigned sync = U(s + 12, s + 12);
        Line("MT1013 MessageID %i SyncFlag %i_%s TransmInterval %.1lf%s", U(s, s + 11), sync, SyncFlagLabel(sync),
             U(s + 13, s + 28) * kTransmIntervalRes, "\r\n");
    }
    estimator_.AddSample(SecondOfHour(static_cast<double>(second_of_day)));
}

void CRtcm3xDecoder::NetworkAuxDelta() {
    if (!Fits(141)) return;
    Line("MT1014 NetwId %03i SubNetId %02i NrOfAuxStaTra %i MastRefStatId %04i AuxRefStatId %04i AuxMastDLat "
         "%.6lf\xB0 AuxMastDLong %.6lf\xB0 AuxMastDHeigh %.3lfm %s",
         U(37, 44), U(45, 48), U(49, 53), U(54, 65), U(66, 77), S(78, 97) * kAuxDeltaAngleRes,
         S(98, 118) * kAuxDeltaAngleRes, S(119, 141) * kAuxDeltaHeightRes, "\r\n");
}

void CRtcm3xDecoder::NetworkCorrections() {
    const int type = msg_number_;
    const bool gps = type <= 1017;
    const int epoch_bits = gps ? 23 : 20;
    int p = 49 + epoch_bits;  // multiple-message indicator
    const int header_end = p + 28;
    if (!Fits(header_end)) return;
    const double epoch = U(49, p - 1) * kNetworkEpochRes;
    const unsigned multiple = U(p, p);
    const unsigned master = U(p + 1, p + 12);
    const unsigned aux = U(p + 13, p + 24);
    const int count = static_cast<int>(U(p + 25, p + 28));
    Line("MT%04i %s %.1lf NetId %03i SubNetId %02i MultMsgInd %i MastRefStatId %04i AuxRefStatId %04i NrOfSv %02i%s",
         type, gps ? "ToW" : "EpT", epoch, U(37, 44), U(45, 48), multiple, master, aux, count, "\r\n");
    if (gps) estimator_.AddSample(SecondOfHour(epoch));

    const int kind = gps ? type - 1015 : type - 1037;  // 0 ionospheric, 1 geometric, 2 both
    static const int kWidth[3] = {28, 36, 53};
    const int width = kWidth[kind];
    int s = header_end + 1;
    for (int i = 0; i < count && Fits(s + width - 1); ++i, s += width) {
        const int sat = static_cast<int>(U(s, s + 5)) + (gps ? 0 : kGloSlotOffset);
        const unsigned ambiguity = U(s + 6, s + 7);
        const unsigned non_sync = U(s + 8, s + 10);
        const double first = S(s + 11, s + 27) * kCarrierCorrRes;
        const unsigned iod = U(s + 28, s + 35);
        const double iono = S(s + 36, s + 52) * kCarrierCorrRes;
        switch (type) {
            case 1015:
                Line("MT1015 SV %02i GpsAmbStatFlag %i GpsNonSyncCount %i GpsIonCarrPhCorr %.4lf %s", sat, ambiguity,
                     non_sync, first, "\r\n");
                break;
            case 1016:
                Line("MT1016 SV %02i GpsAmbStatFlag %i GpsNonSyncCount %i GpsGeomCarrPhCorr %.4lf GpsIode %i %s", sat,
                     ambiguity, non_sync, first, iod, "\r\n");
                break;
            case 1017:
                Line("MT1017 SV %02i GpsAmbStatFlag %i GpsNonSyncCount %i GpsGeomCarrPhCorr %.4lf GpsIode %i "
                     "GpsIonCarrPhCorr %.4lf %s",
                     sat, ambiguity, non_sync, first, iod, iono, "\r\n");
                break;
            case 1037:
                Line("MT1037 SV %02i GloAmbStatFlag %i GloNonSyncCount %i GloIonCarrPhCorr %.4lf %s", sat, ambiguity,
                     non_sync, first, "\r\n");
                break;
            case 1038:
                Line("MT1038 SV %02i GloAmbStatFlag %i GloNonSyncCount %i GloGeomCarrPhCorr %.4lf GloIod %i %s", sat,
                     ambiguity, non_sync, first, iod, "\r\n");
                break;
            default:
                Line("MT1039 SV %02i GloAmbStatFlag %i GloNonSyncCount %i GloGeomCarrPhCorr %.4lf GloIod %i "
                     "GloIonCarrPhCorr %.4lf %s",
                     sat, ambiguity, non_sync, first, iod, iono, "\r\n");
                break;
        }
    }
}

void CRtcm3xDecoder::Residuals() {
    const bool gps = msg_number_ == 1030;
    const int epoch_end = gps ? 56 : 53;
    const int header_end = epoch_end + 24;
    if (!Fits(header_end)) return;
    const double epoch = U(37, epoch_end);
    const unsigned refs = U(epoch_end + 13, epoch_end + 19);
    const unsigned count = U(epoch_end + 20, epoch_end + 24);
    if (gps) {
        Line("MT1030 ToW %.1lf NrRefs %i NrOfGpsSv %i %s", epoch, refs, count, "\r\n");
        NoteGpsEpoch(epoch, true);
    } else {
        Line("MT1031 EpT %.1lf NrRefs %i NrOfGloSv %i %s", epoch, refs, count, "\r\n");
        NoteGloEpoch(epoch);
    }
    const int lowest = gps ? 0 : 40;
    for (int s = header_end + 1; Fits(s + 48); s += 49) {
        const int sat = static_cast<int>(U(s, s + 5)) + (gps ? 0 : kGloSlotOffset);
        if (sat < lowest || sat > lowest + 39) continue;
        Line("MT%04i SV %02i Soc %.3lfmm Sod %.3lfppm Soh %.3lfppm SIc %.3lfmm SId %.3lfppm %s", msg_number_, sat,
             UD(s + 6, s + 13) * kResidualConstRes, UD(s + 14, s + 22) * kResidualDistRes,
             UD(s + 23, s + 28) * kResidualHeightRes, UD(s + 29, s + 38) * kResidualConstRes,
             UD(s + 39, s + 48) * kResidualDistRes, "\r\n");
    }
}

void CRtcm3xDecoder::FkpGps() {
    if (!Fits(73)) return;
    const double epoch = U(49, 68);
    Line("MT1034 ToW %.1lf NrGpsSvSiProc %i %s", epoch, U(69, 73), "\r\n");
    NoteGpsEpoch(epoch, true);
    for (int s = 74; Fits(s + 65); s += 66) {
        const unsigned sat = U(s, s + 5);
        if (sat < 1 || sat > 32) continue;
        Line("MT1034 SV %02i Iode %i N0 %.3lfppm E0 %.3lfppm NI %.3lfppm EI %.3lfppm %s", sat, U(s + 6, s + 13),
             S(s + 14, s + 25) * kFkpRes, S(s + 26, s + 37) * kFkpRes, S(s + 38, s + 51) * kFkpRes,
             S(s + 52, s + 65) * kFkpRes, "\r\n");
    }
}

void CRtcm3xDecoder::FkpGlo() {
    if (!Fits(70)) return;
    const double epoch = U(49, 65);
    Line("MT1035 EpT %.1lf NrGloSvSiProc %i %s", epoch, U(66, 70), "\r\n");
    NoteGloEpoch(epoch);
    for (int s = 71; Fits(s + 65); s += 66) {
        const int sat = static_cast<int>(U(s, s + 5)) + kGloSlotOffset;
        if (sat < 41 || sat > 72) continue;
        Line("MT1035 SV %02i Iod %i N0 %.3lfppm E0 %.3lfppm NI %.3lfppm EI %.3lfppm %s", sat, U(s + 6, s + 13),
             S(s + 14, s + 25) * kFkpRes, S(s + 26, s + 37) * kFkpRes, S(s + 38, s + 51) * kFkpRes,
             S(s + 52, s + 65) * kFkpRes, "\r\n");
    }
}

void CRtcm3xDecoder::NetworkRtkCrc() {
    if (!Fits(52)) return;
    Line("MT1036 Stat %04i NrOfSv %i %s", station_id_, U(49, 52), "\r\n");
    for (int s = 53; Fits(s + 32); s += 33) {
        const int sat = static_cast<int>(U(s, s + 5)) + kGloSlotOffset;
        if (sat < 41 || sat > 72) continue;
        Line("MT1036 SV %i SubIod %i CRC24 %ld %s", sat, U(s + 6, s + 8), static_cast<long>(U(s + 9, s + 32)), "\r\n");
    }
}

void CRtcm3xDecoder::TextMessage() {
    if (!Fits(96)) return;
    const long second_of_day = U(65, 81);
    const unsigned units = U(89, 96);
    int available = 0;
    while (available < static_cast<int>(units) && Fits(97 + 8 * available + 7)) ++available;
    const std::string text = Chars(97, available);
    Line("MT1029 MDJ %i SecOfDay %ld CountOfChar %i CountOfUtf8 %i Message: \"%s\" %s", U(49, 64), second_of_day,
         U(82, 88), units, text.c_str(), "\r\n");
    estimator_.AddSample(SecondOfHour(static_cast<double>(second_of_day)));
}

void CRtcm3xDecoder::NoDecoding() { Line("MT%04i No decoding %s", msg_number_, "\r\n"); }

void CRtcm3xDecoder::EncryptionHeader() {
    if (!Fits(88)) return;
    Line("MT1047 ProviderId %04i SymKeyIdent %04i EncoderTyp %02i StreamId %04i QuarterHourTime %04i IVCounter "
         "%02i%s",
         U(37, 48), U(49, 60), U(61, 62), U(63, 72), U(73, 82), U(83, 88), "\r\n");
}

void CRtcm3xDecoder::KeyChange() {
    if (!Fits(72)) return;
    Line("MT1048 ProviderId %04i KeyChangeWeek %04i KeyChangeTime %05i%s", U(37, 48), U(49, 58), U(59, 72) * 60,
         "\r\n");
}

}  // namespace zerlan
