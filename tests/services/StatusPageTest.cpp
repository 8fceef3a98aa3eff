#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/SharedState.h"
#include "platform/Files.h"
#include "platform/Sleep.h"
#include "platform/Socket.h"
#include "services/StatusPage.h"
#include "services/StatusThreads.h"
#include "support/Descriptors.h"
#include "support/StateFixture.h"
#include "support/WaitFor.h"

namespace zerlan {
namespace {

using testing::WaitFor;

// Everything the server sends until it closes or resets (at most 5 s); "-" when it never closed.
std::string ReadAll(int fd) {
    std::string data;
    return WaitFor([&] { return testing::ReadReady(fd, data, 100) == 0; }, 5000) ? data : "-";
}

class HttpServerThreads : public ::testing::Test {
protected:
    void Start(const HttpTiming& timing) {
        state_.settings.html.address = "127.0.0.1";
        state_.settings.html.port = "0";
        state_.registry.SetState(1, 0);
        ASSERT_TRUE(OpenHttpListener(state_));
        port_ = std::to_string(state_.sockets.http_server.LocalPort());
        ASSERT_TRUE(StartHttpServer(state_, timing));
    }
    void TearDown() override {
        for (int fd : clients_) close(fd);
        state_.registry.SetState(0, 1);
        CloseHttpListener(state_);
        EXPECT_TRUE(WaitFor([&] { return state_.registry.Query(1) == 0; }, 5000));
    }
    int Connect(const std::string& request = "") {
        const int fd = testing::ConnectLoopback(port_);
        clients_.push_back(fd);
        EXPECT_TRUE(fd >= 0 && testing::WriteAll(fd, request));
        return fd;
    }

    HttpTiming fast_{400, 200, 10};  // header within 400 ms, gaps under 200 ms
    SharedState state_;
    std::string port_;
    std::vector<int> clients_;
};

TEST_F(HttpServerThreads, EachGetPathGetsItsAnswerWithTheRealLength) {
    // Enough message rows to take the page past 20000 bytes, over several sends.
    for (int type = 1; type <= 300; ++type) state_.settings.html.items.push_back(std::to_string(type));
    Start(fast_);
    const std::pair<const char*, const char*> cases[] = {
        {"GET / HTTP/1.0\r\n\r\n", "text/html\r\n"},
        {"GET /other HTTP/1.1\r\nHost: x\r\n\r\n", "text/html\r\n"},
        {"GET /status.json HTTP/1.0\r\nAccept: */*\r\n\r\n", "application/json\r\n"},
        {"GET /metrics?x=1 HTTP/1.0\n\n", "text/plain; version=0.0.4; charset=utf-8\r\n"},
    };
    for (const auto& [request, type] : cases) {
        const std::string reply = ReadAll(Connect(request));
        const size_t end = reply.find("\r\n\r\n");
        ASSERT_NE(end, std::string::npos) << request;
        if (std::string(type) == "text/html\r\n") {
            EXPECT_GT(reply.size(), 20000u);
            EXPECT_TRUE(reply.ends_with("</BODY>\n"));
            EXPECT_NE(reply.find(">300</Font>"), std::string::npos);
        }
        EXPECT_EQ(reply.substr(0, end + 4),
                  "HTTP/1.0 200 OK\r\nServer: MorvikV1.08-zezur1-Http\r\nDate: Mar 2011\r\nContent-Type: " +
                      std::string(type) + "Accept-Ranges: bytes\r\nContent-Length: " +
                      std::to_string(reply.size() - end - 4) + "\r\n\r\n");
    }
}

TEST_F(HttpServerThreads, RequestsWithoutACompleteGetHeaderGetNothing) {
    Start(fast_);
    for (const char* request : {"POST / HTTP/1.0\r\nContent-Length: 0\r\n\r\n", "GET / HTTP/1.0\r\nHost: x\r\n"})
        EXPECT_EQ(ReadAll(Connect(request)), "") << request;
    // Each byte well inside the gap limit: only the total limit ends it.
    const int slow = Connect();
    const std::string header = "GET / HTTP/1.0\r\nUser-Agent: " + std::string(200, 'a') + "\r\n\r\n";
    const auto start = std::chrono::steady_clock::now();
    size_t sent = 0;
    while (sent < header.size() && sock::Wait(slow, false, 50) == sock::kWaitTimedOut &&
           testing::WriteAll(slow, header.substr(sent, 1)))
        ++sent;
    EXPECT_LT(sent, header.size());
    EXPECT_EQ(ReadAll(slow), "");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(fast_.header_limit_ms - 50));
}

TEST_F(HttpServerThreads, ThreeConnectionsAtMostAndAFourthIsServedOnceOneLeaves) {
    Start(HttpTiming{30000, 30000, 10});
    const int held[3] = {Connect(), Connect(), Connect()};
    ASSERT_TRUE(WaitFor([&] { return state_.http_connections.load() == 3; }, 5000));
    const int fourth = Connect("GET / HTTP/1.0\r\n\r\n");
    EXPECT_EQ(sock::Wait(fourth, false, 300), sock::kWaitTimedOut);
    EXPECT_EQ(state_.registry.Query(7), 3);

    shutdown(held[1], SHUT_RDWR);
    EXPECT_EQ(ReadAll(fourth).rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
    // The two held and a new acceptor.
    EXPECT_TRUE(WaitFor([&] { return state_.registry.Query(7) == 3 && state_.http_connections.load() == 2; }, 5000));
}

using HtmlCreatorThreads = testing::StateFixture;

TEST_F(HtmlCreatorThreads, WritesThePageAtEveryRefreshInterval) {
    shared_.settings.html.refresh_s = "120";
    shared_.settings.html.file_name = ".\\status.html";
    shared_.registry.SetState(1, 0);
    ASSERT_TRUE(StartHtmlCreator(shared_));
    auto written = [] { return FileExists("status.html"); };
    // The timer starts with the thread: step on until the first file.
    EXPECT_TRUE(WaitFor([&] { clock_.Advance(120000); return WaitFor(written, 500); }, 10000));
    EXPECT_NE(ReadFile("status.html").find("<META http-equiv=\"refresh\" content=\"120\">\n"), std::string::npos);
    for (int round = 0; round < 2; ++round) {
        std::remove("status.html");
        clock_.Advance(119000);
        Sleep(50);
        EXPECT_FALSE(written());
        clock_.Advance(1000);
        EXPECT_TRUE(WaitFor(written, 3000));
    }
    shared_.registry.SetState(0, 1);
    EXPECT_TRUE(WaitFor([&] { return shared_.registry.Query(1) == 0; }, 3000));
}

StatusFacts KnownState() {
    StatusFacts f;
    f.input_type = "TCP";
    f.input_bytes = 123456789012LL;
    f.outputs[StatusFacts::kTcp] = {"tcp", "TCP", true, "SP4000", 800, 5000000000LL};
    f.outputs[StatusFacts::kFile] = {"file", "FILE", false, "", 0, 0};
    f.message_count = "000000042";
    f.satellites[0] = {3, 7, 12};
    f.fkp[0] = {7};
    f.messages = {{1004, 0, "03.02.2025  09:05:06 (PC-Time)", 1}, {1012, 1, "03.02.2025  09:05:06 (PC-Time)", 1}};
    f.page_types = {"1004", "1012", "1033"};
    return f;
}

std::string Page(const StatusFacts& f) {
    StatusPage page;
    page.BuildHead(f);
    page.BuildBody(f, 1);
    return page.Page();
}

void ExpectParts(const std::string& text, std::initializer_list<const char*> parts) {
    for (const char* part : parts) EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
}

TEST(StatusPage, TextsOfAKnownState) {
    const std::string page = Page(KnownState());
    EXPECT_TRUE(page.ends_with("</td></tr>\n</table></CENTER>\n</FORM>\n</BODY>\n"));
    // Satellite 7 has FKP and is lit; a page type never received has no time.
    ExpectParts(page, {"<td BGCOLOR=#50ff50><FONT SIZE=2 FACE=\"Arial\">07</Font></td>",
                       ">1033</Font></td><td><FONT SIZE=2 FACE=\"Arial\" COLOR=#000000>----</FONT>"});
    // Totals beyond 32 bits, lists and message rows in both machine formats.
    ExpectParts(StatusJson(KnownState()), {
        "\"bytes_total\": 123456789012}", "\"bytes_total\": 5000000000}", "\"message_count\": 42,",
        "  \"satellites\": {\"gps\": [3,7,12], \"glonass\": []},\n  \"fkp\": {\"gps\": [7], \"glonass\": []},\n",
        "{\"type\": 1012, \"system\": \"glonass\", \"last_time\": \"03.02.2025  09:05:06 (PC-Time)\", "
        "\"period_s\": 1}"});
    ExpectParts(StatusMetrics(KnownState()), {
        "zerlan_input_bytes_total{type=\"TCP\"} 123456789012\n",
        "zerlan_output_bytes_total{output=\"tcp\"} 5000000000\n", "zerlan_output_enabled{output=\"file\"} 0\n",
        "zerlan_satellites{system=\"gps\"} 3\n", "zerlan_fkp_satellites{system=\"gps\"} 1\n",
        "zerlan_message_period_seconds{type=\"1012\",system=\"glonass\"} 1\n"});
}

TEST(StatusPage, OutsideTextsAreEscapedForEachFormat) {
    StatusFacts f = KnownState();
    const std::string evil = "<script>\"x\"&'y'\\\xB0\x01";
    f.station = f.input_address = f.project = f.messages[0].time = evil;
    f.status_line = "TCP-Server:1; " + evil;
    f.page_types.push_back(evil);

    const std::string html = Page(f);
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_EQ(html.find('\x01'), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;&quot;x&quot;&amp;&#39;y&#39;\\&#176;."), std::string::npos);
    ExpectParts(StatusJson(f), {"\"station\": \"<script>\\\"x\\\"&'y'\\\\\\u00b0\\u0001\"",
                                "\"last_time\": \"<script>\\\"x\\\""});
    ExpectParts(StatusMetrics(f), {"zerlan_station_info{station=\"<script>\\\"x\\\"&'y'\\\\\xC2\xB0.\"} 1\n"});
}

}  // namespace
}  // namespace zerlan
