#include "jobs/RotatingFileWriter.h"

#include <gtest/gtest.h>

#include "platform/Process.h"

namespace zerlan {
namespace {

NowStrings Moment() {
    NowStrings now;
    std::snprintf(now.day, sizeof now.day, "03");
    std::snprintf(now.month, sizeof now.month, "02");
    std::snprintf(now.year, sizeof now.year, "2025");
    std::snprintf(now.hour, sizeof now.hour, "09");
    std::snprintf(now.minute, sizeof now.minute, "05");
    std::snprintf(now.second, sizeof now.second, "00");
    return now;
}

TEST(CommandFile, TheCommandNamesTheFileJustClosed) {
    const std::string text = CommandFileText("copy % x.bak", "A", Moment());
    EXPECT_EQ(text.rfind("@echo off\nREM ", 0), 0u);
    EXPECT_NE(text.find("REM Created of MorvikV1.08-zezur1 at 03.02.2025 09:05:00\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 14), "\ncopy A x.bak\n");
    // Only the command line reaches the shell.
    EXPECT_EQ(CommandFileScript(text), "copy A x.bak\n");
}

TEST(CommandFile, AReplacementGrowingTooLongKeepsTheCommandAsWritten) {
    const std::string long_name(300, 'n');
    const std::string text = CommandFileText("cp % % % %", long_name, Moment());
    EXPECT_NE(text.find("\ncp % % % %\n"), std::string::npos);
    EXPECT_NE(CommandFileText("mv %\xBB" "tmp", "B", Moment()).find("\nmv B/tmp\n"), std::string::npos);
}

}  // namespace
}  // namespace zerlan
