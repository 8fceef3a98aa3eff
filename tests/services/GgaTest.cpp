#include <gtest/gtest.h>

#include <cstdio>

#include "core/SharedState.h"
#include "jobs/StreamThreads.h"
#include "platform/Sleep.h"
#include "services/GgaGenerator.h"
#include "support/StateFixture.h"
#include "support/WaitFor.h"

namespace zerlan {
namespace {

using testing::WaitFor;

class GgaGeneratorTest : public testing::StateFixture {
protected:
    Settings With(const std::string& nmea) {
        Settings s;
        s.SetRaw(Key::kNmea, nmea);
        return s;
    }
};

TEST_F(GgaGeneratorTest, FixedCoordinates) {
    struct Case {
        const char *name, *nmea, *sentence_start;
        int result;
    } cases[] = {
        {"known sentence", "TRUE;FALSE;52;29;21.524334;13;18;43.791411;x;0;0",
         "$GPGGA,123456,5229.3587389,N,01318.7298569,E,1,5,3.00,64.052,M,0.000,M,,0000*44\r\n", 0},
        {"negative degrees are south and west", "TRUE;FALSE;-33;52;0;-70;30;0;x;0;0",
         "$GPGGA,123456,3352.0000000,S,07030.0000000,W,", 0},
        {"minutes that round up carry into the degrees", "TRUE;FALSE;10;59;59.9999999999;20;0;0;x;0;0",
         "$GPGGA,123456,1100.0000000,N,", 0},
        {"out of range", "TRUE;FALSE;95;0;0;13;0;0;x;0;0", "$GPGGA,123456,,N,,E,1,5,3.00,64.052,M,0.000,M,,0000*", 1},
        {"west beyond 180", "TRUE;FALSE;-10;0;0;-180;0;0;x;0;0", "$GPGGA,123456,,N,,E,", 1},
    };
    clock_.Set(LocalTime{2025, 2, 3, 12, 34, 56, 0, 1});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GgaGenerator gga(shared_);
        EXPECT_EQ(gga.Build(With(c.nmea)), c.result);
        const std::string& s = gga.Sentence();
        EXPECT_EQ(s.rfind(c.sentence_start, 0), 0u) << s;
        char hex[3];  // the checksum of the text before '*'
        std::snprintf(hex, sizeof hex, "%02X", GgaGenerator::Checksum(s));
        EXPECT_EQ(s.substr(s.find('*') + 1), std::string(hex) + "\r\n");
    }
    EXPECT_EQ(shared_.DisplayText(), "failure Coordinates !!");
}

TEST_F(GgaGeneratorTest, AFileOrAClientGivesTheSentenceOnlyWhenItIsWhole) {
    const char* kFile = "TRUE;TRUE;0;0;0;0;0;0;.\\pool.dat;0;0";
    const char* kEmpty = "$GPGGA,,,N,,E,,,,,,,,,*\r\n";
    struct Case {
        const char *name, *nmea, *file, *sentence;  // file nullptr: none
    } cases[] = {
        {"the file's last sentence", kFile,
         "noise\r\nold $GPGGA,x*00\r\n2025 $GPGGA,1,2,3*4A tail\r\n\r\nno dollar\r\n", "$GPGGA,1,2,3*4A\r\n"},
        {"a wrong checksum", kFile, "$GPGGA,1,2,3*00\r\n", kEmpty},
        {"no sentence", kFile, "no sentence here\r\n", kEmpty},
        {"no checksum", kFile, "$GPGGA,1,2,3\r\n", kEmpty},
        {"no file", kFile, nullptr, "$GPGGA,,,,,,,,,,M,,M,,*\r\n"},
        {"the first client is slot 2", "TRUE;DEVICE;0;0;0;0;0;0;x;0;1", nullptr, "$GPGGA,slot2\r\n"},
        {"the second client is slot 1", "TRUE;DEVICE;0;0;0;0;0;0;x;0;2", nullptr, "$GPGGA,slot1\r\n"},
        {"no such client", "TRUE;DEVICE;0;0;0;0;0;0;x;0;7", nullptr, ""},
    };
    shared_.sat_fkp_store.SetGgaText("$GPGGA,slot2\r\n", 2);
    shared_.sat_fkp_store.SetGgaText("$GPGGA,slot1\r\n", 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove("pool.dat");
        if (c.file) testing::WriteFile("pool.dat", c.file);
        GgaGenerator gga(shared_);
        gga.Build(With(c.nmea));
        EXPECT_EQ(gga.Sentence(), c.sentence);
    }
}

std::string StoredGga(SharedState& state, int slot) {
    std::string text;
    state.sat_fkp_store.GetGgaText(text, slot);
    return text;
}

void WriteSlot(SharedState& state, const std::string& bytes, int slot) {
    while (state.position_pool.WriteSlot(bytes.data(), static_cast<int>(bytes.size()), slot) < 0) Sleep(1);
}

TEST(NmeaCreatorThreads, EachClientsSentenceIsKeptInItsOwnSlot) {
    SharedState state;
    state.registry.SetState(1, 0);
    state.position_pool.Reset(2);
    const int a = state.position_pool.AddEnabledReader(), b = state.position_pool.AddEnabledReader();
    ASSERT_GE(b, 0);
    ASSERT_TRUE(StartNmeaCreator(state));

    const std::string gga_a = "$GPGGA,1,2,3,4,5,6,7,8,9,10,11,12,13,*11\r\n";
    const std::string gga_b = "$GPGGA,b,2,3,4,5,6,7,8,9,10,11,12,13,*22\r\n";
    WriteSlot(state, gga_a.substr(0, 10), a);
    WriteSlot(state, gga_b.substr(0, 17), b);
    Sleep(30);
    WriteSlot(state, gga_a.substr(10), a);
    WriteSlot(state, gga_b.substr(17), b);
    EXPECT_TRUE(WaitFor([&] { return StoredGga(state, a) == gga_a && StoredGga(state, b) == gga_b; }, 3000))
        << StoredGga(state, a) << "|" << StoredGga(state, b);
    // Another line of client b keeps b's sentence, never a's.
    WriteSlot(state, "hello\r\n", b);
    std::string board;
    const std::string shown = "K" + std::to_string(b) + " ";
    EXPECT_TRUE(WaitFor([&] { state.status_board.GetText(board, 10); return board.starts_with(shown); }, 3000));
    EXPECT_EQ(StoredGga(state, b), gga_b);

    state.registry.SetState(0, 1);
    EXPECT_TRUE(WaitFor([&] { return state.registry.Query(1) == 0; }, 3000));
}

}  // namespace
}  // namespace zerlan
