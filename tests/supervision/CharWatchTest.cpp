#include "supervision/CharWatch.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/Messages.h"
#include "support/StateFixture.h"
#include "supervision/Protocol.h"

namespace zerlan {
namespace {

class CharWatchTest : public testing::StateFixture {
protected:
    CharWatchLimits Limits(int32_t unit, int32_t min, int32_t min_duration, int32_t max, int32_t max_duration) {
        return CharWatchLimits{unit, min, min_duration, "Low-Title", max, max_duration, "High-Title"};
    }
    int Unit(CharWatch& watch, int32_t bytes) {
        counter_.fetch_add(bytes);
        clock_.Advance(1000);
        return watch.Check("CharWatch: Test-Warning !", msg::kInputRate, 1);
    }
    Counter counter_{0};
};

TEST_F(CharWatchTest, RunsOfLowAndHighUnits) {
    struct Case {
        const char* name;
        CharWatchLimits limits;
        std::vector<int32_t> bytes;
        std::vector<int> results;
        const char *records, *first_shown;
    } cases[] = {
        // The run starts with the first low unit (09:05:01) and lasted nine seconds.
        {"too few after the duration, then recovery", Limits(1, 50, 10, 10000, 0),
         {10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 60, 60}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 0},
         "ZW Low-Title : failure 10 Byte, start_of_failure 03.02.2025  09:05:01 9\n",
         "too few Byte per TimeUnit: failure 10 Byte, start_of_failure 03.02.2025  09:05:01"},
        {"a long low run reports again each duration with a new start", Limits(1, 50, 2, 10000, 0), {0, 1, 2, 3},
         {0, 1, 0, 1},
         "ZW Low-Title : failure 0 Byte, start_of_failure 03.02.2025  09:05:01 1\n"
         "ZW Low-Title : failure 2 Byte, start_of_failure 03.02.2025  09:05:03 1\n",
         "too few Byte per TimeUnit: failure 0 Byte, start_of_failure 03.02.2025  09:05:01"},
        {"an interrupted run counts again; the minimum itself is enough", Limits(1, 50, 3, 10000, 0),
         {0, 0, 50, 0, 0, 0}, {0, 0, 0, 0, 0, 1},
         "ZW Low-Title : failure 0 Byte, start_of_failure 03.02.2025  09:05:04 2\n", nullptr},
        {"too many recovers through four", Limits(1, 0, 5, 100, 3), {500, 500, 101, 100, 100}, {0, 0, 3, 4, 0},
         "ZW High-Title : failure 500 Byte, start_of_failure 03.02.2025  09:05:01 2\n",
         "too many Byte per TimeUnit: failure 500 Byte, start_of_failure 03.02.2025  09:05:01"},
        {"a unit both too few and too many reports too few only", Limits(1, 50, 1, 10, 1), {20}, {1},
         "ZW Low-Title : failure 20 Byte, start_of_failure 03.02.2025  09:05:01 0\n", nullptr},
        {"a duration of zero switches its half off", Limits(1, 50, 0, 100, 0), {5000, 0, 5000, 0}, {0, 0, 0, 0},
         "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* file : {"Protokol.dat", "Low-Title", "High-Title"}) std::remove(file);
        clock_.Set(LocalTime{2025, 2, 3, 9, 5, 0, 0, 0});
        messages_.clear();
        counter_ = 77;  // construction starts the counter afresh
        CharWatch watch(shared_, &counter_, 4, c.limits, ".\\Protokol.dat");
        EXPECT_EQ(counter_.load(), 0);
        std::vector<int> results;
        for (int32_t b : c.bytes) results.push_back(Unit(watch, b));
        EXPECT_EQ(results, c.results);
        EXPECT_EQ(ReadFile("Protokol.dat"), c.records);
        EXPECT_EQ(Exists("Low-Title"), std::string(c.records).starts_with("ZW Low"));
        EXPECT_EQ(Exists("High-Title"), std::string(c.records).starts_with("ZW High"));
        const std::vector<std::string> texts = Texts();
        if (c.first_shown) {
            EXPECT_EQ(texts.empty() ? "" : texts[0], c.first_shown);
        }
        // Only the too-few half adds the caller's warning line.
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "CharWatch: Test-Warning !\r\n"),
                  std::count(results.begin(), results.end(), CharWatch::kTooFew));
    }
}

TEST_F(CharWatchTest, ChecksOncePerUnitKeepingBytesMeanwhileAndAUnitBelowOneSecondIsOne) {
    CharWatch watch(shared_, &counter_, 0, Limits(5, 50, 10, 10000, 0), ".\\Protokol.dat");
    counter_ += 30;
    clock_.Advance(4000);
    EXPECT_EQ(watch.Check("w", msg::kInputRate, 1), 0);
    EXPECT_EQ(counter_.load(), 30);
    EXPECT_TRUE(messages_.empty());
    counter_ += 12;
    clock_.Advance(1000);
    EXPECT_EQ(watch.Check("w", msg::kInputRate, 1), 0);
    EXPECT_EQ(counter_.load(), 0);
    EXPECT_EQ(shared_.input_rate.load(), 42);
    clock_.Advance(5000);  // the duration counts in units: the second low unit is 10 s
    EXPECT_EQ(watch.Check("w", msg::kInputRate, 1), CharWatch::kTooFew);

    CharWatch zero(shared_, &counter_, 0, Limits(0, 0, 0, 10000, 0), ".\\Protokol.dat");
    counter_ += 5;
    messages_.clear();
    EXPECT_EQ(zero.Check("w", msg::kInputRate, 1), 0);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(counter_.load(), 5);
}

TEST_F(CharWatchTest, EachKindStoresItsRateAndOnlyKindsZeroAndOneDisplay) {
    shared_.pool_total = 300;
    Counter out{0}, silent_out{0};
    CharWatch input(shared_, &counter_, 0, Limits(1, 0, 0, 10000, 0), "");
    CharWatch shown(shared_, &out, 1, Limits(1, 0, 0, 10000, 0), "");
    CharWatch silent(shared_, &silent_out, 4, Limits(1, 0, 0, 10000, 0), "");
    counter_ += 1234, out += 77, silent_out += 88;
    clock_.Advance(1000);
    for (auto [watch, id] :
         {std::pair{&input, msg::kInputRate}, {&shown, msg::kTcpOutRate}, {&silent, msg::kFileOutRate}})
        EXPECT_EQ(watch->Check("w", id, 1), 0);
    EXPECT_EQ(shared_.input_rate.load(), 1234);
    EXPECT_EQ(shared_.output_rate[static_cast<int>(OutputKind::kTcp)].load(), 77);
    EXPECT_EQ(shared_.output_rate[static_cast<int>(OutputKind::kFile)].load(), 88);
    // Posted, not sent: the input thread never waits for the view.
    EXPECT_TRUE(Ids().empty());
    view_.PumpPending();
    EXPECT_EQ(Ids(), (std::vector<uint32_t>{msg::kInputRate, msg::kPoolTotal, msg::kTcpOutRate}));
    EXPECT_EQ(shared_.pool_total.load(), 0);  // reduced by the total shown
    EXPECT_EQ(shared_.pool_total_shown.load(), 300);
}

TEST_F(CharWatchTest, ResetWatchReportsWithoutProtocolFile) {
    CharWatch watch(shared_, &counter_, 4, 3, 0);
    for (int result : {0, 0, CharWatch::kTooFew}) EXPECT_EQ(Unit(watch, 9), result);
    EXPECT_TRUE(Exists("Minimal-Reset"));
    // No protocol file: no record and no "can't open" line, only the failure and warning.
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "too few Byte per TimeUnit: failure 9 Byte, start_of_failure 03.02.2025  09:05:01",
                           "CharWatch: Test-Warning !\r\n"}));
    // 10 bytes is enough, and the too-many half stays off.
    EXPECT_EQ(Unit(watch, 10), CharWatch::kAfterTooFew);
    EXPECT_EQ(Unit(watch, 1000000), 0);
}

using CharWatchThreads = CharWatchTest;

TEST_F(CharWatchThreads, CountsAddedWhileCheckingAreNeverLost) {
    CharWatch watch(shared_, &counter_, 4, Limits(1, 0, 0, 1 << 30, 0), "");
    constexpr int kAdds = 200000;
    std::thread writer([&] {
        for (int i = 0; i < kAdds; ++i) counter_.fetch_add(1);
    });
    int64_t seen = 0;
    for (int i = 0; i < 2001; ++i) {
        if (i == 2000) writer.join();  // the last unit takes what is left
        clock_.Advance(1000);
        watch.Check("w", msg::kFileOutRate, 0);
        seen += shared_.output_rate[static_cast<int>(OutputKind::kFile)].load();
    }
    EXPECT_EQ(seen, kAdds);
}

TEST_F(CharWatchTest, AMarkerIsMadeOnlyForAPlainNameThatIsNoFileOfTheProgram) {
    shared_.settings.parameter_file = ".\\z.par";
    std::ofstream("z.par") << "/pr,\"p.dat\"";
    std::ofstream("p.dat") << "kept";
    for (const auto& [title, made] : {std::pair{"Low_Rate-1.flag", true}, {"z.par", false}, {"p.dat", false},
                                      {"sub/x", false}, {"..", false}, {"a b", false}}) {
        SCOPED_TRACE(title);
        CharWatch watch(shared_, &counter_, 3, CharWatchLimits{1, 50, 1, title, 10000, 0, "High-Title"},
                        ".\\p.dat");
        messages_.clear();
        EXPECT_EQ(Unit(watch, 0), CharWatch::kTooFew);
        EXPECT_EQ(Unit(watch, 0), CharWatch::kTooFew);
        view_.PumpPending();
        size_t warnings = 0;
        for (const std::string& t : Texts()) warnings += t.starts_with("No marker file for the miz title");
        EXPECT_EQ(warnings, made ? 0u : 1u);
        EXPECT_TRUE(!made || Exists(title));
    }
    EXPECT_EQ(ReadFile("z.par"), "/pr,\"p.dat\"");
    EXPECT_NE(ReadFile("p.dat").find("kept"), std::string::npos);
    EXPECT_FALSE(Exists("sub"));
}

using ProtocolTest = testing::StateFixture;

TEST_F(ProtocolTest, PathSeparatorsAndAFileThatCannotBeOpened) {
    // Backslashes and the 0xBB substitute are path separators.
    ASSERT_EQ(mkdir("logs", 0755), 0);
    EXPECT_EQ(WriteEventRecord("FH", "full_hour", "logs\\a.dat"), 0);
    EXPECT_EQ(WriteEventRecord("ND", "new_day", "logs\xBB" "a.dat"), 0);
    EXPECT_EQ(ReadFile("logs/a.dat"), "FH : full_hour\nND : new_day\n");

    // No name writes nothing; an unopenable file is shown for each watch record, never for an event.
    const char* missing = ".\\no-such-dir\\Protokol.dat";
    EXPECT_EQ(WriteProtocol(shared_, "Low", "failure", "", 3), 2);
    EXPECT_EQ(WriteEventRecord("FH", "full_hour", ""), 2);
    EXPECT_EQ(WriteEventRecord("General-Stop", "x", missing), 2);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(WriteProtocol(shared_, "Low", "failure", missing, 3), 2);
    EXPECT_EQ(WriteStatusRecord(shared_, "NoGpsFkp", "x", missing), 2);
    EXPECT_EQ(Texts(), std::vector<std::string>(2, "\r\nCant't open ProtocolFile!!"));
    EXPECT_EQ(Ids(), (std::vector<uint32_t>{msg::kDisplayText, msg::kDisplayText}));
}

using ProtocolThreads = testing::StateFixture;

TEST_F(ProtocolThreads, ConcurrentRecordsKeepEveryLineWhole) {
    constexpr int kThreads = 4, kLines = 300;
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
