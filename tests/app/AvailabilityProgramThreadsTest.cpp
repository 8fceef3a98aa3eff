// The satellite watch as an operator meets it: zerlan decodes a stream,
// shows the satellite counts in its log and writes "SW" records and marker
// files when satellites go missing or too few remain.
#include <fcntl.h>
#include <poll.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "decoder/Rtcm3FrameBuilder.h"
#include "support/FakeCaster.h"
#include "support/ZerlanRun.h"

namespace zerlan {
namespace {

using namespace testing;
using Steady = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

double Since(Steady::time_point t) { return std::chrono::duration<double>(Steady::now() - t).count(); }
void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// One epoch: 1004 for the GPS satellites, 1012 for the GLONASS slots.
Bytes Epoch(int epoch, const std::vector<int>& gps, const std::vector<int>& glo) {
    CRtcm3FrameBuilder g;
    g.U(12, 1004).U(12, 2003).U(30, 302400000u + 100u * epoch).U(1, 1).U(5, gps.size()).U(1, 0).U(3, 0);
    for (int sat : gps) {
        g.U(6, sat).U(1, 0).U(24, 1000000 + sat).S(20, -3000).U(7, 127).U(8, 70).U(8, 176);
        g.U(2, 0).S(14, -120).S(20, 5200).U(7, 127).U(8, 150);
    }
    CRtcm3FrameBuilder r;
    r.U(12, 1012).U(12, 2003).U(27, 10800000u + 100u * epoch).U(1, 0).U(5, glo.size()).U(1, 0).U(3, 0);
    for (int slot : glo) {
        r.U(6, slot).U(1, 0).U(5, 7).U(25, 1200000 + slot).S(20, 1500).U(7, 127).U(7, 36).U(8, 168);
        r.U(2, 0).S(14, 80).S(20, -2600).U(7, 127).U(8, 140);
    }
    Bytes out = g.Frame();
    const Bytes more = r.Frame();
    out.insert(out.end(), more.begin(), more.end());
    return out;
}

const std::vector<int> kGps{3, 7, 12, 19, 28};
const std::vector<int> kGlo{2, 9, 17};

std::vector<std::string> WatchSettings(const std::string& input) {
    return {"/inout_sw,\"" + input + ";Null;Null;Null;Null;Null;Null;RTCM;500;1;-1;100;FALSE;FALSE;FALSE\"",
            "/dec_out,\"FALSE;\\\\.\\pipe\\DecPipe;FALSE;DecFile.rcd,4096,FALSE,0,60,.\\,0896,k,none;FALSE;4004;1;"
            "TRUE;FALSE,0;FALSE\"",
            "/miz,\"50;InputDataNull;0;50;OutputDataNull;0\"",
            "/kfkp,\"0;NoGpsFkp;0;NoGloFkp\"",
            "/ksat,\"2;NoGpsSat;2;NoGloSat\"",
            "/wfkp,\"0;LowFkp;4;0;LowGloFkp;3\"",
            "/wsat,\"4;LowGpsSat;4;4;LowGloSat;3\"",
            "/ai,\"0;Save.dat\""};
}

int Records(const std::string& title) { return Count(ReadFile("Protokol.dat"), "SW " + title + " : "); }

// Starts a file job on zerlan's standard input and feeds it `bytes` in
// chunks at a steady pace until the end or `stop`; then the input ends.
pid_t FeedStdinJob(const Bytes& bytes, size_t chunk, const std::atomic<bool>& stop) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;  // zerlan must not hold the writing end
    std::vector<std::string> args = WatchSettings("FILE");
    args.push_back("/file_in,\"STDIN\"");
    const pid_t pid = StartZerlan(args, fds[0]);
    close(fds[0]);
    for (size_t at = 0; at < bytes.size() && !stop; at += chunk) {
        if (write(fds[1], bytes.data() + at, std::min(bytes.size() - at, chunk)) < 0) break;
        Pause(100);
    }
    close(fds[1]);
    return pid;
}

TEST(AvailabilityProgramThreads, AReplayShowsTheSatelliteCountsAndNoShortage) {
    const std::string capture = std::string(ZERLAN_SOURCE_DIR) + "/../shared/data/rtcm3/testglo.rtcm3";
    const std::string data = ReadFile(capture);
    if (data.empty()) GTEST_SKIP() << "no " << capture;
    TempDir dir;
    // Fed over about 4 s, so that the watch checks while the data flows: a
    // gap of 2 s or a count below the minimum would be recorded.
    const std::atomic<bool> never{false};
    ASSERT_EQ(WaitForExit(FeedStdinJob(Bytes(data.begin(), data.end()), 1500, never), false, 20000), 0);

    const std::string log = ReadFile("err.txt");
    EXPECT_NE(log.find("Decoder-FkpWatch Thread !"), std::string::npos);
    // The capture's observation frames carry 9 or 10 GPS and 6 GLONASS satellites.
    auto most = [&log](const std::string& label) {
        int n = 0;
        for (size_t at = log.find(label); at != std::string::npos; at = log.find(label, at + 1))
            n = std::max(n, std::atoi(log.c_str() + at + label.size()));
        return n;
    };
    EXPECT_GE(most("Gps-Sat "), 9) << log;
    EXPECT_GE(most("Glo-Sat "), 6);
    EXPECT_EQ(ReadFile("Protokol.dat").find("SW "), std::string::npos);
}

TEST(AvailabilityProgramThreads, AStreamThatStopsIsReportedAfterItsTimeAgainAndNoMoreOnceItReturns) {
    TempDir dir;
    // Zerlan's TCP input drops a silent connection and connects again: the
    // source serves whichever connection is current.
    std::atomic<bool> sending{true};
    std::atomic<int> sent{0};
    FakeCaster source([&](FakeCaster& f, int fd, int) {
        for (int epoch = 0; !f.stopping(); Pause(100)) {
            if (sending) {
                const Bytes b = Epoch(epoch++, kGps, kGlo);
                if (send(fd, b.data(), b.size(), MSG_NOSIGNAL) < 0) return;
                ++sent;
            } else {
                pollfd p{fd, POLLIN, 0};
                char c;
                if (poll(&p, 1, 0) == 1 && recv(fd, &c, 1, 0) <= 0) return;
            }
        }
    });
    std::vector<std::string> args = WatchSettings("TCP");
    args.push_back("/tcp_in,\"127.0.0.1;" + source.port() + ";FALSE\"");
    const pid_t pid = StartZerlan(args);
    for (int i = 0; i < 500 && sent < 15; ++i) Pause(20);

    // Silence: nothing within the configured 2 s (the store keeps whole
    // seconds: not within 1 s), then a record per check, each with its marker.
    sending = false;
    const auto silence = Steady::now();
    double first = -1;
    while (Since(silence) < 15 && (Records("NoGpsSat") < 2 || Records("NoGloSat") < 2)) {
        if (first < 0 && Records("NoGpsSat") > 0) first = Since(silence);
        Pause(20);
    }
    EXPECT_GE(first, 1.0);
    EXPECT_GE(Records("NoGpsSat"), 2);
    EXPECT_GE(Records("NoGloSat"), 2);
    EXPECT_TRUE(access("NoGpsSat", F_OK) == 0 && access("NoGloSat", F_OK) == 0);
    EXPECT_NE(ReadFile("Protokol.dat").find("SW NoGpsSat : no Gps-Satellites, start_of_failure "),
              std::string::npos);

    // Data returns: once it is decoded, no further record for over a check.
    sending = true;
    const int before_sent = sent;
    Pause(1500);
    const int before = Records("NoGpsSat") + Records("NoGloSat");
    Pause(3500);
    EXPECT_GE(sent - before_sent, 40);
    EXPECT_EQ(Records("NoGpsSat") + Records("NoGloSat"), before);
    EXPECT_EQ(Records("LowGpsSat"), 0);
    EXPECT_EQ(WaitForExit(pid, true), 0);
}

TEST(AvailabilityProgramThreads, AThinnedStreamIsTooFewAfterItsIntervalNotBefore) {
    TempDir dir;
    Bytes stream;
    for (int e = 0; e < 200; ++e) {
        const Bytes b = Epoch(e, {3, 7}, kGlo);
        stream.insert(stream.end(), b.begin(), b.end());
    }
    const auto start = Steady::now();
    std::atomic<bool> enough{false};
    pid_t pid = -1;
    std::thread feed([&] { pid = FeedStdinJob(stream, stream.size() / 200, enough); });
    double first = -1;
    while (Since(start) < 19 && first < 0) {
        if (Records("LowGpsSat") > 0) first = Since(start);
        Pause(20);
    }
    enough = true;
    feed.join();
    ASSERT_EQ(WaitForExit(pid, false, 20000), 0);
    // Interval 4 s on the 3 s check grid: the check after 6 s.
    EXPECT_GT(first, 0) << "no record";
    EXPECT_GE(first, 4.0);
    EXPECT_EQ(Records("LowGpsSat"), 1);
    EXPECT_NE(ReadFile("Protokol.dat").find("SW LowGpsSat : too few Gps-Satellites (< 4), start_of_failure "),
              std::string::npos);
    EXPECT_EQ(access("LowGpsSat", F_OK), 0);
    EXPECT_EQ(Records("LowGloSat") + Records("NoGpsSat") + Records("NoGloSat"), 0);
    EXPECT_NE(ReadFile("err.txt").find("Gps-Sat 2: 3 7"), std::string::npos);
}

}  // namespace
}  // namespace zerlan
