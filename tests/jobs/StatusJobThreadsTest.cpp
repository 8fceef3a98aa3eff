// The status services as job-start rows: the HTTP server answers during a
// job and its threads end with the stop; a port shared with the TCP input
// keeps it from starting while the rest of the job runs.
#include "RelayTestSupport.h"

namespace zerlan {
namespace {

using testing::FreePort;

class StatusJobThreads : public testing::RelayJob {};

TEST_F(StatusJobThreads, HttpServerAnswersDuringTheJobAndEndsWithTheStop) {
    const std::string port = FreePort();
    Configure("/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;Null;Null;500;1;1;20\" /html,\"TRUE;127.0.0.1;" + port +
              ";TRUE;1;status.html;1004\"");
    view_.jobs().Start();
    EXPECT_TRUE(renderer_.Shows("Http-Server Thread !"));
    EXPECT_TRUE(renderer_.Shows("Html-File Thread !"));

    CBlockingSocket client;
    ASSERT_TRUE(ConnectClient(client, port));
    const std::string get = "GET /status.json HTTP/1.0\r\n\r\n";
    client.Send(get.data(), static_cast<int>(get.size()), 2);
    std::string reply;
    ASSERT_TRUE(PumpUntil(
        [&] {
            char buffer[4096];
            try {
                const int n = client.Receive(buffer, sizeof buffer, 0);
                if (n == 0) return true;
                reply.append(buffer, static_cast<size_t>(n));
            } catch (const CBlockingSocketException&) {
            }
            return false;
        },
        5000));
    EXPECT_NE(reply.find("\"input\": {\"type\": \"DUMMY\""), std::string::npos) << reply;

    // The waiting acceptor is released by the stop, not left in accept.
    EXPECT_GE(state_.registry.Query(7), 1);
    EXPECT_TRUE(StopAndWaitIdle(5000));
    EXPECT_EQ(state_.http_server_started.load(), 0);
}

TEST_F(StatusJobThreads, HttpPortOfTheTcpInputKeepsTheServerFromStarting) {
    const std::string port = FreePort();
    Configure("/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;Null;Null;500;1;1;20\" /tcp_in,\"127.0.0.1;" + port +
              ";FALSE\" /html,\"TRUE;127.0.0.1;" + port + ";FALSE;1;status.html;1004\"");
    view_.jobs().Start();
    EXPECT_EQ(view_.model().warning_text,
              "\nHttp-TcpOutPort is the same like TcpInPort\n HttpTcpOut-Job is stoped !\n");
    EXPECT_FALSE(renderer_.Shows("Http-Server Thread !"));
    EXPECT_EQ(state_.registry.Query(7), 0);
    EXPECT_EQ(state_.registry.GetState(), 0);  // the dummy input runs
}

TEST_F(StatusJobThreads, BusyHttpPortIsReportedAndTheOtherRowsStart) {
    CBlockingSocket squatter;
    squatter.Create(CBlockingSocket::kStream);
    squatter.Bind(CSocketAddress("127.0.0.1", 0));
    squatter.Listen();
    const std::string port = std::to_string(squatter.BoundPort());
    Configure("/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;Null;Null;500;1;1;20\" /html,\"TRUE;127.0.0.1;" + port +
              ";TRUE;1;status.html;1004\"");
    view_.jobs().Start();
    EXPECT_TRUE(renderer_.Shows("No Http-Server-Start !!"));
    EXPECT_FALSE(renderer_.Shows("Http-Server Thread !"));
    EXPECT_TRUE(renderer_.Shows("Html-File Thread !"));
    EXPECT_TRUE(renderer_.Shows("Dummy Thread !"));
    EXPECT_EQ(state_.registry.Query(7), 0);
    EXPECT_EQ(state_.http_server_started.load(), 0);
}

}  // namespace
}  // namespace zerlan
