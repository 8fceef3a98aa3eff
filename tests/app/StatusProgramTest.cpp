// The status services through the zerlan program: the example stream is
// replayed through the standard input with the decoder, the HTTP server and
// the HTML file on; page, JSON and metrics are read the way curl, scripts,
// Prometheus and a browser read them.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "support/TempDir.h"
#include "transport/BlockingSocket.h"

namespace zerlan {
namespace {

bool Exists(const char* path) { return access(path, X_OK) == 0; }

// Runs a shell command; true when it succeeded, its output in `out`.
bool RunCommand(const std::string& command, std::string* out = nullptr) {
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    std::string text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    const int status = pclose(pipe);
    if (out != nullptr) *out = text;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void WaitUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 100 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

class StatusProgram : public ::testing::Test {
protected:
    void SetUp() override {
        CBlockingSocket probe;
        probe.Create(CBlockingSocket::kStream);
        probe.Bind(CSocketAddress("127.0.0.1", 0));
        url_ = "http://127.0.0.1:" + std::to_string(probe.BoundPort());
        const std::string html = "/html,\"TRUE;0.0.0.0;" + std::to_string(probe.BoundPort()) +
                                 ";TRUE;1;page.html;1004,1005,1006,1012,1033\"";
        probe.Cleanup();
        const std::string stream = testing::ReadFile(std::string(ZERLAN_SOURCE_DIR) + "/examples/example.rtcm3");
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_ = fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            dup2(fds[0], 0);
            close(fds[1]);
            std::freopen("out.txt", "w", stdout);
            std::freopen("err.txt", "w", stderr);
            execl(ZERLAN_BINARY, ZERLAN_BINARY, "/inout_sw,\"FILE;Null;Null;Null;Null;Null;Null;RTCM;500;1;-1;100\"",
                  "/file_in,\"STDIN\"", html.c_str(), "/pr,\"p.dat\"", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[0]);
        input_ = fds[1];  // kept open: the job runs until the test ends it
        ASSERT_EQ(write(input_, stream.data(), stream.size()), static_cast<ssize_t>(stream.size()));
        WaitUntil([&] { return Get("/status.json").find("\"station\": \"2003\"") != std::string::npos; });
    }
    void TearDown() override {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        close(input_);
        int status = 0;
        for (int i = 0; i < 1200 && waitpid(pid_, &status, WNOHANG) != pid_; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << testing::ReadFile("err.txt");
    }
    std::string Get(const std::string& path) {
        std::string body;
        return RunCommand("/usr/bin/curl -sf '" + url_ + path + "'", &body) ? body : "";
    }

    testing::TempDir dir_;
    std::string url_;
    pid_t pid_ = -1;
    int input_ = -1;
};

TEST_F(StatusProgram, PageJsonAndMetricsOfTheReplayedExample) {
    const char* python = "/usr/bin/python3";
    if (!Exists("/usr/bin/curl") || !Exists(python) || !RunCommand(std::string(python) + " -c 'import prometheus_client'")) {
        GTEST_SKIP() << "needs curl, python3 and python3-prometheus-client";
    }
    EXPECT_NE(Get("/").find("<CENTER> 2003 </CENTER>"), std::string::npos);

    testing::WriteFile("s.json", Get("/status.json"));
    std::string parsed;
    ASSERT_TRUE(RunCommand(std::string(python) + " -c 'import json; d = json.load(open(\"s.json\")); print(d[\"station\"],"
                           " d[\"input\"][\"bytes_total\"], sorted({m[\"type\"] for m in d[\"messages\"]}))'",
                           &parsed))
        << testing::ReadFile("s.json");
    EXPECT_EQ(parsed.rfind("2003 2191 [", 0), 0u) << parsed;
    for (const char* type : {"1004", "1005", "1006", "1012", "1033"}) {
        EXPECT_NE(parsed.find(type), std::string::npos) << type << " in " << parsed;
    }

    testing::WriteFile("m.txt", Get("/metrics"));
    ASSERT_TRUE(RunCommand(std::string(python) +
                               " -c 'from prometheus_client.parser import text_string_to_metric_families as p\n"
                               "for f in p(open(\"m.txt\").read()):\n"
                               "    for s in f.samples: print(s.name, s.labels.get(\"station\", \"\"), int(s.value))'",
                           &parsed))
        << testing::ReadFile("m.txt");
    EXPECT_NE(parsed.find("zerlan_input_bytes_total  2191\n"), std::string::npos) << parsed;
    EXPECT_NE(parsed.find("zerlan_station_info 2003 1\n"), std::string::npos) << parsed;
}

TEST_F(StatusProgram, ChromiumFindsTheStationAndMessageTablesInPageAndFile) {
    if (!Exists("/usr/bin/chromium")) GTEST_SKIP() << "chromium missing";
    // The file is rewritten every second: wait for one written after the decoding.
    WaitUntil([] { return testing::ReadFile("page.html").find("<CENTER> 2003 </CENTER>") != std::string::npos; });
    for (const std::string& url : {url_ + "/", "file://" + dir_.path() + "/page.html"}) {
        std::string dom;
        ASSERT_TRUE(RunCommand("timeout 60 /usr/bin/chromium --headless --no-sandbox --disable-gpu --dump-dom '" + url +
                                   "' 2>/dev/null",
                               &dom))
            << url;
        const size_t stations = dom.find("<table id=\"stations\"");
        const size_t messages = dom.find("<table id=\"messages\"");
        ASSERT_NE(stations, std::string::npos) << url << "\n" << dom;
        ASSERT_NE(messages, std::string::npos) << url << "\n" << dom;
        EXPECT_LT(dom.find("2003", stations), dom.find("</table>", stations)) << url;
        EXPECT_NE(dom.find(">1004</font>", messages), std::string::npos) << url;
        // Both tables inside the body, as the browser's parser built it.
        EXPECT_LT(dom.find("<body"), stations);
        EXPECT_GT(dom.find("</body>"), messages);
    }
}

}  // namespace
}  // namespace zerlan
