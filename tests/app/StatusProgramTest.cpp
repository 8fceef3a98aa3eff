// What an operator sees of a decoding job: the status services and the satellite watch.
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

bool Exists(const char* path) { return access(path, X_OK) == 0; }

// A decoder job reading a pipe, rate watch off; zerlan must not hold the pipe's writing end.
pid_t StartDecoding(std::vector<std::string> items, int& input) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;
    items.insert(items.end(), {"/inout_sw,\"FILE;Null;Null;Null;Null;Null;Null;RTCM;500;1;-1;100\"",
                               "/file_in,\"STDIN\"", "/miz,\"50;InputDataNull;0;50;OutputDataNull;0\""});
    const pid_t pid = StartZerlan(items, fds[0]);
    close(fds[0]);
    input = fds[1];
    return pid;
}

class StatusProgram : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string port = UnusedPort();
        url_ = "http://127.0.0.1:" + port;
        const std::string stream = ReadFile(std::string(ZERLAN_SOURCE_DIR) + "/examples/example.rtcm3");
        const std::string html = "/html,\"TRUE;0.0.0.0;" + port + ";TRUE;1;page.html;1004,1005,1006,1012,1033\"";
        pid_ = StartDecoding({html, "/pr,\"p.dat\""}, input_);
        ASSERT_GT(pid_, 0);
        ASSERT_EQ(write(input_, stream.data(), stream.size()), static_cast<ssize_t>(stream.size()));
        WaitFor([&] { return Get("/status.json").find("\"station\": \"2003\"") != std::string::npos; });
    }
    void TearDown() override {
        close(input_);
        if (pid_ > 0) { EXPECT_EQ(WaitForExit(pid_, true), 0) << ReadFile("err.txt"); }
    }
    std::string Get(const std::string& path) { return Capture("/usr/bin/curl -sf '" + url_ + path + "'").out; }

    TempDir dir_;
    std::string url_;
    pid_t pid_ = -1;
    int input_ = -1;
};

TEST_F(StatusProgram, PageJsonAndMetricsOfTheReplayedExample) {
    const std::string python = "/usr/bin/python3 -c ";
    if (!Exists("/usr/bin/curl") || Capture(python + "'import prometheus_client'").status != 0)
        GTEST_SKIP() << "needs curl, python3 and python3-prometheus-client";
    EXPECT_TRUE(Has(Get("/"), "<CENTER> 2003 </CENTER>"));

    WriteFile("s.json", Get("/status.json"));
    RunResult parsed = Capture(python + "'import json; d = json.load(open(\"s.json\")); print(d[\"station\"],"
                                        " d[\"input\"][\"bytes_total\"],"
                                        " sorted({m[\"type\"] for m in d[\"messages\"]}))'");
    ASSERT_EQ(parsed.status, 0) << ReadFile("s.json");
    EXPECT_EQ(parsed.out.rfind("2003 2191 [", 0), 0u) << parsed.out;
    for (const char* type : {"1004", "1005", "1006", "1012", "1033"}) EXPECT_TRUE(Has(parsed.out, type)) << type;

    WriteFile("m.txt", Get("/metrics"));
    parsed = Capture(python + "'from prometheus_client.parser import text_string_to_metric_families as p\n"
                              "for f in p(open(\"m.txt\").read()):\n"
                              "    for s in f.samples: print(s.name, s.labels.get(\"station\", \"\"), int(s.value))'");
    ASSERT_EQ(parsed.status, 0) << ReadFile("m.txt");
    EXPECT_TRUE(Has(parsed.out, "zerlan_input_bytes_total  2191\n")) << parsed.out;
    EXPECT_TRUE(Has(parsed.out, "zerlan_station_info 2003 1\n")) << parsed.out;
}

TEST_F(StatusProgram, ChromiumFindsTheStationAndMessageTablesInPageAndFile) {
    if (!Exists("/usr/bin/chromium")) GTEST_SKIP() << "chromium missing";
    // The file is rewritten every second: wait for one written after the decoding.
    WaitFor([] { return ReadFile("page.html").find("<CENTER> 2003 </CENTER>") != std::string::npos; });
    for (const std::string& url : {url_ + "/", "file://" + dir_.path() + "/page.html"}) {
        SCOPED_TRACE(url);
        const RunResult r = Capture("timeout 60 /usr/bin/chromium --headless --no-sandbox --disable-gpu --dump-dom '" +
                                    url + "' 2>/dev/null");
        ASSERT_EQ(r.status, 0);
        const std::string& dom = r.out;
        const size_t stations = dom.find("<table id=\"stations\""), messages = dom.find("<table id=\"messages\"");
        ASSERT_NE(stations, std::string::npos) << dom;
        ASSERT_NE(messages, std::string::npos) << dom;
        EXPECT_LT(dom.find("2003", stations), dom.find("</table>", stations));
        EXPECT_NE(dom.find(">1004</font>", messages), std::string::npos);
        EXPECT_LT(dom.find("<body"), stations);  // as the browser's parser built it
        EXPECT_GT(dom.find("</body>"), messages);
    }
}

double Since(Steady::time_point t) { return std::chrono::duration<double>(Steady::now() - t).count(); }
void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

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
    const auto start = Steady::now();
    int input = -1;
    const pid_t pid = StartDecoding(
        {"/dec_out,\"FALSE;\\\\.\\pipe\\DecPipe;FALSE;DecFile.rcd,4096,FALSE,0,60,.\\,0896,k,none;FALSE;4004;1;TRUE;"
         "FALSE,0;FALSE\"", "/kfkp,\"0;NoGpsFkp;0;NoGloFkp\"", "/ksat,\"2;NoGpsSat;2;NoGloSat\"",
         "/wfkp,\"0;LowFkp;4;0;LowGloFkp;3\"", "/wsat,\"4;LowGpsSat;4;4;LowGloSat;3\"", "/ai,\"0;Save.dat\""},
        input);
    ASSERT_GT(pid, 0);
    // Two GPS satellites and no GLONASS, an epoch every 100 ms until the shortage is recorded.
    std::atomic<bool> enough{false};
    std::thread feed([&] {
        for (int e = 0; e < 200 && !enough; ++e, Pause(100)) {
            const Bytes b = Epoch(e, {3, 7});
            if (write(input, b.data(), b.size()) < 0) break;
        }
        close(input);
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
