// Serial ports on termios. A port is opened raw (no echo, no line editing,
// no translation), non-blocking, and read with a 1-ms poll, so that a read
// returns at once with whatever has arrived, as the stream threads expect.
//
// The settings come as the definition text's parts (baud, parity letter,
// data bits, stop bits) and the option pairs; keys without a termios
// equivalent ("to", "odsr", "idsr") are accepted and have no effect.
//
// Thread-safety: plain system calls over one descriptor; a port belongs to
// one thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zerlan {

// "COMn" is /dev/ttyS<n-1>; a name beginning with "/" is a path as it stands;
// any other name lies under /dev.
std::string SerialDevicePath(const std::string& port_name);

struct SerialConfig {
    long baud = 38400;
    char parity = 'n';   // n, e, o, m, s (either case)
    int data_bits = 8;   // 5..8
    int stop_bits = 1;   // 1 or 2
    std::vector<std::pair<std::string, std::string>> options;  // key, value
};

// The settings as the port holds them after they were applied, in the
// terms of the device-control dump; what Linux does not know stays 0.
struct SerialState {
    long baud = 0;
    int parity_on = 0;
    int cts_flow = 0;
    int dtr_control = 0;  // 0 off, 1 on
    int xon_out = 0;
    int xon_in = 0;
    int rts_control = 0;  // 0 off, 1 on, 2 handshake
    int byte_size = 0;
    int parity = 0;       // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stop_bits = 0;    // 0 one, 2 two
    int xon_char = 0;
    int xoff_char = 0;
};

// Opens and configures the device; the descriptor, or -1 with the reason in
// `error` (strerror text).
int OpenSerialPort(const std::string& device, const SerialConfig& config, std::string* error);
void CloseSerialPort(int fd);
// Reads what arrives within `wait_ms`: the byte count, 0 when nothing came,
// -1 when the port failed (closed by the peer, device gone).
int ReadSerialPort(int fd, char* buffer, int size, int wait_ms);
// Writes `size` bytes, waiting for room up to `wait_ms` without progress; the
// bytes written (fewer on failure or time-out), -1 when nothing could be
// written because the port failed.
int WriteSerialPort(int fd, const char* data, int size, int wait_ms);
SerialState ReadSerialState(int fd);

}  // namespace zerlan
