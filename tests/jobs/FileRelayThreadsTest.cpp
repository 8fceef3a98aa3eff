// A whole job on the view thread of the test: the file input replays a file,
// the file output writes what it relays, and the job ends by itself.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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


size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST_F(FileRelayThreads, AFileThatCannotBeOpenedIsNamedOnceAndOpenedWhenItCan) {
    ASSERT_EQ(ParseText(view_.settings(), "/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;FILE;Null;500;1;1;20\" "
                                          "/file_out,\"later\\out.txt,4096;FALSE;0;60;.\\;0896;k;none\""),
              0);
    view_.jobs().Start();
    ASSERT_TRUE(PumpUntil([&] { return renderer_.Shows("Can't open later/out.txt: No such file or directory"); },
                          5000));
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(Count(renderer_.shown, "Can't open later/out.txt"), 1u);
    ASSERT_EQ(mkdir("later", 0755), 0);
    EXPECT_TRUE(PumpUntil([&] { return testing::ReadFile("later/out.txt").find("MT16 ") == 0; }, 5000));
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

TEST_F(FileRelayThreads, AFailedWriteIsShownRecordedNotCountedAndItsLossReported) {
    ASSERT_EQ(mkdir("d", 0755), 0);
    ASSERT_EQ(ParseText(view_.settings(), "/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;FILE;Null;500;1;1;20\" "
                                          "/file_out,\"d\\out.txt,4096;FALSE;0;60;.\\;0896;k;none\""),
              0);
    view_.jobs().Start();
    ASSERT_TRUE(PumpUntil([&] { return testing::ReadFile("d/out.txt").find("\r\n") != std::string::npos; }, 5000));
    // The directory goes while the file is open.
    ASSERT_EQ(unlink("d/out.txt"), 0);
    ASSERT_EQ(rmdir("d"), 0);
    const std::string failure = "File-Output can't write d/out.txt: No such file or directory";
    ASSERT_TRUE(PumpUntil([&] { return renderer_.Shows(failure); }, 5000));
    const int32_t counted = state_.output_bar[static_cast<int>(OutputKind::kFile)].load();
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(state_.output_bar[static_cast<int>(OutputKind::kFile)].load(), counted);
    EXPECT_EQ(Count(renderer_.shown, failure), 1u);
    EXPECT_NE(testing::ReadFile("Protokol.dat").find("File-Output : failure, can't write d/out.txt: "),
              std::string::npos);
    ASSERT_EQ(mkdir("d", 0755), 0);
    EXPECT_TRUE(PumpUntil([&] { return renderer_.Shows("File-Output writes d/out.txt again, "); }, 5000));
    EXPECT_EQ(Count(renderer_.shown, " bytes lost"), 1u);
    EXPECT_TRUE(PumpUntil([&] { return testing::ReadFile("d/out.txt").find("MT16 ") == 0; }, 5000));
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

TEST_F(FileRelayThreads, AFullDiskIsAWriteFailureAndNothingIsCountedAsWritten) {
    ASSERT_EQ(symlink("/dev/full", "full"), 0);
    ASSERT_EQ(ParseText(view_.settings(), "/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;FILE;Null;500;1;1;20\" "
                                          "/file_out,\"full,4096;FALSE;0;60;.\\;0896;k;none\""),
              0);
    view_.jobs().Start();
    ASSERT_TRUE(PumpUntil(
        [&] { return renderer_.Shows("File-Output can't write full: No space left on device"); }, 5000));
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(state_.output_bar[static_cast<int>(OutputKind::kFile)].load(), 0);
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

}  // namespace
}  // namespace zerlan
