#include "supervision/Protocol.h"

#include <sys/stat.h>

#include <sstream>
#include <thread>

#include "support/StateFixture.h"

namespace zerlan {
namespace {

using ProtocolTest = testing::StateFixture;

// The record lines themselves are checked where the watches write them.
TEST_F(ProtocolTest, PathSeparatorsAndAFileThatCannotBeOpened) {
    // Backslashes and the 0xBB substitute are path separators.
    ASSERT_EQ(mkdir("logs", 0755), 0);
    EXPECT_EQ(WriteEventRecord("FH", "full_hour", "logs\\a.dat"), 0);
    EXPECT_EQ(WriteEventRecord("ND", "new_day", "logs\xBB" "a.dat"), 0);
    EXPECT_EQ(ReadFile("logs/a.dat"), "FH : full_hour\nND : new_day\n");

    // No name: nothing written, nothing shown; an unopenable file is shown
    // once per watch record, never for an event record.
    const char* missing = ".\\no-such-dir\\Protokol.dat";
    EXPECT_EQ(WriteProtocol(shared_, "Low", "failure", "", 3), 2);
    EXPECT_EQ(WriteEventRecord("FH", "full_hour", ""), 2);
    EXPECT_EQ(WriteEventRecord("General-Stop", "x", missing), 2);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(WriteProtocol(shared_, "Low", "failure", missing, 3), 2);
    EXPECT_EQ(WriteStatusRecord(shared_, "NoGpsFkp", "x", missing), 2);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"\r\nCant't open ProtocolFile!!", "\r\nCant't open ProtocolFile!!"}));
    EXPECT_EQ(Ids(), (std::vector<uint32_t>{msg::kDisplayText, msg::kDisplayText}));
}

using ProtocolThreads = testing::StateFixture;

TEST_F(ProtocolThreads, ConcurrentRecordsKeepEveryLineWhole) {
    constexpr int kThreads = 4;
    constexpr int kLines = 300;
    std::vector<std::thread> threads;
    const std::string text(200, 'x');
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &text] {
            for (int i = 0; i < kLines; ++i) WriteEventRecord("T" + std::to_string(t), text, kDefaultProtocolFile);
        });
    }
    for (auto& th : threads) th.join();
    std::istringstream in(ReadFile("Protokol.dat"));
    int count = 0;
    for (std::string line; std::getline(in, line); ++count) EXPECT_EQ(line.substr(2), " : " + text);
    EXPECT_EQ(count, kThreads * kLines);
}

}  // namespace
}  // namespace zerlan
