#include "encoder/RotationNamer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "core/GlobalSeconds.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace zerlan {
namespace {

int32_t At(const std::string& date, const std::string& time) { return GlobalSeconds().SecondsOf(date, time); }

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(RotationNamerTest, NamesForEachPeriodKind) {
    RotationNamer n;
    const int32_t t = At("05.12.2011", "10:20:00");  // day 339
    EXPECT_EQ(n.NameForTime(0, 15, "0000", "o", ".\\", t), ".\\\\0000339k.41o");
    EXPECT_EQ(n.file_name(), "0000339k.41o");
    EXPECT_EQ(n.daily(), 0);
    n.NameForTime(0, 60, "0000", "xo", ".\\", t);
    EXPECT_EQ(n.file_name(), "0000339k.rxo");
    EXPECT_EQ(n.slot_code(), "r");
    n.NameForTime(0, 0, "0000", "xo", ".\\", t);
    EXPECT_EQ(n.file_name(), "0000339.rxo");
    EXPECT_EQ(n.daily(), 1);
    // A period without slots has neither slot code nor extension.
    for (int odd : {7, 45, -4, 1}) {
        n.NameForTime(0, odd, "0000", "o", "base", t);
        EXPECT_EQ(n.file_name(), "0000339k.") << odd;
        EXPECT_EQ(n.daily(), 0);
    }
}

TEST(RotationNamerTest, SlotCodesAtTheEdgesOfTheHour) {
    struct Case {
        int period;
        const char* first;
        const char* last;
    };
    const Case cases[] = {{4, "f0", "fe"},  {5, "c0", "cb"},  {6, "a0", "a9"},  {10, "60", "65"},
                          {12, "50", "54"}, {15, "40", "43"}, {20, "30", "32"}, {30, "20", "21"}};
    RotationNamer n;
    for (const Case& c : cases) {
        n.NameForTime(0, c.period, "p", "", "b", At("05.12.2011", "10:00:00"));
        EXPECT_EQ(n.slot_code(), c.first) << c.period;
        n.NameForTime(0, c.period, "p", "", "b", At("05.12.2011", "10:59:59"));
        EXPECT_EQ(n.slot_code(), c.last) << c.period;
    }
    // A new slot starts exactly at its boundary.
    n.NameForTime(0, 15, "p", "", "b", At("05.12.2011", "10:14:59"));
    EXPECT_EQ(n.slot_code(), "40");
    n.NameForTime(0, 15, "p", "", "b", At("05.12.2011", "10:15:00"));
    EXPECT_EQ(n.slot_code(), "41");
}

TEST(RotationNamerTest, HourLettersAndPaddedDateParts) {
    RotationNamer n;
    n.NameForTime(1, 60, "abcd", "o", "b", At("05.01.2025", "00:30:00"));
    EXPECT_EQ(n.hour_letter(), 'a');
    EXPECT_EQ(n.directory(), "\\2025\\01\\005");
    EXPECT_EQ(n.file_name(), "abcd005a.ro");
    n.NameForTime(1, 60, "abcd", "o", "b", At("31.12.2024", "23:00:00"));
    EXPECT_EQ(n.hour_letter(), 'x');
    EXPECT_EQ(n.directory(), "\\2024\\12\\366");
    EXPECT_EQ(n.week_text(), "2347");
}

TEST(RotationNamerTest, EveryDirectoryLayout) {
    RotationNamer n;
    const int32_t t = At("25.12.2011", "10:20:00");  // GPS week 1668, day 359
    const std::pair<int, const char*> layouts[] = {
        {0, ""},           {1, "\\2011\\12\\359"}, {2, "\\2011\\359"}, {3, "\\12\\359"},
        {4, "\\1668\\359"}, {5, "\\359"},           {6, ""},            {-1, ""}};
    for (const auto& [layout, dir] : layouts) {
        EXPECT_EQ(n.NameForTime(layout, 15, "0000", "o", "C:\\rnx", t), std::string("C:\\rnx") + dir + "\\0000359k.41o")
            << layout;
    }
}

TEST(RotationNamerTest, NameForNowReadsTheClock) {
    FakeClock clock;
    clock.Set(LocalTime{2025, 1, 5, 23, 59, 30, 0, 0});
    Clock::Install(&clock);
    RotationNamer n;
    EXPECT_EQ(n.NameForNow(2, 30, "0896", "k", "d"), "d\\2025\\005\\0896005x.21k");
    EXPECT_EQ(n.moment(), At("05.01.2025", "23:59:30"));
    clock.Advance(30 * 1000);
    EXPECT_EQ(n.NameForNow(2, 30, "0896", "k", "d"), "d\\2025\\006\\0896006a.20k");
    Clock::Install(nullptr);
}

class RotationDirectoriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getcwd(old_cwd_, sizeof old_cwd_), nullptr);
        char tmpl[] = "/tmp/zerlan-rot-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_EQ(chdir(dir_.c_str()), 0);
    }
    void TearDown() override { ASSERT_EQ(chdir(old_cwd_), 0); }

    char old_cwd_[4096] = "";
    std::string dir_;
};

TEST_F(RotationDirectoriesTest, CreatesEachLevelAndToleratesExisting) {
    RotationNamer n;
    const int32_t t = At("05.12.2011", "10:20:00");
    n.CreateDirectories(1, ".\\out", t);
    EXPECT_TRUE(IsDirectory("out/2011/12/339"));
    n.CreateDirectories(1, ".\\out", t);  // again: nothing to do, nothing breaks
    EXPECT_TRUE(IsDirectory("out/2011/12/339"));
    n.CreateDirectories(4, "out", t);
    EXPECT_TRUE(IsDirectory("out/1665/339"));
    n.CreateDirectories(3, "out\xBB" "m", t);
    EXPECT_TRUE(IsDirectory("out/m/12/339"));
    n.CreateDirectories(0, "flat", t);
    EXPECT_TRUE(IsDirectory("flat"));

    // The named file can then be opened where the name points.
    const std::string path = n.NameForTime(2, 5, "0000", "o", ".\\rnx", t);
    n.CreateDirectories(2, ".\\rnx", n.moment());
    EXPECT_TRUE(AppendToFile(MapPath(path), "x", 1));
    EXPECT_TRUE(FileExists("rnx/2011/339/0000339k.c4o"));
}

TEST_F(RotationDirectoriesTest, FailuresAreIgnored) {
    ASSERT_TRUE(AppendToFile("blocker", "", 0));
    RotationNamer n;
    n.CreateDirectories(5, "blocker", At("05.12.2011", "10:20:00"));
    EXPECT_FALSE(IsDirectory("blocker"));
    EXPECT_FALSE(FileExists("blocker/339"));
}

}  // namespace
}  // namespace zerlan
