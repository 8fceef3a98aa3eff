#include "transport/ComDevice.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/Paths.h"
#include "platform/SerialPort.h"
#include "platform/Sleep.h"

namespace zerlan {

namespace {

constexpr int kWriteAttempts = 20;
constexpr int kReadAttempts = 10;
constexpr int kAnswerReadAttempts = 20;
// How long one write attempt waits for room in the port's output buffer.
constexpr int kWriteRoomMs = 50;
constexpr int kReadWaitMs = 1;
constexpr int kDialPauseMs = 300;
constexpr const char* kOptionKeys[] = {"to", "xon", "odsr", "octs", "dtr", "rts", "idsr"};

std::string Trim(const std::string& text) {
    const size_t a = text.find_first_not_of(' ');
    if (a == std::string::npos) return std::string();
    return text.substr(a, text.find_last_not_of(' ') - a + 1);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

}  // namespace

PortSettings PortSettingsOf(const SerialParams& p) {
    return PortSettings{p.port, p.baud, p.parity, p.data_bits, p.stop_bits, p.handshake};
}

bool IsNullSetting(const std::string& text) { return text.empty() || text == "Null"; }

CComDevice::CComDevice(TextSink show, StopQuery stop, Waiter wait)
    : show_(std::move(show)), stop_(std::move(stop)), wait_(std::move(wait)), receive_(1, '\0') {}

CComDevice::~CComDevice() { Close(); }

void CComDevice::Show(const std::string& text) const {
    if (show_) show_(text);
}

bool CComDevice::Wait(int ms) const {
    if (wait_) return wait_(ms);
    for (int left = ms; left > 0; left -= 10) {
        if (Stopped()) return false;
        Sleep(std::min(left, 10));
    }
    return !Stopped();
}

int CComDevice::Open(const PortSettings& settings) {
    Close();
    SerialConfig config;
    std::string tail;
    for (const std::string& pair : Split(settings.options, ',')) {
        const std::vector<std::string> kv = Split(pair, '=');
        const std::string key = Trim(kv[0]);
        const std::string value = kv.size() > 1 ? Trim(kv[1]) : std::string();
        if (std::find(std::begin(kOptionKeys), std::end(kOptionKeys), key) == std::end(kOptionKeys)) continue;
        tail += " " + key + "=" + value;
        config.options.emplace_back(key, value);
    }
    const char parity = settings.parity.empty() ? 'n' : settings.parity[0];
    char text[1200];
    std::snprintf(text, sizeof text, "%s BAUD=%s PARITY=%c DATA=%s STOP=%s%s", settings.port.c_str(),
                  settings.baud.c_str(), parity, settings.data_bits.c_str(), settings.stop_bits.c_str(),
                  tail.c_str());
    definition_ = text;

    config.baud = std::atol(settings.baud.c_str());
    config.parity = parity;
    config.data_bits = std::atoi(settings.data_bits.c_str());
    config.stop_bits = std::atoi(settings.stop_bits.c_str());
    const std::string device = SerialDevicePath(MapPath(settings.port));
    std::string error;
    fd_ = OpenSerialPort(device, config, &error);
    if (fd_ < 0 && open_failure_) open_failure_(device, error);
    BuildDump();
    return 0;
}

int CComDevice::Close() {
    CloseSerialPort(fd_);
    fd_ = -1;
    return 0;
}

void CComDevice::BuildDump() {
    const SerialState s = ReadSerialState(fd_);
    dump_lines_.clear();
    char line[100];
    auto add_long = [&](const char* name, long value) {
        std::snprintf(line, sizeof line, "%s %ld\n", name, value);
        dump_lines_.push_back(line);
    };
    auto add_int = [&](const char* name, int value) {
        std::snprintf(line, sizeof line, "%s %i\n", name, value);
        dump_lines_.push_back(line);
    };
    add_long("DCBlength", 28);
    add_long("BaudRate", s.baud);
    add_long("fBinary", fd_ >= 0 ? 1 : 0);
    add_long("fParity", s.parity_on);
    add_long("fOutxCtsFlow", s.cts_flow);
    add_long("fOutxDsrFlow", 0);
    add_long("fDtrControl", s.dtr_control);
    add_long("fDsrSensitivity", 0);
    add_long("fTXContinueOnXoff", 0);
    add_long("fOutX", s.xon_out);
    add_long("fInX", s.xon_in);
    add_long("fErrorChar", 0);
    add_long("fNull", 0);
    add_long("fRtsControl", s.rts_control);
    add_long("fAbortOnError", 0);
    add_long("fDummy2", 0);
    dump_lines_.push_back("wReserved n. d.\n");
    add_int("XonLim", 0);
    add_int("XoffLim", 0);
    add_int("ByteSize", s.byte_size);
    add_int("Parity", s.parity);
    add_int("StopBits", s.stop_bits);
    add_int("XonChar", s.xon_char);
    add_int("XoffChar", s.xoff_char);
    add_int("ErrorChar", 0);
    add_int("EofChar", 0);
    add_int("EvtChar", 0);
    add_int("wReserved1", 0);
    dump_text_.clear();
    for (const std::string& l : dump_lines_) dump_text_ += l;
}

int CComDevice::WriteText(const char* text) {
    int length = 0;
    while (text[length] != '\0') ++length;
    return Write(text, length);
}

int CComDevice::Write(const char* data, int length) {
    int done = 0;
    for (int attempt = 0; attempt < kWriteAttempts && done < length; ++attempt) {
        const int n = WriteSerialPort(fd_, data + done, length - done, kWriteRoomMs);
        if (n > 0) done += n;
    }
    return done;
}

int CComDevice::Read(int max_bytes) {
    if (max_bytes < 0) max_bytes = 0;
    if (receive_.size() < static_cast<size_t>(max_bytes) + 1) receive_.resize(static_cast<size_t>(max_bytes) + 1);
    int n = -1;
    for (int attempt = 0; attempt < kReadAttempts && n < 0; ++attempt) n = ReadSerialPort(fd_, receive_.data(), max_bytes, kReadWaitMs);
    if (n < 0) {
        // A closed or failed port answers at once; keep the 1-ms pace.
        Sleep(kReadWaitMs);
        n = 0;
    }
    receive_[static_cast<size_t>(n)] = '\0';
    return n;
}

int CComDevice::WriteRead(const char* data, int length, char* answer, int answer_max, int wait_ms) {
    int written = 0;
    for (int attempt = 0; attempt < kWriteAttempts && written < length && !Stopped(); ++attempt) {
        const int n = WriteSerialPort(fd_, data + written, length - written, kWriteRoomMs);
        if (n > 0) written += n;
    }
    if (answer_max > 0) answer[0] = '\0';
    if (written == 0) return 0;
    Wait(wait_ms);
    if (answer_max <= 0) return 0;
    int n = -1;
    for (int attempt = 0; attempt < kAnswerReadAttempts && n < 0; ++attempt) {
        n = ReadSerialPort(fd_, answer, answer_max - 1, kReadWaitMs);
    }
    if (n < 0) n = 0;
    answer[n] = '\0';
    return n;
}

void CComDevice::Dial(const PortSettings& settings, const std::string& phone, int max1, int max2, int max3) {
    Open(settings);
    std::vector<char> answer(static_cast<size_t>(std::max({max1, max2, max3, 1})));
    const std::string commands[] = {"ATZ\r\r", "AT+CBST=71\r\r", "ATDT " + phone + "\r\r"};
    const int maxima[] = {max1, max2, max3};
    const int waits[] = {kDialPauseMs, kDialPauseMs, 2000};
    for (int i = 0; i < 3; ++i) {
        if (!Wait(kDialPauseMs)) return;
        WriteRead(commands[i].data(), static_cast<int>(commands[i].size()), answer.data(), maxima[i], waits[i]);
    }
}

}  // namespace zerlan
