// The NMEA thread against a live PositionPool: each client slot's GGA lands in
// its own store slot, even when two clients' lines arrive in pieces.
#include <gtest/gtest.h>

#include <string>

#include "core/SharedState.h"
#include "jobs/StreamThreads.h"
#include "platform/Clock.h"
#include "platform/Sleep.h"
#include "support/WaitFor.h"

namespace zerlan {
namespace {

using testing::WaitFor;

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
    const int a = state.position_pool.AddEnabledReader();
    const int b = state.position_pool.AddEnabledReader();
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
    EXPECT_TRUE(WaitFor(
        [&] {
            std::string board;
            state.status_board.GetText(board, 10);
            return board.rfind("K" + std::to_string(b) + " ", 0) == 0;
        },
        3000));
    EXPECT_EQ(StoredGga(state, b), gga_b);

    state.registry.SetState(0, 1);
    EXPECT_TRUE(WaitFor([&] { return state.registry.Query(1) == 0; }, 3000));
}

}  // namespace
}  // namespace zerlan
