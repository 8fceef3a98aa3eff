// Modem scripts against a fake modem on a pseudo-terminal; script waits are counted, not slept.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
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
    int Count(const std::string& line) { return static_cast<int>(std::ranges::count(Lines(), line)); }

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

    PortSettings Port() const {
        return PortSettings{pty_.SettingName(), "38400", "n", "8", "1", "rts=on,dtr=on"};
    }
    int Run(const std::string& script, bool keep_open = false) {
        testing::WriteFile("s.bef", script);
        return device_.RunScript("s.bef", port_, keep_open);
    }
    void Start(const std::string& script) {
        runner_ = std::thread([this, script] { result_ = Run(script); });
    }
    std::string LogText() {
        std::lock_guard<std::mutex> lock(log_mutex_);
        return log_;
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
    PortSettings port_ = Port();
    std::atomic<int> result_{-1};
    std::thread runner_;
};

TEST(ModemScript, CommandLinesAreTranslatedBeforeSending) {
    const struct {
        const char* line;
        bool ctrl_z;
        std::string sent;
    } cases[] = {
        {"ATD123|rest", false, "ATD123"},
        {"AT\"CrLf\"X\"Null\"rest", false, "AT\r\nX"},
        {"A\"Cr\"B\"Lf\"C\"Esc\"D@", false, std::string("A\rB\nC\x1b" "D\x1b\r")},
        {"\"\\2\"\"\\3\"\"\\4\"", false, std::string("\x02\x03\x04\r")},
        {"\xBB\xAB\xAE\xA1\xF1", false, std::string("\x02\x03\x04\r\n\r")},
        {"say \"hello world\" \\\"kept\\\"", false, "say hello world \\\"kept\\\"\r"},
        {"AT+CMGS", true, "AT+CMGS\x1a\r"},
    };
    for (const auto& c : cases) EXPECT_EQ(TranslateCommand(c.line, c.ctrl_z), c.sent) << c.line;

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
    const std::string log = LogText();
    EXPECT_NE(log.find("to Line 5"), std::string::npos);
    EXPECT_NE(log.find("!\r\nCONNECT 9600\r\n"), std::string::npos);
    EXPECT_NE(log.find(" Modem/Command-controling is finished ...\r\n"), std::string::npos);
}

TEST_F(ModemScriptThreads, KeywordsLoopJumpCallSilenceAndSwitchThePort) {
    PtyPair second;
    ASSERT_TRUE(second.ok());
    FakeModem modem(pty_, [](const std::string&) { return std::string("\r\nOK\r\n"); });
    // Awaited answers make sure the modem has read each line before the port goes.
    const std::string script = "2,\"OK\" 3,\"OK\" 4,1\n"
                               "AT1\n"
                               "AT2\n"
                               "LOOP 2 TO 3\n"
                               "GOLINE 7\n"
                               "ATNEVER\n"
                               "CALL /usr/bin/touch called.flag\n"
                               "# a remark\n"
                               "NOCOMMAND\n"
                               "ATSILENT\n"
                               "COMPORT " + second.SettingName() + " 9600 n 8 1\n"
                               "ENDBEF\n"
                               "ATAFTEREND\n";
    EXPECT_EQ(Run(script, true), 0);
    // The new port stays open (keep-open) with the settings of the COMPORT line.
    EXPECT_TRUE(device_.IsOpen());
    EXPECT_EQ(port_.port, second.SettingName());
    EXPECT_EQ(port_.baud, "9600");
    const std::string word = "ON2\r";
    EXPECT_EQ(device_.Write(word.data(), 4), 4);
    EXPECT_TRUE(WaitFor([&] { return second.Read(1) == word; }));

    EXPECT_EQ(modem.Lines(), (std::vector<std::string>{"AT1", "AT2", "AT2", "AT2"}));
    // Three waits of line 4 (one second each), two loop jumps, one GOLINE, the reopen.
    EXPECT_EQ(waited_ms_.load(), 3 * 1000 + 2 * 2000 + 2000 + 100);
    const std::string log = LogText();
    EXPECT_NE(log.find("# a remark\r\n"), std::string::npos);
    EXPECT_NE(log.find("ATSILENT-  "), std::string::npos);
    EXPECT_EQ(log.find("ATNEVER"), std::string::npos);
    EXPECT_TRUE(WaitFor([] { return access("called.flag", F_OK) == 0; }));
}

TEST_F(ModemScriptThreads, WhileWaitsBeyondTheAnswerTimeOut) {
    Clock::Install(&clock_);
    Start("3,\"CONNECT\"\nWHILE\nATD\n");
    ASSERT_TRUE(WaitFor([&] { return LogText().find("ATD-  ") != std::string::npos; }));
    // The fake clock runs a second per real millisecond from here.
    for (int i = 0; i < 100; ++i) {
        clock_.Advance(1000);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(result_.load(), -1);
    pty_.Write("\r\nCONNECT\r\n");
    EXPECT_TRUE(WaitFor([&] { return result_.load() == 0; }));
    EXPECT_EQ(LogText().find("Timeout"), std::string::npos);
}

TEST_F(ModemScriptThreads, AKeyPromptGetsOneReturnAndAtMostTen) {
    Clock::Install(&clock_);
    // A modem that connects once prompted with one CR.
    {
        FakeModem modem(pty_, [](const std::string& line) -> std::string {
            if (line == "ATD") return "\r\nPress any key to continue\r\n";
            return line.empty() ? "\r\nCONNECT\r\n" : "";
        });
        EXPECT_EQ(Run("2,\"CONNECT\"\nATD\n"), 0);
        EXPECT_EQ(modem.Count(""), 1);
    }
    // A modem that prompts for ever: ten CRs, then the time-out ends the wait.
    FakeModem modem(pty_, [](const std::string&) { return std::string("\r\nHit Key\r\n"); });
    Start("2,\"CONNECT\"\nATD\n");
    ASSERT_TRUE(WaitFor([&] { return modem.Count("") == 10; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(WaitFor([&] {
        clock_.Advance(1000);
        return result_.load() == 0;
    }));
    EXPECT_EQ(modem.Count(""), 10);
    EXPECT_NE(LogText().find(" Timeout ---->\r\n not Answer from Modem ..."), std::string::npos);
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
    EXPECT_NE(LogText().find("Command/Bef-File none.bef is not available !\r\n"), std::string::npos);

    Start("2,\"OK\"\nATZ\n");
    ASSERT_TRUE(WaitFor([&] { return LogText().find("ATZ-  ") != std::string::npos; }));
    stop_ = true;
    EXPECT_TRUE(WaitFor([&] { return result_.load() == 1; }));
}

}  // namespace
}  // namespace zerlan
