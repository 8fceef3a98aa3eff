#include "platform/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/DescriptorWrite.h"

namespace zerlan {

namespace {

struct BaudEntry {
    long rate;
    speed_t code;
};

constexpr BaudEntry kBauds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}};

bool BaudCode(long rate, speed_t* code) {
    for (const BaudEntry& e : kBauds) {
        if (e.rate == rate) {
            *code = e.code;
            return true;
        }
    }
    return false;
}

long BaudRate(speed_t code) {
    for (const BaudEntry& e : kBauds) {
        if (e.code == code) return e.rate;
    }
    return 0;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void SetLine(int fd, int line, bool on) {
    // Pseudo-terminals have no modem lines; their refusal is not an error.
    ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);
}

}  // namespace

std::string SerialDevicePath(const std::string& name) {
    if (name.size() > 3 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "com") == 0)) {
        const int n = std::atoi(name.c_str() + 3);
        if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
    }
    if (!name.empty() && name[0] == '/') return name;
    return "/dev/" + name;
}

int OpenSerialPort(const std::string& device, const SerialConfig& config, std::string* error) {
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = std::strerror(errno);
        return -1;
    }
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        if (error) *error = std::strerror(errno);
        close(fd);
        return -1;
    }
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    speed_t speed;
    if (BaudCode(config.baud, &speed)) {
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
    }
    t.c_cflag &= ~CSIZE;
    switch (config.data_bits) {
        case 5: t.c_cflag |= CS5; break;
        case 6: t.c_cflag |= CS6; break;
        case 7: t.c_cflag |= CS7; break;
        default: t.c_cflag |= CS8; break;
    }
    t.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (std::tolower(static_cast<unsigned char>(config.parity))) {
        case 'e': t.c_cflag |= PARENB; break;
        case 'o': t.c_cflag |= PARENB | PARODD; break;
        case 'm': t.c_cflag |= PARENB | PARODD | CMSPAR; break;
        case 's': t.c_cflag |= PARENB | CMSPAR; break;
        default: break;
    }
    if (config.stop_bits == 2) {
        t.c_cflag |= CSTOPB;
    } else {
        t.c_cflag &= ~CSTOPB;
    }
    int dtr = -1, rts = -1;
    t.c_cflag &= ~CRTSCTS;
    for (const auto& [raw_key, raw_value] : config.options) {
        const std::string key = Lower(raw_key), value = Lower(raw_value);
        const bool on = value == "on";
        if (key == "xon") {
            if (on) {
                t.c_iflag |= IXON | IXOFF;
            } else {
                t.c_iflag &= ~(IXON | IXOFF);
            }
        } else if (key == "octs") {
            if (on) t.c_cflag |= CRTSCTS;
        } else if (key == "dtr") {
            dtr = value == "off" ? 0 : 1;
        } else if (key == "rts") {
            if (value == "hs") t.c_cflag |= CRTSCTS;
            rts = value == "off" ? 0 : 1;
        }
    }
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        if (error) *error = std::strerror(errno);
        close(fd);
        return -1;
    }
    if (dtr >= 0) SetLine(fd, TIOCM_DTR, dtr == 1);
    if (rts >= 0) SetLine(fd, TIOCM_RTS, rts == 1);
    return fd;
}

void CloseSerialPort(int fd) {
    if (fd >= 0) close(fd);
}

int ReadSerialPort(int fd, char* buffer, int size, int wait_ms) {
    if (fd < 0 || size <= 0) return fd < 0 ? -1 : 0;
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, wait_ms);
    if (ready < 0) return errno == EINTR ? 0 : -1;
    if (ready == 0) return 0;
    const ssize_t n = read(fd, buffer, static_cast<size_t>(size));
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    // End of file or an error such as EIO: the other side is gone.
    return -1;
}

int WriteSerialPort(int fd, const char* data, int size, int wait_ms) {
    return WriteWithin(fd, data, size, wait_ms);
}

SerialState ReadSerialState(int fd) {
    SerialState s;
    termios t{};
    if (fd < 0 || tcgetattr(fd, &t) != 0) return s;
    s.baud = BaudRate(cfgetospeed(&t));
    s.parity_on = (t.c_cflag & PARENB) ? 1 : 0;
    s.cts_flow = (t.c_cflag & CRTSCTS) ? 1 : 0;
    s.xon_out = (t.c_iflag & IXON) ? 1 : 0;
    s.xon_in = (t.c_iflag & IXOFF) ? 1 : 0;
    int lines = 0;
    if (ioctl(fd, TIOCMGET, &lines) == 0) {
        s.dtr_control = (lines & TIOCM_DTR) ? 1 : 0;
        s.rts_control = (lines & TIOCM_RTS) ? 1 : 0;
    }
    if (s.cts_flow) s.rts_control = 2;
    switch (t.c_cflag & CSIZE) {
        case CS5: s.byte_size = 5; break;
        case CS6: s.byte_size = 6; break;
        case CS7: s.byte_size = 7; break;
        default: s.byte_size = 8; break;
    }
    if (t.c_cflag & PARENB) {
        const bool odd = (t.c_cflag & PARODD) != 0;
        s.parity = (t.c_cflag & CMSPAR) ? (odd ? 3 : 4) : (odd ? 1 : 2);
    }
    s.stop_bits = (t.c_cflag & CSTOPB) ? 2 : 0;
    s.xon_char = t.c_cc[VSTART];
    s.xoff_char = t.c_cc[VSTOP];
    return s;
}

}  // namespace zerlan
