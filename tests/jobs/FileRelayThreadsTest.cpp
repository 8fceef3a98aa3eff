// A whole job on the view thread of the test: the file input replays a file,
// the file output writes what it relays, and the job ends by itself.
#include <gtest/gtest.h>

#include "RelayTestSupport.h"

namespace zerlan {
namespace {

using FileRelayThreads = testing::RelayJob;

TEST_F(FileRelayThreads, AFileIsRelayedWholeAndTheJobEndsAtItsEnd) {
    std::string input;
    for (int i = 0; i < 2500; ++i) input += static_cast<char>(i * 7 % 256);
    testing::WriteFile("in.bin", input);
    ASSERT_EQ(ParseText(view_.settings(),
                        "/inout_sw,\"FILE;Null;Null;Null;Null;Null;FILE;Null;1000;1;1;100\" /file_in,\"in.bin\" "
                        "/file_out,\"out.bin,4096;FALSE;0;60;.\\;0896;k;none\""),
              0);
    view_.jobs().Start();
    ASSERT_TRUE(view_.jobs().EverStarted());
    ASSERT_TRUE(PumpUntil([&] { return state_.registry.GetState() == 2; }, 10000));
    EXPECT_EQ(state_.registry.Query(1), 0);
    EXPECT_EQ(testing::ReadFile("out.bin"), input);
    EXPECT_NE(renderer_.shown.find("File-Open from in.bin !"), std::string::npos);
    EXPECT_NE(renderer_.shown.find("File-Open of out.bin !"), std::string::npos);
    // The general stop writes its record just after telling the view.
    EXPECT_TRUE(PumpUntil(
        [] {
            return testing::ReadFile("Protokol.dat").find("General-Stop : no_failure, all_Process_closed") !=
                   std::string::npos;
        },
        5000));
}

TEST_F(FileRelayThreads, TheDummyGeneratorWritesStampedLinesUntilStopped) {
    ASSERT_EQ(ParseText(view_.settings(),
                        "/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;FILE;Null;500;1;1;20\" "
                        "/file_out,\"dummy.txt,4096;FALSE;0;60;.\\;0896;k;none\""),
              0);
    view_.jobs().Start();
    ASSERT_TRUE(PumpUntil(
        [&] {
            std::string text = testing::ReadFile("dummy.txt");
            return std::count(text.begin(), text.end(), '\n') >= 3;
        },
        5000));
    view_.jobs().Stop();
    ASSERT_TRUE(PumpUntil([&] { return state_.registry.GetState() == 2; }, 10000));
    std::string text = testing::ReadFile("dummy.txt");
    EXPECT_EQ(text.rfind("MT16 ", 0), 0u);
    EXPECT_NE(text.find("\r\n"), std::string::npos);
}

}  // namespace
}  // namespace zerlan
