#include "supervision/Protocol.h"

#include <thread>

#include "SupervisionFixture.h"

namespace zerlan {
namespace {

using ProtocolTest = SupervisionFixture;

TEST_F(ProtocolTest, NoFailureTextsAreNfLinesOthersZwWithDuration) {
    EXPECT_EQ(WriteProtocol(shared_, "TcpClient-Input", "no_failure, TcpClientIn-Start 03.02.2025  09:05:00",
                            kDefaultProtocolFile, 42),
              0);
    EXPECT_EQ(WriteProtocol(shared_, "Low", "failure 3 Byte, start_of_failure 03.02.2025  09:05:01",
                            kDefaultProtocolFile, 9),
              0);
    EXPECT_EQ(WriteProtocol(shared_, "Low", "no_failure", kDefaultProtocolFile, -1), 0);
    EXPECT_EQ(ReadFile("Protokol.dat"),
              "NF TcpClient-Input : no_failure, TcpClientIn-Start 03.02.2025  09:05:00\n"
              "ZW Low : failure 3 Byte, start_of_failure 03.02.2025  09:05:01 9\n"
              "NF Low : no_failure\n");
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ProtocolTest, EmptyNameWritesNothingAndShowsNothing) {
    EXPECT_EQ(WriteProtocol(shared_, "Low", "failure", "", 3), 2);
    EXPECT_EQ(WriteEventRecord("FH", "full_hour", ""), 2);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ProtocolTest, UnopenableFileIsShownOncePerRecord) {
    EXPECT_EQ(WriteProtocol(shared_, "Low", "failure", ".\\no-such-dir\\Protokol.dat", 3), 2);
    EXPECT_EQ(WriteProtocol(shared_, "Low", "no_failure", ".\\no-such-dir\\Protokol.dat", 3), 2);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"\r\nCant't open ProtocolFile!!", "\r\nCant't open ProtocolFile!!"}));
    EXPECT_EQ(Ids(), (std::vector<uint32_t>{msg::kDisplayText, msg::kDisplayText}));
}

TEST_F(ProtocolTest, BackslashAndSubstitutePathsAreMapped) {
    ASSERT_EQ(mkdir("logs", 0755), 0);
    EXPECT_EQ(WriteEventRecord("FH", "full_hour", "logs\\a.dat"), 0);
    EXPECT_EQ(WriteEventRecord("ND", "new_day", "logs\xBB" "a.dat"), 0);
    EXPECT_EQ(ReadFile("logs/a.dat"), "FH : full_hour\nND : new_day\n");
}

TEST_F(ProtocolTest, EventRecordFailsSilently) {
    EXPECT_EQ(WriteEventRecord("General-Stop", "x", ".\\no-such-dir\\p.dat"), 2);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ProtocolTest, StatusRecordIsAnSwLineAndSaysSo) {
    EXPECT_EQ(WriteStatusRecord(shared_, "NoGpsFkp", "no Gps-FKP, start_of_failure 03.02.2025  09:05:00",
                                kDefaultProtocolFile),
              0);
    EXPECT_EQ(ReadFile("Protokol.dat"), "SW NoGpsFkp : no Gps-FKP, start_of_failure 03.02.2025  09:05:00\n");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"\r\nwritten in ProtocolFile\r\n"}));

    messages_.clear();
    EXPECT_EQ(WriteStatusRecord(shared_, "NoGpsFkp", "x", ".\\no-such-dir\\p.dat"), 2);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"\r\nCant't open ProtocolFile!!"}));
}

TEST_F(ProtocolTest, MarkerFileIsCreatedEmptyAndEmptiedAgain) {
    CreateMarkerFile("Minimal-Reset");
    EXPECT_TRUE(Exists("Minimal-Reset"));
    {
        std::ofstream out("Minimal-Reset");
        out << "left over";
    }
    CreateMarkerFile("Minimal-Reset");
    EXPECT_EQ(ReadFile("Minimal-Reset"), "");
    CreateMarkerFile("no-such-dir/x");  // ignored, no crash
    EXPECT_FALSE(Exists("no-such-dir"));
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
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        ++count;
        EXPECT_EQ(line.substr(2), " : " + text);
    }
    EXPECT_EQ(count, kThreads * kLines);
}

}  // namespace
}  // namespace zerlan
