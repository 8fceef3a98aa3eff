// The status services as job-start rows: the HTTP server's waiting acceptor
// ends with the stop; a port shared with the TCP input, or taken by another
// program, keeps the server out while the other rows start.
#include "support/RelayJob.h"

namespace zerlan {
namespace {

using testing::FreePort;

class StatusJobThreads : public testing::RelayJob {
protected:
    void StartDummyJob(const std::string& http_port, const std::string& extra = "") {
        renderer_.shown.clear();
        Configure("/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;Null;Null;500;1;1;20\" /html,\"TRUE;127.0.0.1;" +
                  http_port + ";TRUE;1;status.html;1004\" " + extra);
        view_.jobs().Start();
        EXPECT_TRUE(renderer_.Shows("Html-File Thread !"));
        EXPECT_TRUE(renderer_.Shows("Dummy Thread !"));
    }
};

TEST_F(StatusJobThreads, TheHttpServerEndsWithTheStopAndAConflictingOrBusyPortKeepsItOut) {
    const std::string port = FreePort();
    StartDummyJob(port);
    EXPECT_TRUE(renderer_.Shows("Http-Server Thread !"));
    // An acceptor waits in accept until the stop releases it.
    ASSERT_TRUE(PumpUntil([&] { return state_.registry.Query(7) == 1; }, 2000));
    EXPECT_TRUE(StopAndWaitIdle(5000));
    EXPECT_EQ(state_.http_server_started.load(), 0);

    StartDummyJob(port, "/tcp_in,\"127.0.0.1;" + port + ";FALSE\"");
    EXPECT_EQ(view_.model().warning_text, "\nHttp-TcpOutPort is the same like TcpInPort\n HttpTcpOut-Job is stoped !\n");
    EXPECT_EQ(state_.registry.Query(7), 0);
    ASSERT_TRUE(StopAndWaitIdle(5000));

    CBlockingSocket squatter;
    StartDummyJob(testing::BindLoopback(squatter));
    EXPECT_TRUE(renderer_.Shows("No Http-Server-Start !!"));
    EXPECT_FALSE(renderer_.Shows("Http-Server Thread !"));
    EXPECT_EQ(state_.registry.Query(7), 0);
}

}  // namespace
}  // namespace zerlan
