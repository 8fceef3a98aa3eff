// Decoding, encoding and decoding again over the project's example streams
// and, where they are present, the real captures beside the project: the
// text must come back for every built type, the frames of the RTCM 3 types
// whose fields the text carries byte for byte, and gpsd must read the
// re-encoded RTCM 2 with the values it reads in the original.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <set>

#include "EncoderTestSupport.h"
#include "decoder/BitString.h"
#include "support/TempDir.h"

namespace zerlan {
namespace {

namespace fs = std::filesystem;
using testing::Bits;
using testing::Comparable;
using testing::DecodeText;
using testing::Encode;
using testing::Lines;

std::vector<std::string> Streams(const char* folder) {
    std::vector<std::string> out;
    const fs::path dir = fs::path(ZERLAN_SOURCE_DIR) / ".." / "shared" / "data" / folder;
    if (!fs::is_directory(dir)) return out;
    for (const auto& entry : fs::directory_iterator(dir)) out.push_back(entry.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

std::string Example(const char* name) { return std::string(ZERLAN_SOURCE_DIR) + "/examples/" + name; }

bool Built(int type) {
    static const std::set<int> kTypes = {1,    2,    3,    4,    9,    14,   16,   17,   18,   19,   20,   21,
                                         22,   23,   24,   31,   32,   37,   59,   1001, 1002, 1003, 1004, 1005,
                                         1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017,
                                         1019, 1020, 1029, 1030, 1031, 1032, 1033, 1034, 1035, 1037, 1038, 1039};
    return kTypes.count(type) != 0;
}

struct Frame {
    int type = 0;
    std::vector<std::string> lines;  // header first
    // Observation frames whose epoch line counts satellites the decoder
    // does not print (SBAS, numbers outside 1..32).
    bool MissesSatellites() const {
        if (lines.size() < 2 || (lines[1].find(" NGpsSvSiProc ") == std::string::npos &&
                                 lines[1].find(" NGloSvSiProc ") == std::string::npos))
            return false;
        const std::string& e = lines[1];
        const size_t at = e.find("SvSiProc ") + 9;
        return std::atoi(e.c_str() + at) != static_cast<int>(lines.size()) - 2;
    }
};

std::vector<Frame> Frames(const std::string& comparable) {
    std::vector<Frame> out;
    for (const std::string& line : Lines(comparable)) {
        if (line.rfind("MT", 0) == 0 && line.find(" Status ") != std::string::npos) {
            out.push_back({std::atoi(line.c_str() + 2), {line}});
        } else if (line.rfind("MT", 0) == 0 && !out.empty()) {
            out.back().lines.push_back(line);
        }
    }
    return out;
}

// The header of 1019 and 1020 repeats the station of an earlier message.
std::string WithoutBorrowedStation(const std::string& header) {
    if (header.rfind("MT1019 ", 0) != 0 && header.rfind("MT1020 ", 0) != 0) return header;
    return header.substr(0, 7) + header.substr(header.find(" Status "));
}

// The text of the built types must come back; returns the frames compared.
int ExpectSameText(const std::string& name, const std::string& first, const std::string& second) {
    std::vector<Frame> expected;
    for (Frame& f : Frames(Comparable(first)))
        if (Built(f.type) && f.lines.size() > 1) expected.push_back(std::move(f));
    std::vector<Frame> got = Frames(Comparable(second));
    EXPECT_EQ(got.size(), expected.size()) << name;
    int compared = 0;
    for (size_t i = 0; i < std::min(got.size(), expected.size()); ++i) {
        if (got[i].type != expected[i].type) {
            ADD_FAILURE() << name << " frame " << i << ": " << got[i].lines[0] << " for " << expected[i].lines[0];
            break;
        }
        if (expected[i].MissesSatellites()) continue;
        got[i].lines[0] = WithoutBorrowedStation(got[i].lines[0]);
        expected[i].lines[0] = WithoutBorrowedStation(expected[i].lines[0]);
        EXPECT_EQ(got[i].lines, expected[i].lines) << name << " frame " << i;
        ++compared;
    }
    return compared;
}

struct Rtcm3Frame {
    int type;
    std::string bits;  // message bits, without header and CRC
};

std::vector<Rtcm3Frame> Rtcm3Frames(const std::string& bytes) {
    std::vector<Rtcm3Frame> out;
    const auto* d = reinterpret_cast<const uint8_t*>(bytes.data());
    size_t i = 0;
    while (i + 6 <= bytes.size()) {
        const size_t length = ((d[i + 1] & 3u) << 8) | d[i + 2];
        if (d[i] == 0xD3 && (d[i + 1] & 0xFC) == 0 && length >= 2 && i + length + 6 <= bytes.size() &&
            Crc24Bytes(d + i, length + 3) ==
                ((uint32_t{d[i + length + 3]} << 16) | (uint32_t{d[i + length + 4]} << 8) | d[i + length + 5])) {
            const std::string bits = Bits(bytes.substr(i + 3, length));
            out.push_back({static_cast<int>(BitsToUInt(bits.substr(0, 12))), bits});
            i += length + 6;
        } else {
            ++i;
        }
    }
    return out;
}

// A message as far as its text carries it: the satellites the decoder
// prints (and their count), 1005 without its reference-station and
// oscillator flags, 1005 and 1006 without the quarter-cycle bits.
std::string Carried(const Rtcm3Frame& f) {
    std::string bits = f.bits;
    if (f.type == 1004 || f.type == 1012) {
        const bool glo = f.type == 1012;
        const size_t header = glo ? 61 : 64, width = glo ? 130 : 125, count_at = glo ? 52 : 55;
        const size_t count = BitsToUInt(bits.substr(count_at, 5));
        std::string kept = bits.substr(0, header);
        size_t n = 0;
        for (size_t k = 0; k < count && header + (k + 1) * width <= bits.size(); ++k) {
            const unsigned id = BitsToUInt(bits.substr(header + k * width, 6));
            if (id < 1 || id > 32) continue;
            kept += bits.substr(header + k * width, width);
            ++n;
        }
        for (int b = 4; b >= 0; --b) kept[count_at + 4 - b] = ((n >> b) & 1) != 0 ? '1' : '0';
        kept.resize((kept.size() + 7) / 8 * 8, '0');
        return kept;
    }
    if (f.type == 1005) bits[33] = bits[72] = '0';
    if ((f.type == 1005 || f.type == 1006) && bits.size() > 114) bits[112] = bits[113] = '0';
    return bits;
}

// Every re-encoded frame of these types matches, in order, an original frame
// as far as the text carries it; the decoder may have missed originals.
void ExpectSameFrames(const std::string& name, const std::string& original, const std::string& encoded) {
    const std::set<int> types = {1004, 1012, 1005, 1006, 1033, 1019, 1020, 1008, 1014, 1015};
    const std::vector<Rtcm3Frame> in = Rtcm3Frames(original);
    size_t at = 0;
    for (const Rtcm3Frame& f : Rtcm3Frames(encoded)) {
        if (types.count(f.type) == 0) continue;
        size_t k = at;
        while (k < in.size() && !(in[k].type == f.type && Carried(in[k]) == Carried(f))) ++k;
        if (k == in.size()) {
            ADD_FAILURE() << name << ": no original frame for a re-encoded " << f.type;
            continue;
        }
        // Types whose text carries every field come back byte for byte.
        if (f.type != 1004 && f.type != 1012 && f.type != 1005 && f.type != 1006) {
            EXPECT_EQ(in[k].bits, f.bits) << name;
        }
        at = k + 1;
    }
}

TEST(RtcmRoundTrip, ExampleStreamsComeBackAsTextAndFrames) {
    const std::string rtcm3 = testing::ReadFile(Example("example.rtcm3"));
    const std::string text3 = DecodeText(rtcm3);
    const std::string encoded3 = Encode(text3);
    EXPECT_EQ(ExpectSameText("example.rtcm3", text3, DecodeText(encoded3)), 37);
    // Every frame of the example is rebuilt byte for byte.
    EXPECT_EQ(encoded3, rtcm3);
    const std::string text2 = DecodeText(testing::ReadFile(Example("example.rtcm2")));
    EXPECT_GT(ExpectSameText("example.rtcm2", text2, DecodeText(Encode(text2))), 50);
}

// One test per capture beside the project (none in a fresh clone). The
// decoder takes its time: a capture is taken up to its first 24000 bytes.
class RtcmRoundTripCapture : public ::testing::TestWithParam<std::string> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RtcmRoundTripCapture);

TEST_P(RtcmRoundTripCapture, ComesBackAsTextAndFrames) {
    const std::string original = testing::ReadFile(GetParam()).substr(0, 24000);
    const bool rtcm3 = GetParam().find("/rtcm3/") != std::string::npos;
    const std::string first = DecodeText(original, rtcm3 ? 2 : 1);
    const std::string encoded = Encode(first);
    ExpectSameText(GetParam(), first, DecodeText(encoded));
    if (rtcm3) ExpectSameFrames(GetParam(), original, encoded);
}

std::vector<std::string> Captures() {
    std::vector<std::string> all = Streams("rtcm3");
    for (const std::string& path : Streams("rtcm2")) all.push_back(path);
    return all;
}

INSTANTIATE_TEST_SUITE_P(Shared, RtcmRoundTripCapture, ::testing::ValuesIn(Captures()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = fs::path(info.param).filename().string();
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return std::to_string(info.index) + "_" + name;
                         });

// gpsd's own reading of a stream: one JSON line per message, without the
// sequence number (the encoder numbers its messages itself) and with the
// satellites sorted (the decoder prints them by number).
std::multiset<std::string> Gpsdecode(const std::string& path) {
    std::multiset<std::string> out;
    std::FILE* p = popen(("gpsdecode < '" + path + "' 2>/dev/null").c_str(), "r");
    if (p == nullptr) return out;
    std::string text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) text.append(buffer, n);
    pclose(p);
    for (std::string line : Lines(text)) {
        const size_t seq = line.find("\"seqnum\":");
        if (seq != std::string::npos) line.erase(seq, line.find(',', seq) + 1 - seq);
        const size_t sats = line.find("\"satellites\":[{");
        if (sats != std::string::npos) {
            const size_t from = sats + 15, length = line.rfind("}]") - from;
            const std::string rest = line.substr(from, length);
            std::vector<std::string> items;
            for (size_t at = 0, next = 0; next != std::string::npos; at = next + 3) {
                next = rest.find("},{", at);
                items.push_back(rest.substr(at, next - at));
            }
            std::sort(items.begin(), items.end());
            std::string joined;
            for (const std::string& item : items) joined += (joined.empty() ? "" : "},{") + item;
            line.replace(from, length, joined);
        }
        out.insert(line);
    }
    return out;
}

TEST(RtcmRoundTrip, GpsdReadsTheReencodedRtcm2WithTheOriginalValues) {
    if (std::system("command -v gpsdecode >/dev/null 2>&1") != 0) GTEST_SKIP() << "gpsdecode is not installed";
    testing::TempDir dir;
    std::vector<std::string> streams = {Example("example.rtcm2")};
    for (const std::string& path : Streams("rtcm2"))
        if (path.find("gpsd-") != std::string::npos) streams.push_back(path);
    for (const std::string& path : streams) {
        const std::string original = testing::ReadFile(path);
        const std::string encoded = Encode(DecodeText(original, 1));
        testing::WriteFile("encoded.rtcm2", encoded);
        const std::multiset<std::string> want = Gpsdecode(path), got = Gpsdecode("encoded.rtcm2");
        const int messages = static_cast<int>(Frames(Comparable(DecodeText(encoded))).size());
        // gpsd finds its sync only after the first two messages behind the
        // zero prefix byte; it also passes over messages of the original.
        EXPECT_GE(static_cast<int>(got.size()), std::min(messages, static_cast<int>(want.size())) - 2) << path;
        for (const std::string& line : got) {
            // Types gpsd does not interpret come as raw words, parity included.
            if (line.find("\"data\":[") != std::string::npos) continue;
            EXPECT_GE(want.count(line), 1u) << path << "\n" << line;
        }
    }
}

}  // namespace
}  // namespace zerlan
