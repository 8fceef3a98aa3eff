// rtcm2gen: writes a synthetic RTCM 2.3 stream (6-of-8 bytes) for examples
// and manual runs: per epoch the types 1, 9, 18, 19 and 59, the station types
// 3 and 22 every tenth epoch. All values are made up but plausible.
//
// usage: rtcm2gen FILE [EPOCHS]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "decoder/Rtcm2Builder.h"

using zerlan::Rtcm2Bits;
using zerlan::Rtcm2Builder;
using zerlan::Rtcm2Header;

namespace {

constexpr int kStation = 100;
constexpr int kSatellites[] = {2, 5, 12, 15, 24, 29};
constexpr double kL1Wavelength = 0.19029367;  // m

double Range(int sv, int epoch) { return 20000000.0 + sv * 123456.789 + epoch * (sv % 2 ? 150.0 : -90.0); }

std::string Corrections(int epoch, int first, int count) {
    Rtcm2Bits b;
    for (int i = first; i < first + count; ++i) {
        const int sv = kSatellites[i];
        const int prc = static_cast<int>(std::lround((sv * 1.7 - 20.0 + epoch * 0.01) / 0.02));
        b.U(0, 1).U(i % 4, 2).U(sv % 32, 5).S(prc, 16).S(sv - 15, 8).U((epoch + sv) % 256, 8);
    }
    return b.Bits();
}

std::string Coordinates() {
    // 3980000.12, 700000.34, 4950000.56 m in centimetres.
    Rtcm2Bits b;
    b.S(398000012, 32).S(70000034, 32).S(495000056, 32);
    return b.Bits();
}

std::string Extended() {
    Rtcm2Bits b;
    b.S(3, 8).S(-2, 8).S(1, 8);
    b.U(0, 2).U(0, 1).U(0, 1).U(0, 1).U(0, 1).U(25600, 18);  // height 100.99609375 cm
    b.S(4, 8).S(-4, 8).S(2, 8);
    return b.Bits();
}

std::string Raw(int type, int epoch) {
    Rtcm2Bits b;
    b.U(0, 2).U(type == 19 ? 1 : 0, 2).U(0, 20);
    for (int i = 0; i < 6; ++i) {
        const int sv = kSatellites[i];
        const bool last = i == 5;
        b.U(last ? 0 : 1, 1).U(0, 1).U(0, 1).U(sv % 32, 5);
        if (type == 18) {
            const double cycles = std::fmod(Range(sv, epoch) / kL1Wavelength, 8000000.0);
            b.U(1, 3).U(epoch % 32, 5).S(std::llround(cycles * 256.0), 32);
        } else {
            b.U(2, 4).U(3, 4).U(std::llround(Range(sv, epoch) / 0.02), 32);
        }
    }
    return b.Bits();
}

std::string Fkp(int epoch) {
    Rtcm2Bits b;
    std::string mask(32, '0');
    for (int sv : kSatellites) mask[32 - sv] = '1';
    b.Chars("AdV").U(5, 5).U(0, 1).U(1, 2).Raw(mask);
    for (int sv : kSatellites) {
        b.U((epoch + sv) % 256, 8).U(0, 4).U(0, 1).U(0, 1);
        b.S(sv - 10, 10).S(15 - sv, 11).S(sv % 7 - 3, 10).S(sv % 5 - 2, 11);
    }
    return b.Bits();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [EPOCHS]\n", argv[0]);
        return 2;
    }
    const int epochs = argc > 2 ? std::atoi(argv[2]) : 20;
    Rtcm2Builder builder;
    std::string bits;
    for (int e = 0; e < epochs; ++e) {
        const int z = (e * 5) % 6000;  // one epoch every 3 s
        if (e % 10 == 0) {
            bits += builder.Frame({3, kStation, z, e % 8, 0}, Coordinates());
            bits += builder.Frame({22, kStation, z, e % 8, 0}, Extended());
        }
        bits += builder.Frame({1, kStation, z, e % 8, 0}, Corrections(e, 0, 6));
        bits += builder.Frame({18, kStation, z, e % 8, 0}, Raw(18, e));
        bits += builder.Frame({19, kStation, z, e % 8, 0}, Raw(19, e));
        bits += builder.Frame({9, kStation, z + 1, e % 8, 0}, Corrections(e, 3, 3));
        bits += builder.Frame({59, kStation, z + 1, e % 8, 0}, Fkp(e));
    }
    // A receiver keeps sending; one more byte lets a decoder finish the last frame.
    bits += builder.Frame({6, kStation, (epochs * 5) % 6000, 0, 0}, "101010101010101010101010");
    const std::string bytes = zerlan::ToBytes6(bits) + '\x40';

    FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return (std::fclose(out) == 0 && ok) ? 0 : 1;
}
