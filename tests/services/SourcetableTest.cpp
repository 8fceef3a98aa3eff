#include "services/Sourcetable.h"

#include <netdb.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform/Socket.h"
#include "support/FakeCaster.h"
#include "support/ZerlanRun.h"

namespace zerlan {
namespace {

using testing::FakeCaster;
using Steady = std::chrono::steady_clock;

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
    const auto start = Steady::now();
    EXPECT_EQ(FetchSourcetable("127.0.0.1", caster.port(), {}, &table, &detail, 2000), FetchResult::kUnreachable);
    EXPECT_LT(Steady::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(detail, "127.0.0.1:" + caster.port() + " sent no complete sourcetable within 2 s; given up");
}

TEST(SourcetableThreads, TheCommandPrintsOneLinePerEntryOrFailsWithAMessage) {
    testing::TempDir dir;
    const std::string command = std::string(ZERLAN_BINARY) + " --sourcetable 127.0.0.1:";
    FakeCaster caster(Answer(
        "SOURCETABLE 200 OK\r\nServer: Test Caster/1.0\r\nContent-Type: text/plain\r\n\r\n"
        "CAS;caster.example.net;2101;Example;Org;0;DEU;52.5;13.4;0.0.0.0;0;http://x\r\n"
        "NET;EX;Org;B;N;http://x;http://y;mail;none\r\n"
        "STR;BERLIN0;Berlin;RTCM 3.2;1004(1),1006(10);2;GPS+GLO;EX;DEU;52.52;13.40;0;0;sNTRIP;none;B;N;9600;\r\n"
        "STR;SHORT;Short\r\nENDSOURCETABLE\r\n"));
    const testing::RunResult r = testing::Capture(command + caster.port() + " 2>&1");
    EXPECT_EQ(r.status, 0) << r.out;
    const char* request = "GET / HTTP/1.0\r\nUser-Agent: NTRIP MorvikV1.08-light\r\n"
                          "Authorization: Basic \r\n\r\n";
    EXPECT_EQ(caster.received(), std::vector<std::string>{request});
    EXPECT_TRUE(testing::Has(r.out, "BERLIN0\tBerlin\tRTCM 3.2\t1004(1),1006(10)\t2\tGPS+GLO\tDEU\t52.52,13.40\n"))
        << r.out;
    EXPECT_TRUE(testing::Has(r.out, "SHORT\tShort\t"));

    FakeCaster icy(Answer("ICY 200 OK\r\n"));
    for (const auto& [port, message] : {std::pair{icy.port(), "sent no sourcetable (ICY 200 OK)"},
                                        {testing::ClosedPort(), " cannot connect to 127.0.0.1:"}}) {
        const testing::RunResult failed = testing::Capture(command + port + " 2>&1");
        EXPECT_EQ(failed.status, 1);
        EXPECT_TRUE(testing::Has(failed.out, message)) << failed.out;
    }
}

std::atomic<int> slow_lookups_done{0};

int SlowLookup(const char*, uint32_t* address) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    *address = 0x7F000001;
    ++slow_lookups_done;
    return 0;
}

int TableLookup(const char* name, uint32_t* address) {
    if (std::string(name) != "caster.test") return EAI_NONAME;
    *address = 0x7F000001;
    return 0;
}

struct LookupSeam {
    explicit LookupSeam(sock::NameLookup lookup) { sock::SetNameLookup(lookup); }
    ~LookupSeam() { sock::SetNameLookup(nullptr); }
};

TEST(SourcetableLookupThreads, AHangingNameLookupIsGivenUpAtTheDeadline) {
    LookupSeam seam(&SlowLookup);
    std::string table, detail;
    const auto start = Steady::now();
    EXPECT_EQ(FetchSourcetable("caster.test", "2101", {}, &table, &detail, 1000), FetchResult::kUnreachable);
    const auto took = Steady::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::milliseconds(1800));
    EXPECT_EQ(detail, "the name lookup of caster.test gave no answer within 1 s; given up");
    // The abandoned lookup still ends on its own.
    EXPECT_TRUE(testing::WaitFor([] { return slow_lookups_done.load() == 1; }, 5000));
}

TEST(SourcetableLookupThreads, ANameIsLookedUpOrItsFailureNamed) {
    FakeCaster caster(Answer("SOURCETABLE 200 OK\r\n\r\nSTR;M1;x;RTCM 3;;2;GPS;N;DEU;50.1;8.6;0;0;x;none;B;N;0;\r\n"
                             "ENDSOURCETABLE\r\n"));
    LookupSeam seam(&TableLookup);
    std::string table, detail;
    ASSERT_EQ(FetchSourcetable("caster.test", caster.port(), {}, &table, &detail), FetchResult::kTable) << detail;
    EXPECT_EQ(ParseSourcetable(table).size(), 1u);

    EXPECT_EQ(FetchSourcetable("nowhere.test", caster.port(), {}, &table, &detail), FetchResult::kUnreachable);
    EXPECT_EQ(detail, "cannot connect to nowhere.test:" + caster.port() + ": " + sock::ErrorText(EAI_NONAME));
}

}  // namespace
}  // namespace zerlan
