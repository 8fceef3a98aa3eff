// The satellite watch as an operator meets it: counts in the log, "SW" records and marker files.
#include <fcntl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "decoder/Rtcm3FrameBuilder.h"
#include "support/ZerlanRun.h"

namespace zerlan {
namespace {

using namespace testing;
using Steady = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

double Since(Steady::time_point t) { return std::chrono::duration<double>(Steady::now() - t).count(); }
void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// One GPS epoch (1004) of the given satellites.
Bytes Epoch(int epoch, const std::vector<int>& gps) {
    CRtcm3FrameBuilder g;
    g.U(12, 1004).U(12, 2003).U(30, 302400000u + 100u * epoch).U(1, 1).U(5, gps.size()).U(1, 0).U(3, 0);
    for (int sat : gps) {
        g.U(6, sat).U(1, 0).U(24, 1000000 + sat).S(20, -3000).U(7, 127).U(8, 70).U(8, 176);
        g.U(2, 0).S(14, -120).S(20, 5200).U(7, 127).U(8, 150);
    }
    return g.Frame();
}

int Records(const std::string& title) { return Count(ReadFile("Protokol.dat"), "SW " + title + " : "); }

TEST(AvailabilityProgramThreads, AThinnedStreamIsTooFewAfterItsIntervalNotBefore) {
    TempDir dir;
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);  // zerlan must not hold the writing end
    const auto start = Steady::now();
    const pid_t pid = StartZerlan(
        {"/inout_sw,\"FILE;Null;Null;Null;Null;Null;Null;RTCM;500;1;-1;100;FALSE;FALSE;FALSE\"", "/file_in,\"STDIN\"",
         "/dec_out,\"FALSE;\\\\.\\pipe\\DecPipe;FALSE;DecFile.rcd,4096,FALSE,0,60,.\\,0896,k,none;FALSE;4004;1;TRUE;"
         "FALSE,0;FALSE\"",
         "/miz,\"50;InputDataNull;0;50;OutputDataNull;0\"", "/kfkp,\"0;NoGpsFkp;0;NoGloFkp\"",
         "/ksat,\"2;NoGpsSat;2;NoGloSat\"",
         "/wfkp,\"0;LowFkp;4;0;LowGloFkp;3\"", "/wsat,\"4;LowGpsSat;4;4;LowGloSat;3\"", "/ai,\"0;Save.dat\""},
        fds[0]);
    close(fds[0]);
    // Two GPS satellites and no GLONASS, an epoch every 100 ms until the shortage is recorded.
    std::atomic<bool> enough{false};
    std::thread feed([&] {
        for (int e = 0; e < 200 && !enough; ++e, Pause(100)) {
            const Bytes b = Epoch(e, {3, 7});
            if (write(fds[1], b.data(), b.size()) < 0) break;
        }
        close(fds[1]);
    });
    const bool recorded = WaitFor([] { return Records("LowGpsSat") > 0; }, 19000);
    const double first = Since(start);
    enough = true;
    feed.join();
    ASSERT_EQ(WaitForExit(pid, false, 20000), 0);
    // Interval 4 s on the 3 s check grid: the check after 6 s.
    EXPECT_TRUE(recorded);
    EXPECT_GE(first, 4.0);
    EXPECT_EQ(Records("LowGpsSat"), 1);
    EXPECT_TRUE(Has(ReadFile("Protokol.dat"), "SW LowGpsSat : too few Gps-Satellites (< 4), start_of_failure "));
    EXPECT_TRUE(Has(ReadFile("Protokol.dat"), "SW NoGloSat : no Glonass-Satellites, start_of_failure "));
    EXPECT_TRUE(access("LowGpsSat", F_OK) == 0 && access("NoGloSat", F_OK) == 0);
    EXPECT_EQ(Records("LowGloSat") + Records("NoGpsSat"), 0);  // none is not too few
    EXPECT_TRUE(Has(ReadFile("err.txt"), "Gps-Sat 2: 3 7"));
}

}  // namespace
}  // namespace zerlan
