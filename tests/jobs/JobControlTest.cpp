// Start, stop, restart and time records of the job; start rows kept off each other's ports.
#include "jobs/JobControl.h"

#include "platform/Console.h"
#include "support/RelayJob.h"

namespace zerlan {
namespace {

class JobControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        Clock::Install(&clock_);
        SetMessageBoxSink([this](const std::string& text, const std::string& title) {
            boxes_ += "[" + title + "] " + text + "\n";
        });
        view_.queue().Attach([this](const Message& m) { view_.Handle(m); });
        state_.view_window = &view_.queue();
        view_.jobs().SetFullHourPause(0);
    }
    void TearDown() override {
        // No worker may outlive the state it uses.
        if (state_.registry.GetState() == 0) view_.jobs().Stop();
        for (int i = 0; i < 2000 && (state_.registry.Query(1) > 0 || state_.registry.GetState() != 2); ++i) {
            view_.queue().PumpOne(5);
        }
        SetMessageBoxSink(nullptr);
        Clock::Install(nullptr);
    }
    void SetTime(int h, int m, int s) { clock_.Set(LocalTime{2025, 2, 3, h, m, s, 0, 0}); }

    testing::TempDir dir_;
    FakeClock clock_;
    SharedState state_;
    testing::QuietRenderer renderer_;
    CZerlanView view_{state_, renderer_};
    std::string boxes_;
};

TEST_F(JobControlTest, FullHourAndNewDayRecordsOncePerMoment) {
    SetTime(0, 0, 0);
    view_.jobs().CheckFullHour();
    SetTime(13, 0, 0);
    view_.jobs().CheckFullHour();
    SetTime(13, 0, 1);
    view_.jobs().CheckFullHour();
    EXPECT_EQ(testing::ReadFile("Protokol.dat"),
              "ND new_day : no_failure, read_time 03.02.2025  00:00:00\n"
              "FH full_hour : no_failure, read_time 03.02.2025  13:00:00\n");
    EXPECT_EQ(view_.model().time_text, "03.02.2025  13:00:01");
}

TEST_F(JobControlTest, ARestartThatFindsTheJobBusyIsRecordedOnceAndWaitsAgain) {
    view_.jobs().SetRestartSteps(3, 1, 1);
    state_.registry.SetState(1, 0);  // a job that does not stop
    state_.restart_reason = 1;
    view_.jobs().OnRestartWait();
    view_.jobs().OnRestartWait();
    EXPECT_EQ(testing::ReadFile("Protokol.dat"), "Restart : failure, job not idle after the restart wait\n");
    EXPECT_FALSE(view_.jobs().EverStarted());
    EXPECT_EQ(view_.queue().Pending(), 2u);  // each pass waits again
    state_.registry.SetState(0, 2);
    view_.settings().inout_sw.input_type = "DUMMY";
    view_.jobs().OnRestartWait();
    EXPECT_TRUE(view_.jobs().EverStarted());
    EXPECT_EQ(state_.restart_reason.load(), 0);
}

TEST_F(JobControlTest, StartStopAndRestartRequestsActOnlyInTheirState) {
    state_.registry.SetState(0, 2);  // idle, e.g. after the operator's stop
    view_.jobs().Stop();
    EXPECT_EQ(state_.registry.GetState(), 2);
    view_.jobs().OnRestart();
    view_.jobs().OnRestartCaster();
    EXPECT_EQ(state_.restart_reason.load(), 0);
    EXPECT_FALSE(view_.jobs().RestartPending());
    EXPECT_EQ(view_.queue().Pending(), 0u);
    state_.registry.SetState(0, 1);  // stopping: a start is abandoned and forgets its reason
    state_.restart_reason = 2;
    view_.jobs().Start();
    EXPECT_EQ(state_.registry.GetState(), 1);
    EXPECT_FALSE(view_.jobs().EverStarted());
    EXPECT_EQ(state_.restart_reason.load(), 0);
    state_.registry.SetState(0, 2);
}

TEST_F(JobControlTest, TheTcpOutputServerDoesNotTakeTheInputServersPort) {
    const std::string port = testing::FreePort();
    ParseText(view_.settings(), "/inout_sw,\"TCP;Null;Null;TCP;Null;Null;Null;Null;500;0;1;20\" /tcp_in,\"127.0.0.1;" +
                                    port + ";TRUE\" /tcp_out,\"127.0.0.1;" + port + ";TRUE;20;FALSE;0\"");
    view_.jobs().Start();
    EXPECT_EQ(boxes_, "[Warning !!] \nTcpOutPort is the same like TcpInPort\n TcpOut-Job is stoped !\n\n");
    EXPECT_TRUE(state_.connections[SharedState::kConnTcpOut].empty());
    EXPECT_EQ(state_.tcp_out_server_started.load(), 0);
}

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
    const std::string port = testing::FreePort();
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
