#include <gtest/gtest.h>

#include <cstdio>

#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Paths.h"

namespace zerlan {
namespace {

TEST(Paths, BackslashesAndFileSubstituteBecomeSlashes) {
    EXPECT_EQ(MapPath(".\\Protokol.dat"), "./Protokol.dat");
    EXPECT_EQ(MapPath("\\var\\log\\zerlan.dat"), "/var/log/zerlan.dat");
    EXPECT_EQ(MapPath("data\xBB" "out.txt"), "data/out.txt");
    EXPECT_EQ(MapPath("STDIN"), "STDIN");
    EXPECT_EQ(MapPath("STDOUT"), "STDOUT");
    EXPECT_EQ(RestoreSlashes("mount\xAFpoint", kNetSlashSubstitute), "mount/point");
}

TEST(FakeClock, AdvanceCarriesIntoTheCalendarAndKeepsTheWeekday) {
    FakeClock clock;
    clock.Set(LocalTime{2024, 12, 31, 23, 59, 59, 900, 0});
    EXPECT_EQ(clock.Now().weekday, 2);  // 31 December 2024 was a Tuesday
    clock.Advance(200);
    LocalTime t = clock.Now();
    EXPECT_EQ(t.year, 2025);
    EXPECT_EQ(t.month, 1);
    EXPECT_EQ(t.day, 1);
    EXPECT_EQ(t.hour, 0);
    EXPECT_EQ(t.second, 0);
    EXPECT_EQ(t.millisecond, 100);
    EXPECT_EQ(t.weekday, 3);
    EXPECT_EQ(clock.MonotonicMs(), 200);
    EXPECT_EQ(clock.EpochSeconds(), 1735689600);
}

TEST(FakeClock, InstallReplacesTheProcessClockUntilRestored) {
    FakeClock clock;
    clock.Set(LocalTime{2025, 2, 3, 9, 5, 7, 0, 0});
    Clock::Install(&clock);
    EXPECT_EQ(Clock::Get().Now().minute, 5);
    Clock::Install(nullptr);
    EXPECT_NE(&Clock::Get(), static_cast<Clock*>(&clock));
}

TEST(Console, MessageBoxGoesToTheInstalledSink) {
    std::string got;
    SetMessageBoxSink([&](const std::string& text, const std::string& title) { got = "[" + title + "] " + text; });
    MessageBox("First stop the current Job for new settings !", "No action !");
    SetMessageBoxSink(nullptr);
    EXPECT_EQ(got, "[No action !] First stop the current Job for new settings !");
}

TEST(Console, EveryLogLineStartsWithTheLocalTime) {
    FakeClock clock;
    clock.Set(LocalTime{2025, 2, 3, 9, 5, 7, 0, 1});
    Clock::Install(&clock);
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    WriteLogLines(out, "\r\nwritten in ProtocolFile\r\nsecond\nlast without end");
    std::rewind(out);
    char buffer[256] = {};
    buffer[std::fread(buffer, 1, sizeof buffer - 1, out)] = '\0';
    std::fclose(out);
    Clock::Install(nullptr);
    EXPECT_STREQ(buffer,
                 "2025-02-03 09:05:07 written in ProtocolFile\n"
                 "2025-02-03 09:05:07 second\n"
                 "2025-02-03 09:05:07 last without end\n");
}

}  // namespace
}  // namespace zerlan
