// The sourcetable search's deadline covers the name lookup too: a resolver
// that hangs is given up on in time, and a lookup's answer or failure is used.
#include <netdb.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/Socket.h"
#include "services/Sourcetable.h"
#include "support/FakeCaster.h"

namespace zerlan {
namespace {

using testing::FakeCaster;

std::atomic<int> slow_lookups_done{0};

int SlowLookup(const char*, uint32_t* address) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    *address = 0x7F000001;
    ++slow_lookups_done;
    return 0;
}

// "caster.test" is the loopback; every other name is unknown.
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
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FetchSourcetable("caster.test", "2101", {}, &table, &detail, 1000), FetchResult::kUnreachable);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::milliseconds(1800));
    EXPECT_EQ(detail, "the name lookup of caster.test gave no answer within 1 s; given up");
    // The abandoned lookup still ends on its own.
    for (int i = 0; i < 500 && slow_lookups_done.load() == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(slow_lookups_done.load(), 1);
}

TEST(SourcetableLookupThreads, ANameIsLookedUpOrItsFailureNamed) {
    FakeCaster caster([](FakeCaster& c, int fd, int) {
        c.ReadRequest(fd);
        FakeCaster::SendAll(fd, "SOURCETABLE 200 OK\r\n\r\nSTR;M1;x;RTCM 3;;2;GPS;N;DEU;50.1;8.6;0;0;x;none;B;N;0;\r\n"
                                "ENDSOURCETABLE\r\n");
    });
    LookupSeam seam(&TableLookup);
    std::string table, detail;
    ASSERT_EQ(FetchSourcetable("caster.test", caster.port(), {}, &table, &detail), FetchResult::kTable) << detail;
    EXPECT_EQ(ParseSourcetable(table).size(), 1u);

    EXPECT_EQ(FetchSourcetable("nowhere.test", caster.port(), {}, &table, &detail), FetchResult::kUnreachable);
    EXPECT_EQ(detail, "cannot connect to nowhere.test:" + caster.port() + ": " + sock::ErrorText(EAI_NONAME));
}

}  // namespace
}  // namespace zerlan
