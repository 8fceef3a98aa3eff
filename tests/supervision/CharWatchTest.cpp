#include "supervision/CharWatch.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "SupervisionFixture.h"
#include "core/Messages.h"
#include "core/ThreadRegistry.h"

namespace zerlan {
namespace {

class CharWatchTest : public SupervisionFixture {
protected:
    CharWatchLimits Limits(int32_t unit, int32_t min, int32_t min_duration, int32_t max, int32_t max_duration) {
        return CharWatchLimits{unit, min, min_duration, "Low-Title", max, max_duration, "High-Title"};
    }
    // Adds `bytes` to the counter, lets one second pass and checks.
    int Unit(CharWatch& watch, Counter& counter, int32_t bytes, int write_protocol = 1) {
        counter.fetch_add(bytes);
        clock_.Advance(1000);
        return watch.Check("CharWatch: Test-Warning !", msg::kInputRate, write_protocol);
    }
    Counter counter_{0};
};

TEST_F(CharWatchTest, TooFewAfterDurationThenRecoveryTwoThenZero) {
    counter_ = 77;  // construction starts the counter afresh
    CharWatch watch(shared_, &counter_, 3, Limits(1, 50, 10, 10000, 0), ".\\Protokol.dat");
    EXPECT_EQ(counter_.load(), 0);
    for (int i = 1; i <= 9; ++i) EXPECT_EQ(Unit(watch, counter_, 10), 0) << "unit " << i;
    EXPECT_FALSE(Exists("Protokol.dat"));
    EXPECT_EQ(Unit(watch, counter_, 10), CharWatch::kTooFew);
    EXPECT_EQ(watch.state(), CharWatch::kTooFew);

    // Start of the run is the first low unit (09:05:01); it ended nine seconds later.
    EXPECT_EQ(ReadFile("Protokol.dat"),
              "ZW Low-Title : failure 10 Byte, start_of_failure 03.02.2025  09:05:01 9\n");
    EXPECT_TRUE(Exists("Low-Title"));
    EXPECT_EQ(ReadFile("Low-Title"), "");
    std::vector<std::string> expected{"too few Byte per TimeUnit: failure 10 Byte, start_of_failure 03.02.2025  09:05:01",
                                      "CharWatch: Test-Warning !\r\n"};
    EXPECT_EQ(Texts(), expected);

    EXPECT_EQ(Unit(watch, counter_, 60), CharWatch::kAfterTooFew);
    EXPECT_EQ(Unit(watch, counter_, 60), CharWatch::kNothing);
    EXPECT_EQ(watch.state(), CharWatch::kNothing);
}

TEST_F(CharWatchTest, LongLowRunReportsAgainEachDurationWithNewStart) {
    CharWatch watch(shared_, &counter_, 3, Limits(1, 50, 2, 10000, 0), ".\\Protokol.dat");
    std::vector<int> results;
    for (int i = 0; i < 4; ++i) results.push_back(Unit(watch, counter_, i));
    EXPECT_EQ(results, (std::vector<int>{0, 1, 0, 1}));
    EXPECT_EQ(ReadFile("Protokol.dat"),
              "ZW Low-Title : failure 0 Byte, start_of_failure 03.02.2025  09:05:01 1\n"
              "ZW Low-Title : failure 2 Byte, start_of_failure 03.02.2025  09:05:03 1\n");
}

TEST_F(CharWatchTest, ZeroDurationSwitchesHalfOff) {
    CharWatch watch(shared_, &counter_, 3, Limits(1, 50, 0, 100, 0), ".\\Protokol.dat");
    for (int i = 0; i < 30; ++i) EXPECT_EQ(Unit(watch, counter_, i % 2 ? 0 : 5000), 0);
    EXPECT_FALSE(Exists("Protokol.dat"));
    EXPECT_FALSE(Exists("Low-Title"));
    EXPECT_FALSE(Exists("High-Title"));
    EXPECT_TRUE(Texts().empty());
}

TEST_F(CharWatchTest, TooManyHasNoWarningLineAndRecoversThroughFour) {
    CharWatch watch(shared_, &counter_, 4, Limits(1, 0, 5, 100, 3), ".\\Protokol.dat");
    EXPECT_EQ(Unit(watch, counter_, 500), 0);
    EXPECT_EQ(Unit(watch, counter_, 500), 0);
    EXPECT_EQ(Unit(watch, counter_, 101), CharWatch::kTooMany);
    EXPECT_EQ(ReadFile("Protokol.dat"),
              "ZW High-Title : failure 500 Byte, start_of_failure 03.02.2025  09:05:01 2\n");
    EXPECT_TRUE(Exists("High-Title"));
    std::vector<std::string> expected{"too many Byte per TimeUnit: failure 500 Byte, start_of_failure 03.02.2025  09:05:01"};
    EXPECT_EQ(Texts(), expected);
    EXPECT_EQ(Unit(watch, counter_, 100), CharWatch::kAfterTooMany);
    EXPECT_EQ(Unit(watch, counter_, 100), CharWatch::kNothing);
}

TEST_F(CharWatchTest, InterruptedRunStartsCountingAgain) {
    CharWatch watch(shared_, &counter_, 3, Limits(1, 50, 3, 10000, 0), ".\\Protokol.dat");
    EXPECT_EQ(Unit(watch, counter_, 0), 0);
    EXPECT_EQ(Unit(watch, counter_, 0), 0);
    EXPECT_EQ(Unit(watch, counter_, 50), 0);  // exactly the minimum is not too few
    EXPECT_EQ(Unit(watch, counter_, 0), 0);
    EXPECT_EQ(Unit(watch, counter_, 0), 0);
    EXPECT_EQ(Unit(watch, counter_, 0), CharWatch::kTooFew);
    EXPECT_EQ(ReadFile("Protokol.dat"),
              "ZW Low-Title : failure 0 Byte, start_of_failure 03.02.2025  09:05:04 2\n");
}

TEST_F(CharWatchTest, TooFewReportSkipsTooManyOfTheSameUnit) {
    // Minimum above maximum: a unit can be both; only the too-few half reports.
    CharWatch watch(shared_, &counter_, 3, Limits(1, 50, 1, 10, 1), ".\\Protokol.dat");
    EXPECT_EQ(Unit(watch, counter_, 20), CharWatch::kTooFew);
    EXPECT_EQ(ReadFile("Protokol.dat"),
              "ZW Low-Title : failure 20 Byte, start_of_failure 03.02.2025  09:05:01 0\n");
    EXPECT_FALSE(Exists("High-Title"));
}

TEST_F(CharWatchTest, ChecksOnlyOncePerUnitAndKeepsBytesMeanwhile) {
    CharWatch watch(shared_, &counter_, 0, Limits(5, 0, 0, 10000, 0), ".\\Protokol.dat");
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
}

TEST_F(CharWatchTest, TimeUnitScalesTheDuration) {
    CharWatch watch(shared_, &counter_, 3, Limits(5, 50, 10, 10000, 0), ".\\Protokol.dat");
    clock_.Advance(5000);
    EXPECT_EQ(watch.Check("w", msg::kInputRate, 1), 0);
    clock_.Advance(5000);
    EXPECT_EQ(watch.Check("w", msg::kInputRate, 1), CharWatch::kTooFew);
}

TEST_F(CharWatchTest, InputKindShowsRateAndPoolTotal) {
    shared_.pool_total = 300;
    CharWatch watch(shared_, &counter_, 0, Limits(1, 0, 0, 10000, 0), ".\\Protokol.dat");
    EXPECT_EQ(Unit(watch, counter_, 1234), 0);
    EXPECT_EQ(shared_.input_rate.load(), 1234);
    EXPECT_EQ(Ids(), (std::vector<uint32_t>{msg::kInputRate, msg::kPoolTotal}));
    EXPECT_EQ(shared_.pool_total.load(), 0);
}

TEST_F(CharWatchTest, OutputKindsStoreTheirRateAndOnlyKindOneDisplays) {
    Counter other{0};
    CharWatch shown(shared_, &counter_, 1, Limits(1, 0, 0, 10000, 0), ".\\Protokol.dat");
    CharWatch silent(shared_, &other, 4, Limits(1, 0, 0, 10000, 0), ".\\Protokol.dat");
    counter_ += 77;
    other += 88;
    clock_.Advance(1000);
    EXPECT_EQ(shown.Check("w", msg::kTcpOutRate, 1), 0);
    EXPECT_EQ(silent.Check("w", msg::kFileOutRate, 1), 0);
    EXPECT_EQ(shared_.output_rate[static_cast<int>(OutputKind::kTcp)].load(), 77);
    EXPECT_EQ(shared_.output_rate[static_cast<int>(OutputKind::kFile)].load(), 88);
    EXPECT_EQ(other.load(), 0);
    EXPECT_EQ(Ids(), (std::vector<uint32_t>{msg::kTcpOutRate}));
    EXPECT_EQ(shared_.input_rate.load(), 0);
}

TEST_F(CharWatchTest, ResetWatchReportsWithoutProtocolFile) {
    CharWatch watch(shared_, &counter_, 4, 3, 0);
    EXPECT_EQ(Unit(watch, counter_, 9), 0);
    EXPECT_EQ(Unit(watch, counter_, 9), 0);
    EXPECT_EQ(Unit(watch, counter_, 9), CharWatch::kTooFew);
    EXPECT_TRUE(Exists("Minimal-Reset"));
    // No protocol file: no record and no "can't open" line, only the failure and warning.
    std::vector<std::string> expected{"too few Byte per TimeUnit: failure 9 Byte, start_of_failure 03.02.2025  09:05:01",
                                      "CharWatch: Test-Warning !\r\n"};
    EXPECT_EQ(Texts(), expected);
    // 10 bytes is enough, and the too-many half stays off.
    EXPECT_EQ(Unit(watch, counter_, 10), CharWatch::kAfterTooFew);
    EXPECT_EQ(Unit(watch, counter_, 1000000), 0);
}

TEST_F(CharWatchTest, WithoutProtocolWritingNoRecordNoMarker) {
    CharWatch watch(shared_, &counter_, 3, Limits(1, 50, 1, 10000, 0), ".\\Protokol.dat");
    EXPECT_EQ(Unit(watch, counter_, 0, 0), CharWatch::kTooFew);
    EXPECT_FALSE(Exists("Protokol.dat"));
    EXPECT_FALSE(Exists("Low-Title"));
    EXPECT_EQ(Texts().size(), 2u);
}

TEST_F(CharWatchTest, UnopenableProtocolFileIsShownAndWatchGoesOn) {
    CharWatch watch(shared_, &counter_, 3, Limits(1, 50, 1, 10000, 0), ".\\missing\\Protokol.dat");
    EXPECT_EQ(Unit(watch, counter_, 0), CharWatch::kTooFew);
    EXPECT_EQ(Texts().front(), "\r\nCant't open ProtocolFile!!");
    EXPECT_TRUE(Exists("Low-Title"));
    EXPECT_EQ(Unit(watch, counter_, 0), CharWatch::kTooFew);
    EXPECT_EQ(Texts().size(), 6u);
}

TEST_F(CharWatchTest, ZeroTimeUnitCountsAsOneSecond) {
    CharWatch watch(shared_, &counter_, 0, Limits(0, 0, 0, 10000, 0), ".\\Protokol.dat");
    counter_ += 5;
    EXPECT_EQ(watch.Check("w", msg::kInputRate, 1), 0);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(counter_.load(), 5);
}

TEST_F(CharWatchTest, IntervalTimerRestartsWhenElapsed) {
    CharWatch timer(10);
    clock_.Advance(9000);
    EXPECT_FALSE(timer.IntervalElapsed());
    clock_.Advance(1000);
    EXPECT_TRUE(timer.IntervalElapsed());
    EXPECT_FALSE(timer.IntervalElapsed());
    clock_.Advance(25000);
    EXPECT_TRUE(timer.IntervalElapsed());
    clock_.Advance(9000);
    EXPECT_FALSE(timer.IntervalElapsed());
}

TEST(CharWatchThreads, CountsAddedWhileCheckingAreNeverLost) {
    FakeClock clock;
    Clock::Install(&clock);
    {
        SharedState shared;  // no view attached: displays are dropped
        Counter counter{0};
        CharWatch watch(shared, &counter, 4, CharWatchLimits{1, 0, 0, "l", 1 << 30, 0, "h"}, "");
        constexpr int kAdds = 200000;
        std::thread writer([&] {
            for (int i = 0; i < kAdds; ++i) counter.fetch_add(1);
        });
        int64_t seen = 0;
        for (int i = 0; i < 2000; ++i) {
            clock.Advance(1000);
            watch.Check("w", msg::kFileOutRate, 0);
            seen += shared.output_rate[static_cast<int>(OutputKind::kFile)].load();
        }
        writer.join();
        clock.Advance(1000);
        watch.Check("w", msg::kFileOutRate, 0);
        seen += shared.output_rate[static_cast<int>(OutputKind::kFile)].load();
        EXPECT_EQ(seen, kAdds);
    }
    Clock::Install(nullptr);
}

TEST(CharWatchThreads, WatchLoopRunsUntilStop) {
    ThreadRegistry registry;
    std::atomic<int> passes{0};
    RunWatchThread(registry, 1, [&] { passes.fetch_add(1); });  // idle registry: no pass at all
    EXPECT_EQ(passes.load(), 0);

    registry.SetState(1, 0);
    std::atomic<bool> done{false};
    std::thread t([&] {
        RunWatchThread(registry, 1, [&] { passes.fetch_add(1); });
        done = true;
    });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (passes.load() < 3 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    EXPECT_GE(passes.load(), 3);
    EXPECT_FALSE(done.load());
    registry.SetState(0, 1);
    t.join();
    EXPECT_TRUE(done.load());
}


TEST_F(CharWatchTest, AMarkerIsMadeOnlyForAPlainNameThatIsNoFileOfTheProgram) {
    shared_.settings.parameter_file = ".\\z.par";
    {
        std::ofstream("z.par") << "/pr,\"p.dat\"";
        std::ofstream("p.dat") << "kept";
    }
    struct Case {
        std::string title;
        bool made;
    };
    for (const Case& c : {Case{"Low_Rate-1.flag", true}, Case{"z.par", false}, Case{"p.dat", false},
                          Case{"sub/x", false}, Case{"..", false}, Case{"a b", false}}) {
        CharWatch watch(shared_, &counter_, 3,
                        CharWatchLimits{1, 50, 1, c.title, 10000, 0, "High-Title"}, ".\\p.dat");
        messages_.clear();
        EXPECT_EQ(Unit(watch, counter_, 0), CharWatch::kTooFew) << c.title;
        EXPECT_EQ(Unit(watch, counter_, 0), CharWatch::kTooFew) << c.title;
        if (c.made) {
            EXPECT_TRUE(Exists(c.title));
        } else {
            view_.PumpPending();
            size_t warnings = 0;
            for (const std::string& t : Texts()) warnings += t.find("No marker file for the miz title") == 0;
            EXPECT_EQ(warnings, 1u) << c.title;
        }
    }
    EXPECT_EQ(ReadFile("z.par"), "/pr,\"p.dat\"");
    EXPECT_NE(ReadFile("p.dat").find("kept"), std::string::npos);
    EXPECT_FALSE(Exists("sub"));
}

}  // namespace
}  // namespace zerlan
