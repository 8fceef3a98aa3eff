// Modem scripts against a fake modem on a pseudo-terminal; script waits are counted, not slept.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/Clock.h"
#include "support/PtyPair.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"
#include "transport/ComDevice.h"

namespace zerlan {
namespace {

using testing::PtyPair;
using testing::WaitFor;

// Answers every CR-terminated line with what `respond` returns for it.
class FakeModem {
public:
    FakeModem(const PtyPair& pty, std::function<std::string(const std::string&)> respond)
        : pty_(pty), respond_(std::move(respond)), thread_([this](std::stop_token stop) { Run(stop); }) {}
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

private:
    void Run(const std::stop_token& stop) {
        for (std::string pending; !stop.stop_requested();) {
            const std::string got = pty_.Read(2);
            if (got.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            pending += got;
            for (size_t cr; (cr = pending.find('\r')) != std::string::npos; pending.erase(0, cr + 1)) {
                std::lock_guard<std::mutex> lock(mutex_);
                lines_.push_back(pending.substr(0, cr));
                pty_.Write(respond_(lines_.back()));
            }
        }
    }

    const PtyPair& pty_;
    std::function<std::string(const std::string&)> respond_;
    std::mutex mutex_;
    std::vector<std::string> lines_;
    std::jthread thread_;
};

class ModemScriptThreads : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty_.ok()); }
    void TearDown() override {
        stop_ = true;  // ends a script left waiting by a failed assertion
        if (runner_.joinable()) runner_.join();
        Clock::Install(nullptr);
    }

    int Run(const std::string& script, bool keep_open = false) {
        testing::WriteFile("s.bef", script);
        return device_.RunScript("s.bef", port_, keep_open);
    }
    void Start(const std::string& script) {
        runner_ = std::thread([this, script] { result_ = Run(script); });
    }
    bool Logged(const std::string& part) {
        std::lock_guard<std::mutex> lock(log_mutex_);
        return log_.find(part) != std::string::npos;
    }

    testing::TempDir dir_;
    PtyPair pty_;
    FakeClock clock_;
    std::atomic<bool> stop_{false};
    std::atomic<int> waited_ms_{0};
    std::mutex log_mutex_;
    std::string log_;
    CComDevice device_{[this](const std::string& text) {
                           std::lock_guard<std::mutex> lock(log_mutex_);
                           log_ += text;
                       },
                       [this] { return stop_.load(); },
                       [this](int ms) {
                           waited_ms_ += ms;
                           return !stop_.load();
                       }};
    PortSettings port_{pty_.SettingName(), "38400", "n", "8", "1", "rts=on,dtr=on"};
    std::atomic<int> result_{-1};
    std::thread runner_;
};

TEST(ModemScript, CommandLinesAreTranslatedBeforeSending) {
    const std::tuple<const char*, bool, std::string> cases[] = {
        {"ATD123|rest", false, "ATD123"},
        {"AT\"CrLf\"X\"Null\"rest", false, "AT\r\nX"},
        {"A\"Cr\"B\"Lf\"C\"Esc\"D@", false, std::string("A\rB\nC\x1b" "D\x1b\r")},
        {"\"\\2\"\"\\3\"\"\\4\"", false, std::string("\x02\x03\x04\r")},
        {"\xBB\xAB\xAE\xA1\xF1", false, std::string("\x02\x03\x04\r\n\r")},
        {"say \"hello world\" \\\"kept\\\"", false, "say hello world \\\"kept\\\"\r"},
        {"AT+CMGS", true, "AT+CMGS\x1a\r"},
    };
    for (const auto& [line, ctrl_z, sent] : cases) EXPECT_EQ(TranslateCommand(line, ctrl_z), sent) << line;

    EXPECT_TRUE(ParseAnswerTable("2,\"OK\" 5,StrgZ").ctrl_z.count(5));
}

TEST_F(ModemScriptThreads, AnswerTableGoesOnRestartsAndJumps) {
    std::atomic<int> dials{0};
    FakeModem modem(pty_, [&](const std::string& line) -> std::string {
        if (line == "ATZ" || line == "ATO") return "\r\nOK\r\n";
        if (line == "ATD1") return ++dials == 1 ? "\r\nNO CARRIER\r\n" : "\r\nCONNECT 9600\r\n";
        return "";
    });
    EXPECT_EQ(Run("2,\"OK\" 3,\"NO_CARRIER\"2 3,\"CONNECT\"5 5,\"OK\"\nATZ\nATD1\nATSKIPPED\nATO\n"), 0);
    EXPECT_EQ(modem.Lines(), (std::vector<std::string>{"ATZ", "ATD1", "ATZ", "ATD1", "ATO"}));
    EXPECT_TRUE(Logged("to Line 5"));
    EXPECT_TRUE(Logged("!\r\nCONNECT 9600\r\n"));
    EXPECT_TRUE(Logged(" Modem/Command-controling is finished ...\r\n"));
}

TEST_F(ModemScriptThreads, KeywordsLoopJumpCallSilenceAndSwitchThePort) {
    PtyPair second;
    ASSERT_TRUE(second.ok());
    FakeModem modem(pty_, [](const std::string&) { return std::string("\r\nOK\r\n"); });
    // Awaited answers make sure the modem has read each line before the port goes.
    const std::string script = "2,\"OK\" 3,\"OK\" 4,1\n"
                               "AT1\nAT2\nLOOP 2 TO 3\nGOLINE 7\n"                                // lines 2-5
                               "ATNEVER\nCALL /usr/bin/touch called.flag\n# a remark\nNOCOMMAND\n"  // 6-9
                               "ATSILENT\nCOMPORT " + second.SettingName() + " 9600 n 8 1\n"         // 10-11
                               "ENDBEF\nATAFTEREND\n";
    EXPECT_EQ(Run(script, true), 0);
    EXPECT_TRUE(device_.IsOpen());
    EXPECT_EQ(port_.port, second.SettingName());
    EXPECT_EQ(port_.baud, "9600");
    const std::string word = "ON2\r";
    EXPECT_EQ(device_.Write(word.data(), 4), 4);
    EXPECT_TRUE(WaitFor([&] { return second.Read(1) == word; }));

    EXPECT_EQ(modem.Lines(), (std::vector<std::string>{"AT1", "AT2", "AT2", "AT2"}));
    // Three waits of line 4 (one second each), two loop jumps, one GOLINE, the reopen.
    EXPECT_EQ(waited_ms_.load(), 3 * 1000 + 2 * 2000 + 2000 + 100);
    EXPECT_TRUE(Logged("# a remark\r\n"));
    EXPECT_TRUE(Logged("ATSILENT-  "));
    EXPECT_FALSE(Logged("ATNEVER"));
    EXPECT_TRUE(WaitFor([] { return access("called.flag", F_OK) == 0; }));
}

TEST_F(ModemScriptThreads, WhileWaitsBeyondTheAnswerTimeOut) {
    Clock::Install(&clock_);
    Start("3,\"CONNECT\"\nWHILE\nATD\n");
    ASSERT_TRUE(WaitFor([&] { return Logged("ATD-  "); }));
    // The fake clock runs a second per real millisecond from here.
    for (int i = 0; i < 100; ++i) {
        clock_.Advance(1000);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(result_.load(), -1);
    pty_.Write("\r\nCONNECT\r\n");
    EXPECT_TRUE(WaitFor([&] { return result_.load() == 0; }));
    EXPECT_FALSE(Logged("Timeout"));
}

TEST_F(ModemScriptThreads, AKeyPromptGetsOneReturnAndAtMostTen) {
    Clock::Install(&clock_);
    {
        FakeModem modem(pty_, [](const std::string& line) -> std::string {
            if (line == "ATD") return "\r\nPress any key to continue\r\n";
            return line.empty() ? "\r\nCONNECT\r\n" : "";
        });
        EXPECT_EQ(Run("2,\"CONNECT\"\nATD\n"), 0);
        EXPECT_EQ(std::ranges::count(modem.Lines(), ""), 1);
    }
    // A modem that prompts for ever: ten CRs, then the time-out ends the wait.
    FakeModem modem(pty_, [](const std::string&) { return std::string("\r\nHit Key\r\n"); });
    Start("2,\"CONNECT\"\nATD\n");
    ASSERT_TRUE(WaitFor([&] { return std::ranges::count(modem.Lines(), "") == 10; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(WaitFor([&] {
        clock_.Advance(1000);
        return result_.load() == 0;
    }));
    EXPECT_EQ(std::ranges::count(modem.Lines(), ""), 10);
    EXPECT_TRUE(Logged(" Timeout ---->\r\n not Answer from Modem ..."));
}

TEST_F(ModemScriptThreads, DialSendsTheFixedSequence) {
    FakeModem modem(pty_, [](const std::string& line) { return line.empty() ? "" : "\r\nOK\r\n"; });
    device_.Dial(port_, "0123", 2500, 2500, 100);
    EXPECT_TRUE(device_.IsOpen());
    const std::vector<std::string> expected{"ATZ", "", "AT+CBST=71", "", "ATDT 0123", ""};
    EXPECT_TRUE(WaitFor([&] { return modem.Lines().size() >= expected.size(); }));
    EXPECT_EQ(modem.Lines(), expected);
    EXPECT_EQ(waited_ms_.load(), 3 * 300 + 300 + 300 + 2000);
}

TEST_F(ModemScriptThreads, AMissingScriptAndAStopEndTheScript) {
    EXPECT_EQ(device_.RunScript("none.bef", port_, true), 2);
    EXPECT_TRUE(Logged("Command/Bef-File none.bef is not available !\r\n"));

    Start("2,\"OK\"\nATZ\n");
    ASSERT_TRUE(WaitFor([&] { return Logged("ATZ-  "); }));
    stop_ = true;
    EXPECT_TRUE(WaitFor([&] { return result_.load() == 1; }));
}

}  // namespace
}  // namespace zerlan
