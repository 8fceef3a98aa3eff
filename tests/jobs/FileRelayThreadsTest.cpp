// The rotating file output's names and commands, and whole jobs with the file input and output.
#include <sys/stat.h>
#include <unistd.h>

#include "support/RelayJob.h"
#include "jobs/RotatingFileWriter.h"
#include "platform/Process.h"

namespace zerlan {
namespace {

using testing::Count;
using testing::ReadFile;

const NowStrings kMoment{"03", "02", "2025", "09", "05", "00"};

TEST(CommandFile, TheCommandNamesTheFileJustClosed) {
    const std::string text = CommandFileText("copy % x.bak", "A", kMoment);
    EXPECT_EQ(text.rfind("@echo off\nREM ", 0), 0u);
    EXPECT_NE(text.find("REM Created of MorvikV1.08-zezur1 at 03.02.2025 09:05:00\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 14), "\ncopy A x.bak\n");
    // Only the command line reaches the shell.
    EXPECT_EQ(CommandFileScript(text), "copy A x.bak\n");
}

TEST(CommandFile, AReplacementGrowingTooLongKeepsTheCommandAsWritten) {
    const std::string long_name(300, 'n');
    const std::string text = CommandFileText("cp % % % %", long_name, kMoment);
    EXPECT_NE(text.find("\ncp % % % %\n"), std::string::npos);
    EXPECT_FALSE(CommandFits("cp % % % %", long_name));  // so it is not run at all
    EXPECT_TRUE(CommandFits("cp % x", long_name));
    EXPECT_NE(CommandFileText("mv %\xBB" "tmp", "B", kMoment).find("\nmv B/tmp\n"), std::string::npos);
}

TEST(RotatingFile, AStalledPassStillRotatesAtTheFirstCheckOfTheNewMinute) {
    testing::TempDir dir;
    FakeClock clock;
    Clock::Install(&clock);
    SharedState state;
    state.registry.SetState(1, 0);
    {
        WorkerScope worker(state.registry, 0, "File-Out-TH");
        RotatingFileParams p{"rot", "4096", true, "0", "5", ".\\", "base", "txt", "none"};
        clock.Set(LocalTime{2025, 2, 3, 9, 4, 58, 0, 1});
        RotatingFileWriter writer(state, worker, p);
        ASSERT_TRUE(writer.Open());
        const std::string first = writer.name();
        writer.CheckRotation();
        EXPECT_EQ(writer.name(), first);
        // The pass that would have seen second 0 came late.
        clock.Set(LocalTime{2025, 2, 3, 9, 5, 1, 0, 1});
        writer.CheckRotation();
        EXPECT_NE(writer.name(), first);
        EXPECT_TRUE(writer.Write("x", 1));
    }
    state.registry.SetState(0, 2);
    Clock::Install(nullptr);
}

class FileRelayThreads : public testing::RelayJob {
protected:
    void StartDummyInto(const std::string& file) {
        Configure("/inout_sw,\"DUMMY;Null;Null;Null;Null;Null;FILE;Null;500;1;1;20\"" + testing::FileOut(file));
        view_.jobs().Start();
    }
    int32_t Counted() { return state_.output_bar[static_cast<int>(OutputKind::kFile)].load(); }
};

TEST_F(FileRelayThreads, AFileIsRelayedWholeAndTheJobEndsAtItsEnd) {
    const std::string input = testing::Pattern(2500);
    testing::WriteFile("in.bin", input);
    Configure("/inout_sw,\"FILE;Null;Null;Null;Null;Null;FILE;Null;1000;1;1;100\" /file_in,\"in.bin\"" +
              testing::FileOut("out.bin"));
    view_.jobs().Start();
    ASSERT_TRUE(view_.jobs().EverStarted());
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }, 10000));
    EXPECT_EQ(ReadFile("out.bin"), input);
    EXPECT_TRUE(renderer_.Shows("File-Open from in.bin !"));
    EXPECT_TRUE(renderer_.Shows("File-Open of out.bin !"));
    // The general stop writes its record just after telling the view.
    EXPECT_TRUE(PumpUntil(
        [] { return testing::Protocol().find("General-Stop : no_failure, all_Process_closed") != std::string::npos; },
        5000));
}

TEST_F(FileRelayThreads, AFileThatCannotBeOpenedIsNamedOnceAndOpenedWhenItCan) {
    StartDummyInto("later\\out.txt");
    ASSERT_TRUE(Shown("Can't open later/out.txt: No such file or directory"));
    PumpFor(200);
    EXPECT_EQ(Count(renderer_.shown, "Can't open later/out.txt"), 1);
    ASSERT_EQ(mkdir("later", 0755), 0);
    EXPECT_TRUE(PumpUntil([&] { return ReadFile("later/out.txt").find("MT16 ") == 0; }, 5000));
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

TEST_F(FileRelayThreads, AFailedWriteIsShownRecordedNotCountedAndItsLossReported) {
    ASSERT_EQ(mkdir("d", 0755), 0);
    StartDummyInto("d\\out.txt");
    ASSERT_TRUE(PumpUntil([&] { return ReadFile("d/out.txt").find("\r\n") != std::string::npos; }, 5000));
    // The directory goes while the file is open.
    ASSERT_EQ(unlink("d/out.txt"), 0);
    ASSERT_EQ(rmdir("d"), 0);
    const std::string failure = "File-Output can't write d/out.txt: No such file or directory";
    ASSERT_TRUE(Shown(failure));
    const int32_t counted = Counted();
    PumpFor(300);
    EXPECT_EQ(Counted(), counted);
    EXPECT_EQ(Count(renderer_.shown, failure), 1);
    EXPECT_NE(testing::Protocol().find("File-Output : failure, can't write d/out.txt: "), std::string::npos);
    ASSERT_EQ(mkdir("d", 0755), 0);
    EXPECT_TRUE(Shown("File-Output writes d/out.txt again, "));
    EXPECT_EQ(Count(renderer_.shown, " bytes lost"), 1);
    EXPECT_TRUE(PumpUntil([&] { return ReadFile("d/out.txt").find("MT16 ") == 0; }, 5000));
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

TEST_F(FileRelayThreads, AFullDiskIsAWriteFailureAndNothingIsCountedAsWritten) {
    ASSERT_EQ(symlink("/dev/full", "full"), 0);
    StartDummyInto("full");
    ASSERT_TRUE(Shown("File-Output can't write full: No space left on device"));
    PumpFor(200);
    EXPECT_EQ(Counted(), 0);
    EXPECT_TRUE(StopAndWaitIdle(10000));
}

}  // namespace
}  // namespace zerlan
