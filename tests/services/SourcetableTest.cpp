#include "services/Sourcetable.h"

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "support/FakeCaster.h"
#include "support/TempDir.h"

namespace zerlan {
namespace {

using testing::ClosedPort;
using testing::FakeCaster;

const char kTable[] =
    "SOURCETABLE 200 OK\r\n"
    "Server: Test Caster/1.0\r\n"
    "Content-Type: text/plain\r\n"
    "\r\n"
    "CAS;caster.example.net;2101;Example;Org;0;DEU;52.5;13.4;0.0.0.0;0;http://x\r\n"
    "NET;EX;Org;B;N;http://x;http://y;mail;none\r\n"
    "STR;BERLIN0;Berlin;RTCM 3.2;1004(1),1006(10);2;GPS+GLO;EX;DEU;52.52;13.40;0;0;sNTRIP;none;B;N;9600;\r\n"
    "STR;SHORT;Short\r\n"
    "ENDSOURCETABLE\r\n";

// Answers the first connection with `answer` after the request's empty line.
FakeCaster::Script Answer(const std::string& answer) {
    return [answer](FakeCaster& c, int fd, int attempt) {
        if (attempt > 0) return;
        c.Record(c.ReadRequest(fd));
        FakeCaster::SendAll(fd, answer);
    };
}

TEST(SourcetableThreads, ACasterThatTricklesIsGivenUpAtTheDeadline) {
    FakeCaster caster([](FakeCaster& c, int fd, int attempt) {
        if (attempt > 0) return;
        c.ReadRequest(fd);
        FakeCaster::SendAll(fd, "SOURCETABLE 200 OK\r\n");
        for (int i = 0; i < 100 && !c.stopping(); ++i) {
            FakeCaster::SendAll(fd, "S");
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
    });
    std::string table, detail;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FetchSourcetable("127.0.0.1", caster.port(), {}, &table, &detail, 2000), FetchResult::kUnreachable);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(detail, "127.0.0.1:" + caster.port() + " sent no complete sourcetable within 2 s; given up");
}

// Runs the built program in a fresh directory; returns its exit status.
int RunProgram(const std::string& args, std::string* out) {
    const std::string command = std::string(ZERLAN_BINARY) + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[512];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out->append(buffer, n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SourcetableThreads, TheCommandPrintsOneLinePerEntryOrFailsWithAMessage) {
    testing::TempDir dir;
    {
        FakeCaster caster(Answer(kTable));
        std::string out;
        EXPECT_EQ(RunProgram("--sourcetable 127.0.0.1:" + caster.port(), &out), 0) << out;
        ASSERT_EQ(caster.received().size(), 1u);
        EXPECT_EQ(caster.received()[0],
                  "GET / HTTP/1.0\r\nUser-Agent: NTRIP MorvikV1.08-light\r\nAuthorization: Basic \r\n\r\n");
        EXPECT_NE(out.find("BERLIN0\tBerlin\tRTCM 3.2\t1004(1),1006(10)\t2\tGPS+GLO\tDEU\t52.52,13.40\n"),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find("SHORT\tShort\t"), std::string::npos);
    }
    {
        FakeCaster caster(Answer("ICY 200 OK\r\n"));
        std::string out;
        EXPECT_EQ(RunProgram("--sourcetable 127.0.0.1:" + caster.port(), &out), 1);
        EXPECT_NE(out.find("sent no sourcetable (ICY 200 OK)"), std::string::npos) << out;
    }
    std::string out;
    EXPECT_EQ(RunProgram("--sourcetable 127.0.0.1:" + ClosedPort(), &out), 1);
    EXPECT_NE(out.find(" cannot connect to 127.0.0.1:"), std::string::npos) << out;
}

}  // namespace
}  // namespace zerlan
