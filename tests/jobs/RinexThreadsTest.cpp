// The RINEX encoder thread and the RINEX TCP server in whole jobs.
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "support/RelayJob.h"
#include "app/RinexCommand.h"
#include "core/CharPool.h"
#include "jobs/RinexThreads.h"
#include "platform/Sleep.h"

namespace zerlan {
namespace {

using testing::Count;
using testing::FreePort;
namespace fs = std::filesystem;

const std::string kExample = std::string(ZERLAN_SOURCE_DIR) + "/examples/example.rtcm2";

// The records of every RINEX file below `dir`, without the epochs' date and hour (read from the clock).
std::string Records(const std::string& dir) {
    std::string all;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".rxo") continue;
        const std::string text = testing::ReadFile(entry.path().string());
        std::istringstream in(text.substr(text.find("END OF HEADER") + 21));
        for (std::string line; std::getline(in, line);) {
            all += (line.size() > 28 && line[18] == '.' && line[28] == '0' ? line.substr(13) : line) + "\n";
        }
    }
    return all;
}

bool Empty(CharPool& pool) {
    const int slots = pool.SlotCount();
    for (int slot = 0; slot < slots; ++slot) {
        if (pool.Fill(slot) != 0) return false;
    }
    return slots >= 0;
}

class RinexThreads : public testing::RelayJob {
protected:
    // RINEX files under "job", and to TCP clients on `rinex_port` when given. The PC-minus-UTC
    // shift puts the clock half a minute into its hour, so no epoch is taken for a neighbouring hour.
    void ConfigureRinex(const std::string& input, const std::string& rinex_port = "") {
        const LocalTime now = Clock::Get().Now();
        const std::string shift = std::to_string(now.minute * 60 + now.second - 30);
        Configure(input + " /dec_out,\"FALSE;x;FALSE;a,4096;FALSE;" + FreePort() + ";1;FALSE;FALSE,60;TRUE\"" +
                  " /rinex,\"TRUE;TRUE;TRUE;1;" + shift + ";0;60;job;0000;x.hdr;" +
                  (rinex_port.empty() ? "FALSE" : "TRUE") + ";" + (rinex_port.empty() ? "4006" : rinex_port) +
                  ";2;15.0\"");
    }
};

TEST_F(RinexThreads, AReplayedFileJobWritesWhatTheBatchCommandWrites) {
    testing::WriteFile("in.rtcm2", testing::ReadFile(kExample));
    ConfigureRinex("/inout_sw,\"FILE;Null;Null;Null;Null;Null;Null;RTCM;500;1;-1;20\" /file_in,\"in.rtcm2\"");
    view_.jobs().Start();
    EXPECT_TRUE(renderer_.Shows("Decoder-RinexData Thread !"));
    ASSERT_TRUE(PumpUntil([&] { return state_.registry.GetState() == 2; }, 15000));
    EXPECT_TRUE(renderer_.Shows("Start of RinexEncoder !"));

    fs::create_directory("batch");
    ASSERT_EQ(chdir("batch"), 0);
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(RunRinexCommand(view_.settings(), {kExample, "", 1, true}, err), 0);
    std::fclose(err);
    ASSERT_EQ(chdir(".."), 0);
    const std::string job = Records("job");
    // All 20 epochs: the last four come from the ring at the stop.
    EXPECT_EQ(Count(job, "  0 06G"), 20);
    EXPECT_EQ(job, Records("batch"));
}

TEST_F(RinexThreads, ATcpClientReceivesTheRecordsTheFileGets) {
    const std::string port = FreePort();
    ConfigureRinex("/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;Null;RTCM;500;1;1;1000\"", port);
    view_.jobs().Start();
    EXPECT_TRUE(renderer_.Shows("Rinex-Tcp-Out Thread !"));
    CBlockingSocket client;
    ASSERT_TRUE(ConnectClient(client, port));
    ASSERT_TRUE(Shown("Accept on Port " + port + " !"));

    // Decoded lines one epoch at a time, each taken by the encoder and the server before the next.
    std::string got;
    auto receive = [&] { testing::TakeReady(client, got); };
    for (int second = 1; second <= 12; ++second) {
        std::string lines;
        for (int sv : {2, 5, 12}) {
            char line[300];
            std::snprintf(line, sizeof line,
                          "MT19 SV %i ZCount %.1lf GPSSec 0.0000000 Freq 0_L1:0.1905m SmoothInterv 0_0-1_Min "
                          "0_C/A-Code 7_PR-DataQuality_<=_0.329m 15_MultipathError_not_determined FktPR 0.020 "
                          "PR %.3lf MMI 0\r\n",
                          sv, second * 1.0, 2e7 + sv * 1000 + second);
            lines += line;
        }
        while (state_.decoded_text_pool.Write(lines.data(), static_cast<int>(lines.size())) < 0) Sleep(1);
        ASSERT_TRUE(PumpUntil(
            [&] {
                receive();
                return Empty(state_.decoded_text_pool) && Empty(state_.rinex_pool);
            },
            5000));
    }
    auto file = [] {
        std::string text;
        for (const auto& entry : fs::directory_iterator("job")) text += testing::ReadFile(entry.path().string());
        return text;
    };
    const char* kEpoch = "  0 03G";
    // Twelve epochs: the ring holds the last four back.
    ASSERT_TRUE(PumpUntil(
        [&] {
            receive();
            return Count(got, kEpoch) == 8;
        },
        5000));
    EXPECT_EQ(got, file());
    EXPECT_EQ(state_.registry.Query(9), 2);  // the client's thread and the next acceptor
    EXPECT_TRUE(StopAndWaitIdle(10000));
    EXPECT_EQ(state_.registry.Query(9), 0);
    EXPECT_EQ(state_.rinex_tcp_out_server_started.load(), 0);
    // The stop writes the four epochs of the ring to the file.
    const std::string written = file();
    EXPECT_EQ(written.substr(0, got.size()), got);
    EXPECT_EQ(Count(written, kEpoch), 12);
}

TEST_F(RinexThreads, APortSharedWithTheTcpInputStartsNoServerButTheEncoder) {
    ConfigureRinex("/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;Null;RTCM;500;1;-1;20\" /tcp_in,\"x;4321;FALSE\"",
                   "4321");
    view_.jobs().Start();
    EXPECT_FALSE(renderer_.Shows("Rinex-Tcp-Out Thread !"));
    EXPECT_TRUE(renderer_.Shows("Decoder-RinexData Thread !"));
    EXPECT_NE(view_.model().warning_text.find("Rinex-TcpOutPort is the same like TcpInPort"), std::string::npos);
    EXPECT_EQ(state_.rinex_tcp_out_server_started.load(), 0);
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

TEST(RinexPoolText, ARecordLongerThanAPoolBlockArrivesWhole) {
    CharPool pool;
    const int slot = pool.AddEnabledReader();
    std::string record;
    for (int i = 0; i < 50; ++i) record += std::string(64, static_cast<char>('a' + i % 26)) + "\n";
    ASSERT_TRUE(WriteRinexText(pool, record, false, nullptr));
    std::vector<char> buffer(CharPool::kBufferSize);
    EXPECT_EQ(std::string(buffer.data(), static_cast<size_t>(pool.Read(buffer.data(), slot))), record);
}

}  // namespace
}  // namespace zerlan
