// The status services through the zerlan program: the example stream is
// replayed through the standard input with the decoder, the HTTP server and
// the HTML file on; the page, the JSON and the metrics are read the way
// browsers, scripts and Prometheus read them.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "support/TempDir.h"
#include "transport/BlockingSocket.h"

namespace zerlan {
namespace {

constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kChromium = "/usr/bin/chromium";

bool Exists(const char* path) { return access(path, X_OK) == 0; }

// Runs a shell command; its standard output, or nothing when it failed.
bool RunCommand(const std::string& command, std::string* out = nullptr) {
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    const int status = pclose(pipe);
    if (out != nullptr) *out = text;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string FreePort() {
    CBlockingSocket probe;
    probe.Create(CBlockingSocket::kStream);
    probe.Bind(CSocketAddress("127.0.0.1", 0));
    const std::string port = std::to_string(probe.BoundPort());
    probe.Cleanup();
    return port;
}

class StatusProgram : public ::testing::Test {
protected:
    void SetUp() override {
        port_ = FreePort();
        const std::string stream = testing::ReadFile(std::string(ZERLAN_SOURCE_DIR) + "/examples/example.rtcm3");
        ASSERT_FALSE(stream.empty());
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const std::string html = "/html,\"TRUE;127.0.0.1;" + port_ + ";TRUE;1;page.html;1004,1005,1006,1012,1033\"";
        pid_ = fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            dup2(fds[0], 0);
            close(fds[1]);
            std::freopen("out.txt", "w", stdout);
            std::freopen("err.txt", "w", stderr);
            execl(ZERLAN_BINARY, ZERLAN_BINARY,
                  "/inout_sw,\"FILE;Null;Null;Null;Null;Null;Null;RTCM;500;1;-1;100;FALSE;FALSE;FALSE\"",
                  "/file_in,\"STDIN\"", html.c_str(), "/pr,\"p.dat\"", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[0]);
        // The input stays open: the job runs until the test ends it.
        input_ = fds[1];
        ASSERT_EQ(write(input_, stream.data(), stream.size()), static_cast<ssize_t>(stream.size()));
        // The example's station shows once its frames are decoded.
        for (int i = 0; i < 100 && Get("/status.json").find("\"station\": \"2003\"") == std::string::npos; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
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
    // The body of a GET, "" when there was no answer.
    std::string Get(const std::string& path) {
        try {
            CBlockingSocket client;
            client.Create(CBlockingSocket::kStream);
            client.Connect(CSocketAddress("127.0.0.1", static_cast<uint16_t>(std::stoi(port_))), 2);
            const std::string request = "GET " + path + " HTTP/1.0\r\nUser-Agent: test\r\n\r\n";
            client.Send(request.data(), static_cast<int>(request.size()), 2);
            std::string reply;
            char buffer[4096];
            int n;
            while ((n = client.Receive(buffer, sizeof buffer, 5)) > 0) reply.append(buffer, static_cast<size_t>(n));
            const size_t end = reply.find("\r\n\r\n");
            return end == std::string::npos ? "" : reply.substr(end + 4);
        } catch (const CBlockingSocketException&) {
            return "";
        }
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + port_ + path; }

    testing::TempDir dir_;
    std::string port_;
    pid_t pid_ = -1;
    int input_ = -1;
};

TEST_F(StatusProgram, PageAndJsonShowTheReplayedStation) {
    const std::string page = Get("/");
    EXPECT_NE(page.find("Data Stream - Status Page"), std::string::npos);
    EXPECT_NE(page.find("<CENTER> 2003 </CENTER>"), std::string::npos);
    std::string curl;
    if (Exists("/usr/bin/curl")) {
        EXPECT_TRUE(RunCommand("/usr/bin/curl -sf " + Url("/"), &curl));
        EXPECT_NE(curl.find("Data Stream - Status Page"), std::string::npos);
    }

    if (!Exists(kPython)) GTEST_SKIP() << "python3 missing: JSON not parsed";
    testing::WriteFile("s.json", Get("/status.json"));
    std::string parsed;
    ASSERT_TRUE(RunCommand(std::string(kPython) +
                        " -c 'import json; d = json.load(open(\"s.json\")); print(d[\"station\"], d[\"input\"][\"type\"],"
                        " d[\"input\"][\"bytes_total\"], sorted({m[\"type\"] for m in d[\"messages\"]}))'",
                    &parsed))
        << testing::ReadFile("s.json");
    EXPECT_EQ(parsed.substr(0, parsed.find('[')), "2003 FILE 2191 ");
    // The example carries these types (and more).
    for (const char* type : {"1004", "1005", "1006", "1012", "1033"}) {
        EXPECT_NE(parsed.find(type), std::string::npos) << type << " in " << parsed;
    }
}

TEST_F(StatusProgram, MetricsPassThePrometheusTextParser) {
    if (!Exists(kPython) || !RunCommand(std::string(kPython) + " -c 'import prometheus_client'")) {
        GTEST_SKIP() << "python3-prometheus-client missing";
    }
    testing::WriteFile("m.txt", Get("/metrics"));
    std::string parsed;
    ASSERT_TRUE(RunCommand(std::string(kPython) +
                        " -c 'from prometheus_client.parser import text_string_to_metric_families as p\n"
                        "for f in p(open(\"m.txt\").read()):\n"
                        "    for s in f.samples: print(s.name, s.labels.get(\"station\", \"\"), int(s.value))'",
                    &parsed))
        << testing::ReadFile("m.txt");
    EXPECT_NE(parsed.find("zerlan_input_bytes_total  2191\n"), std::string::npos) << parsed;
    EXPECT_NE(parsed.find("zerlan_station_info 2003 1\n"), std::string::npos) << parsed;
}

TEST_F(StatusProgram, ChromiumFindsTheStationAndMessageTablesInPageAndFile) {
    if (!Exists(kChromium)) GTEST_SKIP() << "chromium missing";
    // The file is rewritten every second; wait for one written after the decoding.
    for (int i = 0; i < 100 && testing::ReadFile("page.html").find("<CENTER> 2003 </CENTER>") == std::string::npos;
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    for (const std::string& url : {Url("/"), "file://" + dir_.path() + "/page.html"}) {
        std::string dom;
        ASSERT_TRUE(RunCommand("timeout 60 " + std::string(kChromium) +
                            " --headless --no-sandbox --disable-gpu --dump-dom '" + url + "' 2>/dev/null",
                        &dom))
            << url;
        const size_t stations = dom.find("<table id=\"stations\"");
        ASSERT_NE(stations, std::string::npos) << url << "\n" << dom;
        const std::string station_table = dom.substr(stations, dom.find("</table>", stations) - stations);
        EXPECT_NE(station_table.find("2003"), std::string::npos) << url;
        const size_t messages = dom.find("<table id=\"messages\"");
        ASSERT_NE(messages, std::string::npos) << url;
        EXPECT_NE(dom.find(">1004</font>", messages), std::string::npos) << url;
        // Both tables lie inside the body, as the parser built it.
        EXPECT_LT(dom.find("<body"), stations);
        EXPECT_GT(dom.find("</body>"), messages);
    }
}

}  // namespace
}  // namespace zerlan
