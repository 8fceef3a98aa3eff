// The status services of a running job, read the way curl, scripts, Prometheus and a browser read them.
#include <fcntl.h>

#include <gtest/gtest.h>

#include <string>

#include "support/ZerlanRun.h"

namespace zerlan {
namespace {

using namespace testing;

bool Exists(const char* path) { return access(path, X_OK) == 0; }

class StatusProgram : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string port = UnusedPort();
        url_ = "http://127.0.0.1:" + port;
        const std::string stream = ReadFile(std::string(ZERLAN_SOURCE_DIR) + "/examples/example.rtcm3");
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
        pid_ = StartZerlan({"/inout_sw,\"FILE;Null;Null;Null;Null;Null;Null;RTCM;500;1;-1;100\"", "/file_in,\"STDIN\"",
                            "/html,\"TRUE;0.0.0.0;" + port + ";TRUE;1;page.html;1004,1005,1006,1012,1033\"",
                            "/pr,\"p.dat\"", "/miz,\"50;InputDataNull;0;50;OutputDataNull;0\""},
                           fds[0]);
        close(fds[0]);
        input_ = fds[1];  // kept open and idle, the rate watch off: the job runs until the test ends it
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
        // Both tables inside the body, as the browser's parser built it.
        EXPECT_LT(dom.find("<body"), stations);
        EXPECT_GT(dom.find("</body>"), messages);
    }
}

}  // namespace
}  // namespace zerlan
