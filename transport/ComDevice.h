// The serial port of the stream threads: opening from the port settings,
// byte transfers with their retry counts, the fixed dial sequence and the
// modem-script (.bef) interpreter.
//
// Script language, one statement per line, line 1 the answer table:
//   table entries "line,S" (wait S seconds after the line), "line,"text"R"
//   (expected answer; "_" is a blank; R: 1 go on, 2 start the script again,
//   >2 continue at line R) and "line,StrgZ" (end the line with Ctrl-Z CR);
//   "#" comments; keywords COMPORT, CALL, GOLINE, LOOP n TO m, NOCOMMAND,
//   WHILE, ENDBEF; every other line is a command sent with CR.
//
// Waits and stop checks go through the hooks given at construction, so that
// tests can run scripts without waiting for real seconds; the 15-second
// answer time-out is measured on the process clock (platform/Clock.h).
//
// Thread-safety: a device belongs to one thread.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "config/Settings.h"

namespace zerlan {

// The six texts that open a port (a COMPORT line replaces them).
struct PortSettings {
    std::string port;
    std::string baud;
    std::string parity;
    std::string data_bits;
    std::string stop_bits;
    std::string options;
};

PortSettings PortSettingsOf(const SerialParams& params);
// "Null" or empty: no script or no telephone number.
bool IsNullSetting(const std::string& text);

// The answer table of a script's first line.
struct AnswerTable {
    struct Answer {
        std::string text;
        int result = 1;
    };
    std::map<int, int> wait_seconds;
    std::map<int, std::vector<Answer>> answers;
    std::map<int, bool> ctrl_z;
};
AnswerTable ParseAnswerTable(const std::string& line);

// A command line as sent: substitutes and quoted words translated, "|" and
// "Null" ending it without a line end, else CR (Ctrl-Z CR for `ctrl_z`).
std::string TranslateCommand(const std::string& line, bool ctrl_z);

class CComDevice {
public:
    using TextSink = std::function<void(const std::string&)>;
    using StopQuery = std::function<bool()>;
    // Waits `ms` milliseconds; false when a stop came first.
    using Waiter = std::function<bool(int ms)>;
    // Told when a port cannot be opened: the device path and the reason.
    using OpenFailure = std::function<void(const std::string& device, const std::string& reason)>;

    static constexpr int kDumpLines = 28;
    static constexpr int kAnswerTimeoutMs = 15000;
    static constexpr int kMaxKeyReturns = 10;

    // Empty hooks: nothing shown, never stopped, real sleeps.
    CComDevice(TextSink show, StopQuery stop, Waiter wait = nullptr);
    ~CComDevice();
    CComDevice(const CComDevice&) = delete;
    CComDevice& operator=(const CComDevice&) = delete;

    void set_open_failure(OpenFailure handler) { open_failure_ = std::move(handler); }

    // Opens and configures the port; 0. A port that cannot be opened leaves
    // the device closed: transfers then move nothing.
    int Open(const PortSettings& settings);
    int Close();
    bool IsOpen() const { return fd_ >= 0; }

    int WriteText(const char* text);
    int Write(const char* data, int length);
    // Reads up to `max_bytes` into received() (NUL-terminated).
    int Read(int max_bytes);
    const char* received() const { return receive_.data(); }
    int WriteRead(const char* data, int length, char* answer, int answer_max, int wait_ms);

    // Open, then ATZ, AT+CBST=71 and ATDT with the number; answers unread.
    void Dial(const PortSettings& settings, const std::string& phone, int max1, int max2, int max3);
    // 0 finished, 1 stopped, 2 script file missing.
    int RunScript(const std::string& script_path, PortSettings& settings, bool keep_open);

    // "COM1 BAUD=38400 PARITY=n DATA=8 STOP=1 rts=on dtr=on" of the last Open.
    const std::string& definition() const { return definition_; }
    const std::vector<std::string>& dump_lines() const { return dump_lines_; }
    const std::string& dump_text() const { return dump_text_; }

private:
    enum class Outcome { kNext, kRestart, kJump, kStop };

    void Show(const std::string& text) const;
    bool Stopped() const { return stop_ && stop_(); }
    bool Wait(int ms) const;
    void BuildDump();
    Outcome AwaitAnswer(const std::vector<AnswerTable::Answer>& expected, bool no_timeout, bool send_allowed,
                        int* jump);

    TextSink show_;
    StopQuery stop_;
    Waiter wait_;
    OpenFailure open_failure_;
    int fd_ = -1;
    std::vector<char> receive_;
    std::string definition_;
    std::vector<std::string> dump_lines_;
    std::string dump_text_;
    int loop_counter_ = -1;
};

}  // namespace zerlan
