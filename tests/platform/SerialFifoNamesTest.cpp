#include <stdlib.h>

#include <gtest/gtest.h>

#include "platform/Fifo.h"
#include "platform/SerialPort.h"

namespace zerlan {
namespace {

TEST(SerialFifoNames, PortAndPipeNamesMapOntoDevicesAndFifos) {
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

}  // namespace
}  // namespace zerlan
