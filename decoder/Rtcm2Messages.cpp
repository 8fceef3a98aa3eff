#include "decoder/Rtcm2Messages.h"

#include <cstdarg>
#include <cstdio>

#include "decoder/BitString.h"
#include "decoder/TextFormat.h"

namespace zerlan {

std::string Rtcm2Fields::Cut(int offset, int bits) const {
    std::string out(bits > 0 ? bits : 0, '0');
    for (int i = 0; i < bits; ++i) {
        const int at = offset + i;
        if (at >= 0 && at < static_cast<int>(data_.size())) out[i] = data_[at];
    }
    return out;
}

uint32_t Rtcm2Fields::U(int offset, int bits) const { return BitsToUInt(Cut(offset, bits)); }
int32_t Rtcm2Fields::S(int offset, int bits) const { return BitsToInt(Cut(offset, bits)); }
double Rtcm2Fields::UD(int offset, int bits) const { return BitsToUDouble(Cut(offset, bits)); }
double Rtcm2Fields::SD(int offset, int bits) const { return BitsToDouble(Cut(offset, bits)); }
char Rtcm2Fields::C(int offset) const { return static_cast<char>(BitsToByte(Cut(offset, 8))); }

bool Rtcm2HasWriter(int type) {
    switch (type) {
        case 1: case 2: case 3: case 4: case 5: case 6: case 7: case 9: case 13: case 14: case 15:
        case 16: case 17: case 18: case 19: case 20: case 21: case 22: case 23: case 24: case 31:
        case 32: case 33: case 34: case 37: case 59:
            return true;
        default:
            return false;
    }
}

bool Rtcm2WordCountValid(int type, int n) {
    switch (type) {
        case 3: case 32: return n == 4;
        case 4: return n == 2 || n == 4;
        case 5: case 33: return n >= 1;
        case 14: return n == 1;
        case 13: case 37: return n == 2;
        case 22: return n >= 1 && n <= 3;
        case 24: return n == 5 || n == 6;
        case 17: return n == 20;
        case 1: case 2: case 9: case 15: case 31: return n >= 2;
        case 7: case 18: case 19: case 20: case 21: case 59: return n >= 3;
        default: return true;
    }
}

Rtcm2Lines Rtcm2MessageLines(const Rtcm2Frame& frame, int* glonass_flag) {
    int flag = 0;
    Rtcm2Lines lines;
    switch (frame.type) {
        case 31: case 34: flag = 1; [[fallthrough]];
        case 1: case 2: case 9: lines = Rtcm2CorrectionLines(frame); break;
        case 32: flag = 1; [[fallthrough]];
        case 3: case 4: case 22: case 24: lines = Rtcm2StationLines(frame); break;
        case 33: flag = 1; [[fallthrough]];
        case 5: lines = Rtcm2HealthLines(frame); break;
        case 7: case 13: case 14: case 15: case 16: case 23: case 37: lines = Rtcm2MiscLines(frame); break;
        case 17: lines = Rtcm2EphemerisLines(frame); break;
        case 18: case 19: case 20: case 21: lines = Rtcm2RtkLines(frame); break;
        case 59: lines = Rtcm2FkpLines(frame, &flag); break;
        default: break;  // 6: null frame, the header line alone
    }
    if (glonass_flag != nullptr) *glonass_flag = flag;
    return lines;
}

}  // namespace zerlan
