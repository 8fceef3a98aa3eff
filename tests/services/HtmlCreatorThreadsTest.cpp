// Html-Creator-TH under a fake clock: the file appears only when the refresh
// interval has passed, and again at every further interval.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "core/SharedState.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Sleep.h"
#include "services/StatusThreads.h"
#include "support/TempDir.h"

namespace zerlan {
namespace {

bool WaitFor(const std::function<bool()>& done, int max_ms) {
    for (int waited = 0; !done(); waited += 2) {
        if (waited > max_ms) return false;
        Sleep(2);
    }
    return true;
}

TEST(HtmlCreatorThreads, WritesThePageAtEveryRefreshInterval) {
    testing::TempDir dir;
    FakeClock clock;
    Clock::Install(&clock);
    {
        SharedState state;
        state.settings.html.refresh_s = "120";
        state.settings.html.file_name = ".\\status.html";
        state.registry.SetState(1, 0);
        ASSERT_TRUE(StartHtmlCreator(state));

        // The thread's timer starts whenever the thread does: step on until
        // the first file; from then on the clock stands still until the test
        // moves it, so the next interval is known to the second.
        bool first = false;
        for (int i = 0; i < 20 && !first; ++i) {
            clock.Advance(120000);
            first = WaitFor([] { return FileExists("status.html"); }, 500);
        }
        ASSERT_TRUE(first);
        const std::string page = testing::ReadFile("status.html");
        EXPECT_NE(page.find("<META http-equiv=\"refresh\" content=\"120\">\n"), std::string::npos);
        EXPECT_TRUE(page.ends_with("</BODY>\n"));

        for (int round = 0; round < 2; ++round) {
            std::remove("status.html");
            clock.Advance(119000);
            Sleep(50);
            EXPECT_FALSE(FileExists("status.html"));
            clock.Advance(1000);
            EXPECT_TRUE(WaitFor([] { return FileExists("status.html"); }, 3000));
        }

        state.registry.SetState(0, 1);
        EXPECT_TRUE(WaitFor([&] { return state.registry.Query(1) == 0; }, 3000));
    }
    Clock::Install(nullptr);
}

}  // namespace
}  // namespace zerlan
