// RTCM 2.3 messages from their decoded lines. The data bits of a message run
// on across its 24-bit words; the last word is completed with zero bits.
#include <cmath>
#include <cstdlib>

#include "encoder/RtcmEncoder.h"

namespace zerlan {
namespace {

constexpr int kGloOffset = 40;
constexpr int kGpsWeekRollover = 1024;

double P2(int e) { return std::ldexp(1.0, e); }
bool Near(double a, double b) { return std::fabs(a - b) < 1e-9; }

// RTCM 2 satellite fields hold 1..31, with 0 for satellite 32.
int SatelliteField(double sv) {
    const int n = static_cast<int>(std::lround(sv));
    return n >= 32 ? 0 : n;
}

// The word after `label`, unless the value was printed empty and the next
// label follows at once.
std::string TextAfter(const LineWords& w, std::string_view label, std::string_view next) {
    const int i = w.Find(label);
    if (i < 0 || w[i + 1] == next) return {};
    return std::string(w[i + 1]);
}

void PutChars(std::string& bits, const std::string& text, size_t count) {
    for (size_t i = 0; i < count; ++i) PutField(bits, 8, i < text.size() ? static_cast<unsigned char>(text[i]) : 0);
}

}  // namespace

void RtcmEncoder::AddRtcm2Bits(const std::string& bits) {
    const size_t limit = static_cast<size_t>(kMaxRtcm2DataWords) * 24;
    if (bits_.size() + bits.size() > limit) {
        // Satellite blocks go on in a new message of the same type; other
        // types would not read right when split, and the line is dropped.
        const bool blocks = number_ <= 2 || number_ == 9 || number_ == 31 || (number_ >= 18 && number_ <= 21);
        if (!blocks || bits_.empty()) return;
        FinishRtcm2();
        bits_ = time_word_;
    }
    bits_ += bits;
}

void RtcmEncoder::Rtcm2Line(const LineWords& w) {
    switch (number_) {
        case 1: case 2: case 9: case 31: Corrections(w); break;
        case 17: Rtcm2Ephemeris(w); break;
        case 18: case 19: case 20: case 21: Rtk(w); break;
        case 3: case 32: case 4: case 22: case 23: case 24: Rtcm2Station(w); break;
        case 14: case 16: case 37: Rtcm2Misc(w); break;
        case 59: Fkp59(w); break;
        default: break;
    }
}

void RtcmEncoder::Corrections(const LineWords& w) {
    if (w[1] != "SV") return;
    const bool dprc = number_ == 2;
    const double prc_scale = w.Num(dprc ? "FktDPRC" : "FktPRC");
    const bool coarse = Near(prc_scale, 0.32);
    double sv = w.NumAt(2);
    if (number_ == 31) sv -= kGloOffset;
    std::string b;
    PutField(b, 1, coarse ? 1 : 0);
    PutField(b, 2, w.Num("UDRE"));
    PutField(b, 5, SatelliteField(sv));
    PutField(b, 16, prc_scale > 0 ? w.Num(dprc ? "DPRC" : "PRC") / prc_scale : 0.0);
    PutField(b, 8, w.Num(dprc ? "DRRC" : "RRC") / (coarse ? 0.032 : 0.002));
    if (number_ == 31) {
        PutField(b, 1, w.Num("CB"));
        PutField(b, 7, w.Num("TOD") / 30.0);
    } else {
        PutField(b, 8, w.Num("IOD"));
    }
    AddRtcm2Bits(b);
}

void RtcmEncoder::Rtk(const LineWords& w) {
    if (w[1] != "SV") return;
    const bool pseudorange = number_ == 19 || number_ == 21;
    const int freq = w.Find("Freq");
    // The code, quality and multipath labels follow the frequency or the
    // smoothing interval, whichever the type prints last.
    const int labels = pseudorange ? w.Find("SmoothInterv") : freq;
    if (freq < 0 || labels < 0) return;
    if (bits_.empty()) {
        std::string t;
        PutField(t, 2, w.NumAt(freq + 1));
        PutField(t, 2, pseudorange ? w.NumAt(labels + 1) : 0.0);
        PutField(t, 20, w.Num("GPSSec") * 1e6);
        time_word_ = t;
        bits_ = t;
    }
    double sv = w.NumAt(2);
    const bool glo = sv >= kGloOffset;
    if (glo) sv -= kGloOffset;
    std::string b;
    PutField(b, 1, w.Num("MMI"));
    PutField(b, 1, w.NumAt(labels + 2));
    PutField(b, 1, glo ? 1 : 0);
    PutField(b, 5, SatelliteField(sv));
    switch (number_) {
        case 18:
            PutField(b, 3, w.NumAt(labels + 3));
            PutField(b, 5, w.Num("CLOCI"));
            PutField(b, 32, w.Num("CP") / w.Num("FktCP"));
            break;
        case 19:
            PutField(b, 4, w.NumAt(labels + 3));
            PutField(b, 4, w.NumAt(labels + 4));
            PutField(b, 32, w.Num("PR") / w.Num("FktPR"));
            break;
        case 20:
            PutField(b, 3, w.NumAt(labels + 3));
            PutField(b, 5, w.Num("CLOCI"));
            PutField(b, 8, w.Num("IOD"));
            PutField(b, 24, w.Num("CPC") / w.Num("FktCPC"));
            break;
        default: {
            const double rrc_scale = w.Num("FktRRC");
            const double prc_scale = w.Num("FktPRC");
            PutField(b, 1, Near(rrc_scale, 0.032) ? 1 : 0);
            PutField(b, 3, w.NumAt(labels + 3));
            PutField(b, 1, Near(prc_scale, 0.32) ? 1 : 0);
            PutField(b, 3, w.NumAt(labels + 4));
            PutField(b, 8, w.Num("IOD"));
            PutField(b, 16, w.Num("PRC") / prc_scale);
            PutField(b, 8, w.Num("RRC") / rrc_scale);
            break;
        }
    }
    AddRtcm2Bits(b);
}

void RtcmEncoder::Rtcm2Ephemeris(const LineWords& w) {
    static const char* const kKeys[8] = {"SV", "Toc", "Toe", "Eccentr", "Crc", "i0", "Tgd", "CodeOnL2"};
    int line = -1;
    for (int i = 0; i < 8; ++i)
        if ((i == 0 ? w[1] : w[3]) == kKeys[i]) line = i;
    if (line < 0) return;
    if (line == 0) {
        eph_.clear();
        eph_lines_ = 0;
    }
    eph_lines_ |= 1u << line;
    RememberValues(w, line == 0 ? 1 : 3);
    if (line != 7 || eph_lines_ != 0xFFu) return;
    auto v = [this](const char* label) { return eph_[label]; };
    std::string b;
    PutField(b, 10, static_cast<int>(std::lround(v("GpsWeek"))) % kGpsWeekRollover);
    PutField(b, 14, v("IDOT") / P2(-43));
    PutField(b, 8, v("IODE"));
    PutField(b, 16, v("Toc") / 16.0);
    PutField(b, 16, v("Af1") / P2(-43));
    PutField(b, 8, v("Af2") / P2(-55));
    PutField(b, 16, v("Crs") / P2(-5));
    PutField(b, 16, v("deltaN") / P2(-43));
    PutField(b, 16, v("Cuc") / P2(-29));
    PutField(b, 32, v("Eccentr") / P2(-33));
    PutField(b, 16, v("Cus") / P2(-29));
    PutField(b, 32, v("sqrtA") / P2(-19));
    PutField(b, 16, v("Toe") / 16.0);
    PutField(b, 32, v("Omega") / P2(-31));
    PutField(b, 16, v("Cic") / P2(-29));
    PutField(b, 32, v("i0") / P2(-31));
    PutField(b, 16, v("Cis") / P2(-29));
    PutField(b, 32, v("omega") / P2(-31));
    PutField(b, 16, v("Crc") / P2(-5));
    PutField(b, 24, v("OmegaDot") / P2(-43));
    PutField(b, 32, v("m0") / P2(-31));
    PutField(b, 10, v("IODC"));
    PutField(b, 22, v("Af0") / P2(-31));
    PutField(b, 5, SatelliteField(v("SV")));
    PutField(b, 3, 0);
    PutField(b, 8, v("Tgd") / P2(-31));
    PutField(b, 2, v("CodeOnL2"));
    PutField(b, 4, v("SvAccuracy"));
    PutField(b, 6, v("SvHealth"));
    PutField(b, 1, v("L2PCode"));
    PutField(b, 3, 0);
    bits_ = b;
}

void RtcmEncoder::Rtcm2Station(const LineWords& w) {
    std::string b;
    switch (number_) {
        case 3: case 32:
            for (const char* axis : {"X", "Y", "Z"}) PutField(b, 32, w.Num(axis) / 0.01);
            break;
        case 4: {
            PutField(b, 3, w.Num("DGNSS"));
            PutField(b, 1, w.Num("DAT"));
            PutField(b, 4, 0);
            PutChars(b, TextAfter(w, "DatAlpha", "DatSubDiv"), 3);
            PutChars(b, TextAfter(w, "DatSubDiv", "DX"), 2);
            for (const char* axis : {"DX", "DY", "DZ"}) PutField(b, 16, w.Num(axis) / 0.1);
            break;
        }
        case 22: {
            for (const char* axis : {"DXCorrL1", "DYCorrL1", "DZCorrL1"}) PutField(b, 8, w.Num(axis) / 0.00390625);
            const double height = w.Num("AntHeight");
            const int nh = static_cast<int>(w.Num("NH"));
            // A one-word message carries no height and reads as flag 0.
            if (nh == 0 && Near(height, -9999.999)) break;
            PutField(b, 2, 0);
            PutField(b, 1, w.Num("GS"));
            PutField(b, 1, w.Num("AT"));
            PutField(b, 1, w.Num("AP"));
            PutField(b, 1, nh);
            PutField(b, 18, nh == 1 ? 0.0 : height / 0.00390625);
            for (const char* axis : {"DXCorrL2", "DYCorrL2", "DZCorrL2"}) PutField(b, 8, w.Num(axis) / 0.0625);
            break;
        }
        case 23: {
            const std::string ad = w.Quoted(0);
            const int nad = static_cast<int>(w.Num("NAD"));
            const int sf = static_cast<int>(w.Num("SF"));
            PutField(b, 1, 0);
            PutField(b, 1, w.Num("AR"));
            PutField(b, 1, sf);
            PutField(b, 5, nad);
            PutChars(b, ad, static_cast<size_t>(nad & 31));
            PutField(b, 8, w.Num("SetupID"));
            if (sf == 1) {
                const int nas = static_cast<int>(w.Num("NAS"));
                PutField(b, 3, 0);
                PutField(b, 5, nas);
                PutChars(b, w.Quoted(1), static_cast<size_t>(nas & 31));
            }
            break;
        }
        default: {  // 24
            const double height = w.Num("AntHeight");
            const int ah = static_cast<int>(w.Num("AH"));
            PutField(b, 38, w.Num("ArpXCoord") / 0.0001);
            PutField(b, 2, 0);
            PutField(b, 38, w.Num("ArpYCoord") / 0.0001);
            PutField(b, 2, 0);
            PutField(b, 38, w.Num("ArpZCoord") / 0.0001);
            PutField(b, 1, w.Num("GS"));
            PutField(b, 1, ah);
            // Without a height the message ends after the flags.
            if (ah == 1 || height != 0.0) {
                PutField(b, 18, height / 0.0001);
                PutField(b, 6, 0);
            }
            break;
        }
    }
    bits_.clear();
    AddRtcm2Bits(b);
}

void RtcmEncoder::Rtcm2Misc(const LineWords& w) {
    std::string b;
    if (number_ == 14) {
        PutField(b, 10, static_cast<int>(std::lround(w.Num("GPSWeek"))) % kGpsWeekRollover);
        PutField(b, 8, w.Num("GPSHour"));
        PutField(b, 6, w.Num("SwitchSec", 2));  // "SwitchSec = n"
    } else if (number_ == 16) {
        const std::string text = w.QuotedToLast().substr(0, 90);
        PutChars(b, text, text.size());
    } else {  // 37
        PutField(b, 3, w.Num("Sys1"));
        PutField(b, 3, w.Num("Sys2"));
        PutField(b, 3, 0);
        PutField(b, 7, w.Num("IntSec"));
        PutField(b, 32, w.Num("DecSec") / P2(-32));
    }
    bits_.clear();
    AddRtcm2Bits(b);
}

void RtcmEncoder::Fkp59(const LineWords& w) {
    std::string b;
    if (w[5] == "InstID") {
        bits_.clear();
        b = "010000010110010001010110";  // "AdV"
        PutField(b, 5, w.Num("SubID"));
        b += '0';
        PutField(b, 2, w.Num("DataSet"));
        std::string mask = TextAfter(w, "SatID", "");
        mask.resize(32, '0');
        for (char c : mask) b.push_back(c == '1' ? '1' : '0');
        lines_ = 1;
    } else if (w[5] == "Sv" && lines_ > 0) {
        const double sl0 = w.Num("Sl0"), sl1 = w.Num("Sl1");
        PutField(b, 8, w.Num("IOD"));
        PutField(b, 4, 0);
        PutField(b, 1, Near(sl0, 0.04) ? 1 : 0);
        PutField(b, 1, Near(sl1, 0.04) ? 1 : 0);
        PutField(b, 10, w.Num("N0") / sl0);
        PutField(b, 11, w.Num("N1") / sl1);
        PutField(b, 10, w.Num("E0") / sl0);
        PutField(b, 11, w.Num("E1") / sl0);
    } else {
        return;
    }
    AddRtcm2Bits(b);
}

}  // namespace zerlan
