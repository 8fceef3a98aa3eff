// Station and antenna messages: reference point (1005, 1006, 1032), antenna
// descriptors (1007, 1008) and receiver and antenna descriptors (1033).
#include "decoder/Rtcm3Fields.h"
#include "decoder/Rtcm3xDecoder.h"
#include "platform/Console.h"

namespace zerlan {

using namespace rtcm3;

void CRtcm3xDecoder::StationArp() {
    const bool with_height = msg_number_ == 1006;
    if (static_cast<int>(msg_length_) * 8 < (with_height ? 168 : 152)) return;
    const unsigned year = U(49, 54);
    const unsigned gps = U(55, 55), glo = U(56, 56), gal = U(57, 57);
    const unsigned ref_station = U(58, 58);
    const unsigned oscillator = U(97, 97);
    const double x = S(59, 96) * kArpRes;
    const double y = S(99, 136) * kArpRes;
    const double z = S(139, 176) * kArpRes;
    if (!with_height) {
        Line("MT1005 ITRFRealYear %i GpsInd %i GloInd %i GalInd %i ARP_X %.4lf ARP_Y %.4lf ARP_Z %.4lf%s", year, gps,
             glo, gal, x, y, z, "\r\n");
        return;
    }
    const double height = UD(177, 192) * kArpRes;  // DF028 is unsigned
    Line("MT1006 ITRFRealYear %i GpsInd %i GloInd %i GalInd %i RefStatInd %i SingRecOscInd %i ARP_X %.4lf ARP_Y "
         "%.4lf ARP_Z %.4lf AntH %.4lf%s",
         year, gps, glo, gal, ref_station, oscillator, x, y, z, height, "\r\n");
}

void CRtcm3xDecoder::AntennaDescriptor() {
    const int bits = static_cast<int>(msg_length_) * 8;
    const int n = static_cast<int>(U(49, 56));
    if (bits < 8 * n + 40) return;
    const std::string descriptor = Chars(57, n);
    const unsigned setup = U(57 + 8 * n, 64 + 8 * n);
    if (msg_number_ == 1007) {
        Line("MT1007 Descriptor \"%s\" SetupID %i%s", descriptor.c_str(), setup, "\r\n");
        return;
    }
    const int m = static_cast<int>(U(65 + 8 * n, 72 + 8 * n));
    if (bits < 8 * (n + m) + 48) return;
    const std::string serial = Chars(73 + 8 * n, m);
    Line("MT1008 Descriptor \"%s\" SetupID %i SerialNumber \"%s\"%s", descriptor.c_str(), setup, serial.c_str(),
         "\r\n");
}

void CRtcm3xDecoder::StationArpPhysical() {
    if (static_cast<int>(msg_length_) * 8 < 156) return;
    Line("MT1032 NonPhysRefStat %i PhysRefStat %i ITRFEpochYear %i ArpECEF_X %.4lf ArpECEF_Y %.4lf ArpECEF_Z %.4lf "
         "%s",
         U(37, 48), U(49, 60), U(61, 66), S(67, 104) * kArpRes, S(105, 142) * kArpRes, S(143, 180) * kArpRes,
         "\r\n");
}

void CRtcm3xDecoder::ReceiverDescriptor() {
    // Counted strings in turn; the antenna setup id sits after the first.
    struct Counted {
        int count = 0;
        std::string text;
    };
    Counted parts[5];
    unsigned setup = 0;
    int pos = 49;
    for (int i = 0; i < 5; ++i) {
        const int count = Fits(pos + 7) ? static_cast<int>(U(pos, pos + 7)) : -1;
        const int text_end = pos + 8 + 8 * count;  // first position after the text
        if (count < 0 || !Fits(text_end - 1)) {
            if (i == 4) {
                char text[100];
                std::snprintf(text, sizeof text, "Ausstieg bei RecSerNr ss = %i DL = %i ", text_end, msg_bits_);
                MessageBox(text, "Rtcm3Decoder-Debug");
            }
            return;
        }
        parts[i].count = count;
        parts[i].text = Chars(pos + 8, count);
        pos = text_end;
        if (i == 0) {
            if (!Fits(pos + 7)) return;
            setup = U(pos, pos + 7);
            pos += 8;
        }
    }
    Line("MT1033 CountChar %02i AntSetupID %i AntDescr \"%s\" %s", parts[0].count, setup, parts[0].text.c_str(),
         "\r\n");
    Line("MT1033 CountChar %02i SerialNr \"%s\" %s", parts[1].count, parts[1].text.c_str(), "\r\n");
    Line("MT1033 CountChar %02i RecTypeDescr \"%s\" %s", parts[2].count, parts[2].text.c_str(), "\r\n");
    Line("MT1033 CountChar %02i RecFirmwVers \"%s\" %s", parts[3].count, parts[3].text.c_str(), "\r\n");
    Line("MT1033 CountChar %02i RecSerialNr  \"%s\" %s", parts[4].count, parts[4].text.c_str(), "\r\n");
}

}  // namespace zerlan
