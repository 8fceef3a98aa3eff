// The status services as job-start rows: the HTTP server's threads end with
// the stop; a port shared with the TCP input,
// or taken by another program, keeps it out while the other rows start.
#include "RelayTestSupport.h"

namespace zerlan {
namespace {

using testing::FreePort;

class StatusJobThreads : public testing::RelayJob {
protected:
    void ConfigureDummyJob(const std::string& http_port, const std::string& extra = "") {
        Configure("/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;Null;Null;500;1;1;20\" /html,\"TRUE;127.0.0.1;" +
                  http_port + ";TRUE;1;status.html;1004\" " + extra);
    }
};

TEST_F(StatusJobThreads, HttpServerAndHtmlFileStartAndTheWaitingAcceptorEndsWithTheStop) {
    const std::string port = FreePort();
    ConfigureDummyJob(port);
    view_.jobs().Start();
    EXPECT_TRUE(renderer_.Shows("Http-Server Thread !"));
    EXPECT_TRUE(renderer_.Shows("Html-File Thread !"));

    // An acceptor waits in accept until the stop releases it.
    ASSERT_TRUE(PumpUntil([&] { return state_.registry.Query(7) == 1; }, 2000));
    EXPECT_TRUE(StopAndWaitIdle(5000));
    EXPECT_EQ(state_.http_server_started.load(), 0);
}

TEST_F(StatusJobThreads, ConflictingOrBusyPortKeepsTheServerOutAndTheOtherRowsIn) {
    const std::string port = FreePort();
    ConfigureDummyJob(port, "/tcp_in,\"127.0.0.1;" + port + ";FALSE\"");
    view_.jobs().Start();
    EXPECT_EQ(view_.model().warning_text, "\nHttp-TcpOutPort is the same like TcpInPort\n HttpTcpOut-Job is stoped !\n");
    EXPECT_EQ(state_.registry.Query(7), 0);
    EXPECT_TRUE(renderer_.Shows("Dummy Thread !"));
    ASSERT_TRUE(StopAndWaitIdle(5000));

    CBlockingSocket squatter;
    squatter.Create(CBlockingSocket::kStream);
    squatter.Bind(CSocketAddress("127.0.0.1", 0));
    squatter.Listen();
    renderer_.shown.clear();
    ConfigureDummyJob(std::to_string(squatter.BoundPort()));
    view_.jobs().Start();
    EXPECT_TRUE(renderer_.Shows("No Http-Server-Start !!"));
    EXPECT_FALSE(renderer_.Shows("Http-Server Thread !"));
    EXPECT_TRUE(renderer_.Shows("Html-File Thread !"));
    EXPECT_TRUE(renderer_.Shows("Dummy Thread !"));
    EXPECT_EQ(state_.registry.Query(7), 0);
}

}  // namespace
}  // namespace zerlan
