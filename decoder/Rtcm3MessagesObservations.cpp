// GPS (1001-1004) and GLONASS (1009-1012) observation messages: one epoch line,
// then one line per satellite. Values are printed field by field; the full
// pseudorange is not rebuilt from the ambiguity, which is shown as a distance.
#include <algorithm>

#include "decoder/Rtcm3Fields.h"
#include "decoder/Rtcm3xDecoder.h"

namespace zerlan {

using namespace rtcm3;

namespace {
constexpr int kGpsHeaderEnd = 88;  // last bit of the GPS epoch header
constexpr int kGloHeaderEnd = 85;
}  // namespace

void CRtcm3xDecoder::GpsObservations() {
    if (!Fits(kGpsHeaderEnd)) return;
    const int type = msg_number_;
    const double tow = U(49, 78) / 1000.0;
    const unsigned sync = U(79, 79);
    const int count = static_cast<int>(U(80, 84));
    const unsigned smoothing = U(85, 85);
    const unsigned interval = U(86, 88);
    Line("MT%04i ToW %.4lf SyncGnssMF %i NGpsSvSiProc %i GpsDivFrSmInd %i GpsSmInt %i_%s%s", type, tow, sync,
         count, smoothing, interval, SmoothingLabel(interval), "\r\n");
    NoteGpsEpoch(tow, true);

    static const int kWidth[4] = {58, 74, 101, 125};
    const int width = kWidth[type - 1001];
    const bool extended = type == 1002 || type == 1004;
    const int end = std::min(count * width + kGpsHeaderEnd, msg_bits_);
    // A block must lie wholly inside the message; a trailing part is CRC or padding.
    for (int s = kGpsHeaderEnd + 1; s < end && Fits(s + width - 1); s += width) {
        const unsigned sat = U(s, s + 5);
        if (sat < 1 || sat > 32) continue;
        const char* code1 = L1CodeLabel(U(s + 6, s + 6));
        const double pr1 = U(s + 7, s + 30) * kPseudorangeRes;
        const double ph1 = S(s + 31, s + 50) * kPhaseMinusRangeRes;
        const char* const lock1 = LockTimeLabel(1, U(s + 51, s + 57));
        const double amb = U(s + 58, s + 65) * kGpsAmbiguityRange;
        const double cnr1 = U(s + 66, s + 73) * kCnrRes;
        const int l2 = s + (extended ? 74 : 58);
        const char* code2 = L2CodeLabel(U(l2, l2 + 1));
        const double pr2 = S(l2 + 2, l2 + 15) * kL2MinusL1RangeRes;
        const double ph2 = S(l2 + 16, l2 + 35) * kPhaseMinusRangeRes;
        const char* const lock2 = LockTimeLabel(2, U(l2 + 36, l2 + 42));
        const double cnr2 = U(l2 + 43, l2 + 50) * kCnrRes;
        switch (type) {
            case 1001:
                Line("MT1001 SV %i %s PR-L1 %.3lfm PhR-PR-L1-L1 %.5lfm %s%s", sat, code1, pr1, ph1, lock1,
                     "\r\n");
                break;
            case 1002:
                Line("MT1002 SV %i %s PR-L1 %.3lfm PhR-PR-L1-L1 %.5lfm %s PRModAmbiL1 %.3lfm CNRL1 %.2lfdb-Hz%s", sat,
                     code1, pr1, ph1, lock1, amb, cnr1, "\r\n");
                break;
            case 1003:
                Line("MT1003 SV %i %s PR-L1 %.3lfm PhR-PR-L1-L1 %.5lfm %s %s PR-L2-L1 %.3lfm PhR-PR-L2-L1 %.5lfm %s%s",
                     sat, code1, pr1, ph1, lock1, code2, pr2, ph2, lock2, "\r\n");
                break;
            default:
                Line("MT1004 SV %i %s PR-L1 %.3lfm PhR-PR-L1-L1 %.5lfm %s PRModAmbiL1 %.3lfm CNRL1 %.2lfdb-Hz %s "
                     "PR-L2-L1 %.3lfm PhR-PR-L2-L1 %.5lfm %s CNRL2 %.2lfdb-Hz%s",
                     sat, code1, pr1, ph1, lock1, amb, cnr1, code2, pr2, ph2, lock2, cnr2, "\r\n");
                break;
        }
    }
}

void CRtcm3xDecoder::GloObservations() {
    if (!Fits(kGloHeaderEnd)) return;
    const int type = msg_number_;
    const double epoch = U(49, 75) / 1000.0;
    const unsigned sync = U(76, 76);
    const int count = static_cast<int>(U(77, 81));
    const unsigned smoothing = U(82, 82);
    const unsigned interval = U(83, 85);
    Line("MT%04i EpT %.4lf SyncGnssMF %i NGloSvSiProc %i GloDivFrSmInd %i GloSmInt %i_%s%s", type, epoch, sync,
         count, smoothing, interval, SmoothingLabel(interval), "\r\n");
    NoteGloEpoch(epoch);

    static const int kWidth[4] = {64, 79, 107, 130};
    const int width = kWidth[type - 1009];
    const bool extended = type == 1010 || type == 1012;
    const int end = std::min(count * width + kGloHeaderEnd, msg_bits_);
    for (int s = kGloHeaderEnd + 1; s < end && Fits(s + width - 1); s += width) {
        const int sat = static_cast<int>(U(s, s + 5)) + kGloSlotOffset;
        if (sat < 41 || sat > 72) continue;
        const char* code1 = L1CodeLabel(U(s + 6, s + 6));
        const int channel = static_cast<int>(U(s + 7, s + 11));
        const double f1 = kGloL1Base + kGloL1Step * channel;
        const double f2 = kGloL2Base + kGloL2Step * channel;
        const double pr1 = U(s + 12, s + 36) * kPseudorangeRes;
        const double ph1 = S(s + 37, s + 56) * kPhaseMinusRangeRes;
        const char* const lock1 = LockTimeLabel(1, U(s + 57, s + 63));
        const double amb = U(s + 64, s + 70) * kGloAmbiguityRange;
        const double cnr1 = U(s + 71, s + 78) * kCnrRes;
        const int l2 = s + (extended ? 79 : 64);
        const char* code2 = L2CodeLabel(U(l2, l2 + 1));
        const double pr2 = S(l2 + 2, l2 + 15) * kL2MinusL1RangeRes;
        const double ph2 = S(l2 + 16, l2 + 35) * kPhaseMinusRangeRes;
        const char* const lock2 = LockTimeLabel(2, U(l2 + 36, l2 + 42));
        const double cnr2 = U(l2 + 43, l2 + 50) * kCnrRes;
        switch (type) {
            case 1009:
                Line("MT1009 SV %i %s GloFqzCh %i_L1_%.4lfMHz_L2_%.4lfMHz PR-L1 %.3lfm PhR-PR-L1-L1 %.5lfm %s%s", sat,
                     code1, channel, f1, f2, pr1, ph1, lock1, "\r\n");
                break;
            case 1010:
                Line("MT1010 SV %i %s GloFqzCh %i_L1_%.4lfMHz_L2_%.4lfMHz PR-L1 %.3lfm PhR-PR-L1-L1 %.5lfm %s "
                     "PRModAmbiL1 %.3lfm CNRL1 %.2lfdb-Hz%s",
                     sat, code1, channel, f1, f2, pr1, ph1, lock1, amb, cnr1, "\r\n");
                break;
            case 1011:
                Line("MT1011 SV %i %s GloFqzCh %i_L1_%.4lfMHz_L2_%.4lfMHz PR-L1 %.3lfm PhR-PR-L1-L1 %.5lfm %s %s "
                     "PR-L2-L1 %.3lfm PhR-PR-L2-L1 %.5lfm %s%s",
                     sat, code1, channel, f1, f2, pr1, ph1, lock1, code2, pr2, ph2, lock2, "\r\n");
                break;
            default:
                Line("MT1012 SV %i %s GloFqzCh %i_L1_%.4lfMHz_L2_%.4lfMHz PR-L1 %.3lfm PhR-PR-L1-L1 %.5lfm %s "
                     "PRModAmbiL1 %.3lfm CNRL1 %.2lfdb-Hz %s PR-L2-L1 %.3lfm PhR-PR-L2-L1 %.5lfm %s CNRL2 "
                     "%.2lfdb-Hz%s",
                     sat, code1, channel, f1, f2, pr1, ph1, lock1, amb, cnr1, code2, pr2, ph2, lock2,
                     cnr2, "\r\n");
                break;
        }
    }
}

}  // namespace zerlan
