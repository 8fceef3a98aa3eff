// rtcm3gen: writes a small RTCM 3 stream built from chosen values, for the
// bundled example stream and for trying the decoder without a caster.
//   rtcm3gen FILE [EPOCHS]
// Each epoch (one second) carries 1004 and 1012 for a few satellites; the
// first also carries 1005, 1006, 1008, 1033, 1019, 1020 and the network
// messages 1014 and 1015. All values are invented but plausible.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "decoder/Rtcm3FrameBuilder.h"

using zerlan::CRtcm3FrameBuilder;

namespace {

constexpr int kStation = 2003;
constexpr int kMaster = 2003, kAux = 2004;

CRtcm3FrameBuilder Start(int number, int station = kStation) {
    CRtcm3FrameBuilder b;
    b.U(12, number).U(12, station);
    return b;
}

// GPS L1/L2 observations of five satellites (DF011 in 0.02 m, DF012 0.0005 m).
CRtcm3FrameBuilder Gps1004(uint32_t tow_ms, int epoch) {
    static const int kSats[5] = {3, 7, 12, 19, 28};
    CRtcm3FrameBuilder b = Start(1004);
    b.U(30, tow_ms).U(1, 1).U(5, 5).U(1, 0).U(3, 0);
    for (int i = 0; i < 5; ++i) {
        const int64_t drift = epoch * (40 + 13 * i);
        b.U(6, kSats[i]).U(1, 0).U(24, 1000000 + 250000 * i + drift).S(20, -3000 + 700 * i + drift).U(7, 127);
        b.U(8, 70 + i).U(8, 176 + 4 * i);
        b.U(2, 0).S(14, -120 + 30 * i).S(20, 5200 - 900 * i + drift).U(7, 127).U(8, 150 + 6 * i);
    }
    return b;
}

// GLONASS observations of three satellites.
CRtcm3FrameBuilder Glo1012(uint32_t epoch_ms, int epoch) {
    static const int kSlots[3] = {2, 9, 17};
    static const int kChannels[3] = {4, 9, 11};  // channel number + 7
    CRtcm3FrameBuilder b = Start(1012);
    b.U(27, epoch_ms).U(1, 0).U(5, 3).U(1, 0).U(3, 0);
    for (int i = 0; i < 3; ++i) {
        const int64_t drift = epoch * (55 + 9 * i);
        b.U(6, kSlots[i]).U(1, 0).U(5, kChannels[i]).U(25, 1200000 + 300000 * i + drift).S(20, 1500 - 400 * i + drift);
        b.U(7, 127).U(7, 36 + i).U(8, 168 + 4 * i);
        b.U(2, 0).S(14, 80 - 25 * i).S(20, -2600 + 700 * i + drift).U(7, 127).U(8, 140 + 8 * i);
    }
    return b;
}

void Arp(CRtcm3FrameBuilder& b) {
    b.U(6, 0).U(1, 1).U(1, 1).U(1, 0).U(1, 0);
    b.S(38, 40755801234).U(1, 0).U(1, 0).S(38, 9318535678).U(2, 0).S(38, 48015682468);  // DF025-DF027, 0.1 mm
}

CRtcm3FrameBuilder Station1005() {
    CRtcm3FrameBuilder b = Start(1005);
    Arp(b);
    return b;
}

CRtcm3FrameBuilder Station1006() {
    CRtcm3FrameBuilder b = Start(1006);
    Arp(b);
    b.U(16, 15000);  // antenna height 1.5000 m
    return b;
}

CRtcm3FrameBuilder Antenna1008() {
    CRtcm3FrameBuilder b = Start(1008);
    b.U(8, 20).Text("TRM59800.00     NONE").U(8, 0).U(8, 8).Text("12345678");
    return b;
}

CRtcm3FrameBuilder Receiver1033() {
    CRtcm3FrameBuilder b = Start(1033);
    b.U(8, 20).Text("TRM59800.00     NONE").U(8, 0).U(8, 8).Text("12345678");
    b.U(8, 17).Text("ZERLAN EXAMPLE RX").U(8, 4).Text("1.08").U(8, 6).Text("000042");
    return b;
}

// Field integers in the units of their data fields (DF071-DF103), invented.
CRtcm3FrameBuilder Ephemeris1019() {
    CRtcm3FrameBuilder b;
    b.U(12, 1019);
    b.U(6, 12).U(10, 290).U(4, 2).U(2, 1).S(14, -250).U(8, 41).U(16, 18900).S(8, 0).S(16, -5).S(22, -204800);
    b.U(10, 41).S(16, 1200).S(16, 9000).S(32, -1100000000).S(16, 310).U(32, 85899346).S(16, -2100);
    b.U(32, 2701983744u).U(16, 18900).S(16, 12).S(32, 1500000000).S(16, -40).S(32, 640000000).S(16, -3000);
    b.S(32, -900000000).S(24, -20000).S(8, 6).U(6, 0).U(1, 0).U(1, 0);
    return b;
}

// GLONASS ephemeris (DF038-DF136), sign-magnitude fields as transmitted.
CRtcm3FrameBuilder Ephemeris1020() {
    CRtcm3FrameBuilder b;
    b.U(12, 1020);
    b.U(6, 17).U(5, 11).U(1, 0).U(1, 1).U(2, 1).U(5, 11).U(6, 42).U(1, 0).U(1, 0).U(1, 0).U(7, 47);
    b.M(24, -1500000).M(27, 30000000).M(5, 2);
    b.M(24, 2800000).M(27, -12000000).M(5, -1);
    b.M(24, 300000).M(27, 36000000).M(5, 0);
    b.U(1, 0).M(11, -3).U(2, 0).U(1, 0).M(22, -120000).M(5, -2).U(5, 1).U(1, 0).U(4, 2).U(11, 400);
    b.U(2, 1).U(1, 1).U(11, 400).M(32, 250).U(5, 7).M(22, 300).U(1, 0).U(7, 0);
    return b;
}

CRtcm3FrameBuilder Network1014() {
    CRtcm3FrameBuilder b;
    b.U(12, 1014).U(8, 5).U(4, 2).U(5, 1).U(12, kMaster).U(12, kAux);
    b.S(20, -4000).S(21, 12000).S(23, -2345);  // DF062-DF064: -0.1 deg, 0.3 deg, -2.345 m
    return b;
}

CRtcm3FrameBuilder Network1015(uint32_t tow_ms) {
    static const int kSats[5] = {3, 7, 12, 19, 28};
    CRtcm3FrameBuilder b;
    b.U(12, 1015).U(8, 5).U(4, 2).U(23, tow_ms / 100).U(1, 0).U(12, kMaster).U(12, kAux).U(4, 5);
    for (int i = 0; i < 5; ++i) b.U(6, kSats[i]).U(2, 1).U(3, 0).S(17, -600 + 250 * i);  // DF069, 0.5 mm
    return b;
}

bool Put(FILE* out, const CRtcm3FrameBuilder& b) {
    const std::vector<uint8_t> frame = b.Frame();
    return std::fwrite(frame.data(), 1, frame.size(), out) == frame.size();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: rtcm3gen FILE [EPOCHS]\n");
        return 2;
    }
    const int epochs = argc > 2 ? std::atoi(argv[2]) : 10;
    if (epochs < 1 || epochs > 86400) {
        std::fprintf(stderr, "rtcm3gen: EPOCHS must be 1..86400\n");
        return 2;
    }
    FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    bool ok = true;
    const uint32_t start_tow_ms = 302400000;  // Wednesday noon of a GPS week
    const uint32_t glo_offset_ms = 3 * 3600000 - 18000;  // Moscow time, minus the leap seconds
    for (int e = 0; e < epochs && ok; ++e) {
        const uint32_t tow = start_tow_ms + 1000u * e;
        const uint32_t glo = (tow + glo_offset_ms) % 86400000u;
        ok = Put(out, Gps1004(tow, e)) && Put(out, Glo1012(glo, e));
        if (e == 0) {
            ok = ok && Put(out, Station1005()) && Put(out, Station1006()) && Put(out, Antenna1008()) &&
                 Put(out, Receiver1033()) && Put(out, Ephemeris1019()) && Put(out, Ephemeris1020()) &&
                 Put(out, Network1014());
        }
        ok = ok && Put(out, Network1015(tow));
    }
    if (std::fclose(out) != 0) ok = false;
    if (!ok) {
        std::fprintf(stderr, "rtcm3gen: writing %s failed\n", argv[1]);
        return 1;
    }
    return 0;
}
