// Where the settings' Windows names land on Linux, and the time prefix of
// the log.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Fifo.h"
#include "platform/Paths.h"
#include "platform/SerialPort.h"

namespace zerlan {
namespace {

TEST(Paths, WindowsNamesMapOntoPathsDevicesAndFifos) {
    const std::pair<std::string, std::string> paths[] = {
        {".\\Protokol.dat", "./Protokol.dat"}, {"\\var\\log\\zerlan.dat", "/var/log/zerlan.dat"},
        {"data\xBB" "out.txt", "data/out.txt"}, {"STDIN", "STDIN"}, {"STDOUT", "STDOUT"}};
    for (const auto& [windows, posix] : paths) EXPECT_EQ(MapPath(windows), posix);
    EXPECT_EQ(RestoreSlashes("mount\xAFpoint", kNetSlashSubstitute), "mount/point");

    EXPECT_EQ(SerialDevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(SerialDevicePath("COM12"), "/dev/ttyS11");
    EXPECT_EQ(SerialDevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialDevicePath("ttyACM1"), "/dev/ttyACM1");
    unsetenv("ZERLAN_PIPE_DIR");
    EXPECT_EQ(FifoPath("\\\\.\\pipe\\PipeIn"), "/tmp/PipeIn");
    setenv("ZERLAN_PIPE_DIR", "/run/zerlan", 1);
    EXPECT_EQ(FifoPath("\\\\.\\pipe\\DecPipe"), "/run/zerlan/DecPipe");
    EXPECT_EQ(FifoPath("\\var\\gnss\\in.fifo"), "/var/gnss/in.fifo");
    unsetenv("ZERLAN_PIPE_DIR");
}

TEST(Console, EveryLogLineStartsWithTheLocalTime) {
    FakeClock clock;
    clock.Set(LocalTime{2025, 2, 3, 9, 5, 7, 0, 1});
    Clock::Install(&clock);
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    WriteLogLines(out, "\r\nwritten in ProtocolFile\r\nsecond\nlast without end");
    std::rewind(out);
    char buffer[256] = {};
    buffer[std::fread(buffer, 1, sizeof buffer - 1, out)] = '\0';
    std::fclose(out);
    Clock::Install(nullptr);
    EXPECT_STREQ(buffer,
                 "2025-02-03 09:05:07 written in ProtocolFile\n"
                 "2025-02-03 09:05:07 second\n"
                 "2025-02-03 09:05:07 last without end\n");
}

}  // namespace
}  // namespace zerlan
