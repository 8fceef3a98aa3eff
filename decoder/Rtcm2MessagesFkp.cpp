// FKP area correction parameters, type 59 (AdV). Three header words, then
// 56-bit satellite blocks without gaps; the satellite mask assigns the blocks
// to satellites from satellite 1 upwards.
#include <cstring>

#include "decoder/Rtcm2Messages.h"

namespace zerlan {
namespace {

constexpr int kBlockStart = 64;  // word 3, bit 17
constexpr int kBlockBits = 56;
constexpr int kMaxBlocks = 32;
constexpr double kFineScale = 0.01;    // ppm, scale bit 0
constexpr double kCoarseScale = 0.04;  // ppm, scale bit 1
constexpr int kSubIdGps = 5;
constexpr int kSubIdGlonass = 6;
constexpr int kGlonassOffset = 40;

}  // namespace

Rtcm2Lines Rtcm2FkpLines(const Rtcm2Frame& frame, int* glonass_flag) {
    const Rtcm2Fields f(frame.data);
    const char inst[4] = {f.C(0), f.C(8), f.C(16), '\0'};
    const int sub_id = static_cast<int>(f.U(24, 5));
    const int data_set = static_cast<int>(f.U(30, 2));
    const std::string mask = f.Cut(32, 32);
    if (glonass_flag != nullptr) *glonass_flag = sub_id == kSubIdGlonass ? 1 : 0;

    Rtcm2Lines lines;
    lines.push_back(FormatText("MT59 Stat %i ZCount %.1lf InstID %s SubID %i DataSet %i SatID %s%s", frame.station,
                                frame.zseconds, inst, sub_id, data_set, mask.c_str(), kCrLf));
    if (std::strcmp(inst, "AdV") != 0 || (sub_id != kSubIdGps && sub_id != kSubIdGlonass)) return lines;

    int blocks = f.Size() > kBlockStart ? (f.Size() - kBlockStart) / kBlockBits : 0;
    if (blocks > kMaxBlocks) blocks = kMaxBlocks;
    int block = 0;
    for (int j = 31; j >= 0 && block < blocks; --j) {
        if (mask[j] != '1') continue;
        const int sv = 32 - j + (sub_id == kSubIdGlonass ? kGlonassOffset : 0);
        const int at = kBlockStart + block * kBlockBits;
        ++block;
        const int iod = static_cast<int>(f.U(at, 8));
        const double sl0 = f.U(at + 12, 1) == 1 ? kCoarseScale : kFineScale;
        const double sl1 = f.U(at + 13, 1) == 1 ? kCoarseScale : kFineScale;
        const double n0 = f.S(at + 14, 10) * sl0;
        const double n1 = f.S(at + 24, 11) * sl1;
        const double e0 = f.S(at + 35, 10) * sl0;
        // E1 keeps the scale of the geometric part: the text encoder divides by Sl0.
        const double e1 = f.S(at + 45, 11) * sl0;
        lines.push_back(FormatText("MT59 Stat %i ZCount %.1lf Sv %i Sl0 %.2lf_ppm Sl1 %.2lf_ppm N0 %.2lf_ppm "
                                    "N1 %.2lf_ppm E0 %.2lf_ppm E1 %.2lf_ppm IOD %i %s",
                                    frame.station, frame.zseconds, sv, sl0, sl1, n0, n1, e0, e1, iod, kCrLf));
    }
    return lines;
}

}  // namespace zerlan
