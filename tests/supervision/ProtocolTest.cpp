#include "supervision/Protocol.h"

#include <sys/stat.h>

#include <sstream>
#include <thread>

#include "SupervisionFixture.h"

namespace zerlan {
namespace {

using ProtocolTest = SupervisionFixture;

TEST_F(ProtocolTest, RecordKindsAndTheirLines) {
    EXPECT_EQ(WriteProtocol(shared_, "TcpClient-Input", "no_failure, TcpClientIn-Start", kDefaultProtocolFile, 42), 0);
    EXPECT_EQ(WriteProtocol(shared_, "Low", "failure 3 Byte", kDefaultProtocolFile, 9), 0);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(WriteStatusRecord(shared_, "NoGpsFkp", "no Gps-FKP", kDefaultProtocolFile), 0);
    EXPECT_EQ(ReadFile("Protokol.dat"),
              "NF TcpClient-Input : no_failure, TcpClientIn-Start\n"
              "ZW Low : failure 3 Byte 9\nSW NoGpsFkp : no Gps-FKP\n");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"\r\nwritten in ProtocolFile\r\n"}));
    // Backslashes and the 0xBB substitute are path separators.
    ASSERT_EQ(mkdir("logs", 0755), 0);
    EXPECT_EQ(WriteEventRecord("FH", "full_hour", "logs\\a.dat"), 0);
    EXPECT_EQ(WriteEventRecord("ND", "new_day", "logs\xBB" "a.dat"), 0);
    EXPECT_EQ(ReadFile("logs/a.dat"), "FH : full_hour\nND : new_day\n");
}

TEST_F(ProtocolTest, AnUnopenableFileIsShownOncePerRecordAnEmptyNameNever) {
    const char* missing = ".\\no-such-dir\\Protokol.dat";
    EXPECT_EQ(WriteProtocol(shared_, "Low", "failure", "", 3), 2);
    EXPECT_EQ(WriteEventRecord("FH", "full_hour", ""), 2);
    EXPECT_EQ(WriteEventRecord("General-Stop", "x", missing), 2);  // silently
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(WriteProtocol(shared_, "Low", "failure", missing, 3), 2);
    EXPECT_EQ(WriteStatusRecord(shared_, "NoGpsFkp", "x", missing), 2);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"\r\nCant't open ProtocolFile!!", "\r\nCant't open ProtocolFile!!"}));
    EXPECT_EQ(Ids(), (std::vector<uint32_t>{msg::kDisplayText, msg::kDisplayText}));
}

using ProtocolThreads = SupervisionFixture;

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
