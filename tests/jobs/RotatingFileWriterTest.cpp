#include "jobs/RotatingFileWriter.h"

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "platform/Process.h"
#include "support/TempDir.h"

namespace zerlan {
namespace {

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

}  // namespace
}  // namespace zerlan
