// RTCM 3 messages from their decoded lines. Each value is read after its
// label and divided by the resolution the decoder multiplied it with.
#include <algorithm>
#include <cmath>

#include "encoder/RtcmEncoder.h"

namespace zerlan {
namespace {

constexpr double kPseudorangeRes = 0.02;
constexpr double kPhaseRes = 0.0005;
constexpr double kGpsAmbiguity = 299792.458;
constexpr double kGloAmbiguity = 599584.916;
constexpr double kCnrRes = 0.25;
constexpr double kArpRes = 0.0001;
constexpr int kGloOffset = 40;
constexpr int kGpsWeekRollover = 1024;

double P2(int e) { return std::ldexp(1.0, e); }

// A descriptor: 8-bit count, then 8 bits per character.
void PutCounted(std::string& bits, const std::string& text) {
    const std::string t = text.substr(0, 255);
    PutField(bits, 8, static_cast<double>(t.size()));
    for (unsigned char c : t) PutField(bits, 8, c);
}

}  // namespace

void RtcmEncoder::NewEpoch() {
    // A second epoch line means the text between two frames was lost: the
    // frame so far is written and the new epoch starts a message of its own.
    if (lines_++ == 0) return;
    FinishRtcm3();
    bits_.clear();
    count_pos_ = -1;
    blocks_ = 0;
    lines_ = 1;
    content_ = false;
    PutField(bits_, 12, number_);
    if (number_ < 1014) PutField(bits_, 12, station_);
}

int RtcmEncoder::AddBlock(const std::string& bits) {
    if (static_cast<int>(bits_.size() + bits.size()) > kMaxPayloadBits) return 1;
    bits_ += bits;
    content_ = true;
    return 0;
}

int RtcmEncoder::Rtcm3Line(const LineWords& w) {
    switch (number_) {
        case 1001: case 1002: case 1003: case 1004:
        case 1009: case 1010: case 1011: case 1012: return Observations(w);
        case 1005: case 1006: StationArp(w); return 0;
        case 1007: case 1008: AntennaDescriptor(w); return 0;
        case 1013: return SystemParameters(w);
        case 1014: NetworkAuxDelta(w); return 0;
        case 1015: case 1016: case 1017:
        case 1037: case 1038: case 1039: return NetworkCorrections(w);
        case 1019: return GpsEphemeris(w);
        case 1020: return GloEphemeris(w);
        case 1029: TextMessage(w); return 0;
        case 1030: case 1031: return Residuals(w);
        case 1032: StationArpPhysical(w); return 0;
        case 1033: ReceiverDescriptor(w); return 0;
        case 1034: case 1035: return Fkp(w);
        default: return 0;
    }
}

int RtcmEncoder::Observations(const LineWords& w) {
    const bool glo = number_ >= 1009;
    const int kind = number_ - (glo ? 1009 : 1001);  // 0..3 as 1001..1004
    std::string b;
    if (w[1] == (glo ? "EpT" : "ToW")) {
        NewEpoch();
        PutField(bits_, glo ? 27 : 30, w.NumAt(2) * 1000.0);
        PutField(bits_, 1, w.Num("SyncGnssMF"));
        CountField(5);
        PutField(bits_, 1, w.Num(glo ? "GloDivFrSmInd" : "GpsDivFrSmInd"));
        PutField(bits_, 3, w.Num(glo ? "GloSmInt" : "GpsSmInt"));
        content_ = true;
        return 0;
    }
    if (w[1] != "SV" || lines_ == 0) return 0;
    PutField(b, 6, w.NumAt(2) - (glo ? kGloOffset : 0));
    PutField(b, 1, w.Num("CI-L1"));
    if (glo) PutField(b, 5, w.Num("GloFqzCh"));
    PutField(b, glo ? 25 : 24, w.Num("PR-L1") / kPseudorangeRes);
    PutField(b, 20, w.Num("PhR-PR-L1-L1") / kPhaseRes);
    PutField(b, 7, w.Num("LTI-L1"));
    if (kind == 1 || kind == 3) {
        PutField(b, glo ? 7 : 8, w.Num("PRModAmbiL1") / (glo ? kGloAmbiguity : kGpsAmbiguity));
        PutField(b, 8, w.Num("CNRL1") / kCnrRes);
    }
    if (kind >= 2) {
        PutField(b, 2, w.Num("CI-L2"));
        PutField(b, 14, w.Num("PR-L2-L1") / kPseudorangeRes);
        PutField(b, 20, w.Num("PhR-PR-L2-L1") / kPhaseRes);
        PutField(b, 7, w.Num("LTI-L2"));
        if (kind == 3) PutField(b, 8, w.Num("CNRL2") / kCnrRes);
    }
    if (AddBlock(b) != 0) return 1;
    ++blocks_;
    return 0;
}

void RtcmEncoder::StationArp(const LineWords& w) {
    const bool full = number_ == 1006;
    PutField(bits_, 6, w.Num("ITRFRealYear"));
    PutField(bits_, 1, w.Num("GpsInd"));
    PutField(bits_, 1, w.Num("GloInd"));
    PutField(bits_, 1, w.Num("GalInd"));
    PutField(bits_, 1, full ? w.Num("RefStatInd") : 0.0);
    PutField(bits_, 38, w.Num("ARP_X") / kArpRes);
    PutField(bits_, 1, full ? w.Num("SingRecOscInd") : 0.0);
    PutField(bits_, 1, 0);
    PutField(bits_, 38, w.Num("ARP_Y") / kArpRes);
    PutField(bits_, 2, 0);
    PutField(bits_, 38, w.Num("ARP_Z") / kArpRes);
    if (full) PutField(bits_, 16, w.Num("AntH") / kArpRes);
    content_ = true;
}

void RtcmEncoder::AntennaDescriptor(const LineWords& w) {
    PutCounted(bits_, w.Quoted(0).substr(0, 31));
    PutField(bits_, 8, w.Num("SetupID"));
    if (number_ == 1008) PutCounted(bits_, w.Quoted(1).substr(0, 31));
    content_ = true;
}

int RtcmEncoder::SystemParameters(const LineWords& w) {
    std::string b;
    if (w[1] == "ModJulianDay") {
        PutField(bits_, 16, w.NumAt(2));
        PutField(bits_, 17, w.Num("SecOfDay"));
        CountField(5);
        PutField(bits_, 8, w.Num("LeapSeconds"));
        content_ = true;
        ++lines_;
        return 0;
    }
    if (w[1] != "MessageID" || lines_ == 0) return 0;
    PutField(b, 12, w.NumAt(2));
    PutField(b, 1, w.Num("SyncFlag"));
    PutField(b, 16, w.Num("TransmInterval") / 0.1);
    if (AddBlock(b) != 0) return 1;
    ++blocks_;
    return 0;
}

void RtcmEncoder::NetworkAuxDelta(const LineWords& w) {
    PutField(bits_, 8, w.Num("NetwId"));
    PutField(bits_, 4, w.Num("SubNetId"));
    PutField(bits_, 5, w.Num("NrOfAuxStaTra"));
    PutField(bits_, 12, w.Num("MastRefStatId"));
    PutField(bits_, 12, w.Num("AuxRefStatId"));
    PutField(bits_, 20, w.Num("AuxMastDLat") / 0.000025);
    PutField(bits_, 21, w.Num("AuxMastDLong") / 0.000025);
    PutField(bits_, 23, w.Num("AuxMastDHeigh") / 0.001);
    content_ = true;
}

int RtcmEncoder::NetworkCorrections(const LineWords& w) {
    const bool gps = number_ <= 1017;
    const int kind = number_ - (gps ? 1015 : 1037);  // 0 ionospheric, 1 geometric, 2 both
    if (w[1] == (gps ? "ToW" : "EpT")) {
        NewEpoch();
        PutField(bits_, 8, w.Num("NetId"));
        PutField(bits_, 4, w.Num("SubNetId"));
        PutField(bits_, gps ? 23 : 20, w.NumAt(2) / 0.1);
        PutField(bits_, 1, w.Num("MultMsgInd"));
        PutField(bits_, 12, w.Num("MastRefStatId"));
        PutField(bits_, 12, w.Num("AuxRefStatId"));
        CountField(4);
        content_ = true;
        return 0;
    }
    if (w[1] != "SV" || lines_ == 0) return 0;
    const char* sys = gps ? "Gps" : "Glo";
    auto label = [sys](const char* rest) { return std::string(sys) + rest; };
    std::string b;
    PutField(b, 6, w.NumAt(2) - (gps ? 0 : kGloOffset));
    PutField(b, 2, w.Num(label("AmbStatFlag")));
    PutField(b, 3, w.Num(label("NonSyncCount")));
    if (kind == 0) {
        PutField(b, 17, w.Num(label("IonCarrPhCorr")) / kPhaseRes);
    } else {
        PutField(b, 17, w.Num(label("GeomCarrPhCorr")) / kPhaseRes);
        PutField(b, 8, w.Num(gps ? "GpsIode" : "GloIod"));
        if (kind == 2) PutField(b, 17, w.Num(label("IonCarrPhCorr")) / kPhaseRes);
    }
    if (AddBlock(b) != 0) return 1;
    ++blocks_;
    return 0;
}

namespace {
// Each record line has its key in word 1; a record is built only when all were seen.
int LineBit(std::string_view key, std::initializer_list<const char*> keys) {
    int i = 0;
    for (const char* k : keys) {
        if (key == k) return 1 << i;
        ++i;
    }
    return 0;
}
}  // namespace

int RtcmEncoder::GpsEphemeris(const LineWords& w) {
    const int bit = LineBit(w[1], {"SV", "Toc", "Toe", "Eccentr", "Crc", "i0", "Tgd", "SvHealth"});
    if (bit == 0) return 0;
    if (bit == 1) {
        eph_.clear();
        eph_lines_ = 0;
    }
    eph_lines_ |= static_cast<unsigned>(bit);
    RememberValues(w, 1);
    if (bit != 1 << 7) return 0;
    if (eph_lines_ != 0xFFu) return 1;
    auto v = [this](const char* label) { return eph_[label]; };
    std::string b;
    PutField(b, 6, v("SV"));
    PutField(b, 10, static_cast<int>(std::lround(v("GpsWeek"))) % kGpsWeekRollover);
    PutField(b, 4, v("GpsSvAccuracy"));
    PutField(b, 2, v("GpsCodeOnL2"));
    PutField(b, 14, v("IDOT") / P2(-43));
    PutField(b, 8, v("IODE"));
    PutField(b, 16, v("Toc") / 16.0);
    PutField(b, 8, v("Af2") / P2(-55));
    PutField(b, 16, v("Af1") / P2(-43));
    PutField(b, 22, v("Af0") / P2(-31));
    PutField(b, 10, v("IODC"));
    PutField(b, 16, v("Crs") / P2(-5));
    PutField(b, 16, v("deltaN") / P2(-43));
    PutField(b, 32, v("m0") / P2(-31));
    PutField(b, 16, v("Cuc") / P2(-29));
    PutField(b, 32, v("Eccentr") / P2(-33));
    PutField(b, 16, v("Cus") / P2(-29));
    PutField(b, 32, v("sqrtA") / P2(-19));
    PutField(b, 16, v("Toe") / 16.0);
    PutField(b, 16, v("Cic") / P2(-29));
    PutField(b, 32, v("Omega") / P2(-31));
    PutField(b, 16, v("Cis") / P2(-29));
    PutField(b, 32, v("i0") / P2(-31));
    PutField(b, 16, v("Crc") / P2(-5));
    PutField(b, 32, v("omega") / P2(-31));
    PutField(b, 24, v("OmegaDot") / P2(-43));
    PutField(b, 8, v("Tgd") / P2(-31));
    PutField(b, 6, v("SvHealth"));
    PutField(b, 1, v("GpsL2PDataFlag"));
    PutField(b, 1, v("GpsFitInterval"));
    AddBlock(b);
    return 1;
}

int RtcmEncoder::GloEphemeris(const LineWords& w) {
    const int bit = LineBit(w[1], {"SV", "P1", "XnFD", "YnFD", "ZnFD", "P3", "TauTb", "P4", "Na"});
    if (bit == 0) return 0;
    if (bit == 1) {
        eph_.clear();
        eph_lines_ = 0;
    }
    eph_lines_ |= static_cast<unsigned>(bit);
    RememberValues(w, 1);
    if (bit != 1 << 8) return 0;
    if (eph_lines_ != 0x1FFu) return 1;
    auto v = [this](const std::string& label) { return eph_[label]; };
    std::string b;
    PutField(b, 6, v("SV") - kGloOffset);
    PutField(b, 5, v("GloFreqChannel"));
    PutField(b, 1, v("GloAlmHealth"));
    PutField(b, 1, v("GloAlmHealthAvInd"));
    PutField(b, 2, v("P1"));
    PutField(b, 5, v("TkHour"));
    PutField(b, 6, v("TkMin"));
    PutField(b, 1, v("Tk30SecInt"));
    PutField(b, 1, v("MSBOfBn"));
    PutField(b, 1, v("P2"));
    PutField(b, 7, v("Tb") / 15.0);
    for (const char* axis : {"X", "Y", "Z"}) {
        const std::string a(axis);
        PutSignMagnitude(b, 24, v(a + "nFD") / P2(-20));
        PutSignMagnitude(b, 27, v(a + "n") / P2(-11));
        PutSignMagnitude(b, 5, v(a + "nSD") / P2(-30));
    }
    PutField(b, 1, v("P3"));
    PutSignMagnitude(b, 11, v("GamNTb") / P2(-40));
    PutField(b, 2, v("MP"));
    PutField(b, 1, v("M1n3"));
    PutSignMagnitude(b, 22, v("TauTb") / P2(-30));
    PutSignMagnitude(b, 5, v("DeltaTauTb") / P2(-30));
    PutField(b, 5, v("En"));
    PutField(b, 1, v("P4"));
    PutField(b, 4, v("GloMFt"));
    PutField(b, 11, v("GloMNt"));
    PutField(b, 2, v("GloMM"));
    PutField(b, 1, v("GloAvOfAddData"));
    PutField(b, 11, v("Na"));
    PutSignMagnitude(b, 32, v("TauC") / P2(-31));
    PutField(b, 5, v("GloMN4"));
    PutSignMagnitude(b, 22, v("GloMTauGps") / P2(-30));
    PutField(b, 1, v("M1n5"));
    PutField(b, 7, 0);
    AddBlock(b);
    return 1;
}

void RtcmEncoder::TextMessage(const LineWords& w) {
    // The text itself may hold quotes: it runs to the line's last one.
    const std::string text = w.QuotedToLast().substr(0, 255);
    PutField(bits_, 12, station_);
    PutField(bits_, 16, w.Num("MDJ"));
    PutField(bits_, 17, w.Num("SecOfDay"));
    PutField(bits_, 7, w.Num("CountOfChar"));
    // Bytes the decoder stopped at (a closing NUL) come back as zeros.
    const size_t units = std::max(text.size(), static_cast<size_t>(std::clamp(w.Num("CountOfUtf8"), 0.0, 255.0)));
    PutField(bits_, 8, static_cast<double>(units));
    for (size_t i = 0; i < units; ++i) PutField(bits_, 8, i < text.size() ? static_cast<unsigned char>(text[i]) : 0);
    content_ = true;
}

int RtcmEncoder::Residuals(const LineWords& w) {
    const bool gps = number_ == 1030;
    if (w[1] == (gps ? "ToW" : "EpT")) {
        NewEpoch();
        // The epoch comes before the station here.
        PutField(bits_, gps ? 20 : 17, w.NumAt(2));
        PutField(bits_, 12, station_);
        PutField(bits_, 7, w.Num("NrRefs"));
        CountField(5);
        content_ = true;
        return 0;
    }
    if (w[1] != "SV" || lines_ == 0) return 0;
    std::string b;
    PutField(b, 6, w.NumAt(2) - (gps ? 0 : kGloOffset));
    PutField(b, 8, w.Num("Soc") / 0.5);
    PutField(b, 9, w.Num("Sod") / 0.01);
    PutField(b, 6, w.Num("Soh") / 0.1);
    PutField(b, 10, w.Num("SIc") / 0.5);
    PutField(b, 10, w.Num("SId") / 0.01);
    if (AddBlock(b) != 0) return 1;
    ++blocks_;
    return 0;
}

void RtcmEncoder::StationArpPhysical(const LineWords& w) {
    PutField(bits_, 12, w.Num("NonPhysRefStat"));
    PutField(bits_, 12, w.Num("PhysRefStat"));
    PutField(bits_, 6, w.Num("ITRFEpochYear"));
    PutField(bits_, 38, w.Num("ArpECEF_X") / kArpRes);
    PutField(bits_, 38, w.Num("ArpECEF_Y") / kArpRes);
    PutField(bits_, 38, w.Num("ArpECEF_Z") / kArpRes);
    content_ = true;
}

void RtcmEncoder::ReceiverDescriptor(const LineWords& w) {
    static const char* const kKeys[5] = {"AntDescr", "SerialNr", "RecTypeDescr", "RecFirmwVers", "RecSerialNr"};
    // The five descriptors arrive in order, one per line; a partial set is not sent.
    if (lines_ >= 5 || w.Find(kKeys[lines_]) < 0) {
        lines_ = 5;  // out of order: nothing more is added, nothing is sent
        content_ = false;
        return;
    }
    if (lines_ == 0) PutField(bits_, 12, station_);
    PutCounted(bits_, w.Quoted(0));
    if (lines_ == 0) PutField(bits_, 8, w.Num("AntSetupID"));
    content_ = ++lines_ == 5;
}

int RtcmEncoder::Fkp(const LineWords& w) {
    const bool gps = number_ == 1034;
    if (w[1] == (gps ? "ToW" : "EpT")) {
        NewEpoch();
        PutField(bits_, 12, station_);
        PutField(bits_, gps ? 20 : 17, w.NumAt(2));
        CountField(5);
        content_ = true;
        return 0;
    }
    if (w[1] != "SV" || lines_ == 0) return 0;
    std::string b;
    PutField(b, 6, w.NumAt(2) - (gps ? 0 : kGloOffset));
    PutField(b, 8, w.Num(gps ? "Iode" : "Iod"));
    PutField(b, 12, w.Num("N0") / 0.01);
    PutField(b, 12, w.Num("E0") / 0.01);
    PutField(b, 14, w.Num("NI") / 0.01);
    PutField(b, 14, w.Num("EI") / 0.01);
    if (AddBlock(b) != 0) return 1;
    ++blocks_;
    return 0;
}

}  // namespace zerlan
