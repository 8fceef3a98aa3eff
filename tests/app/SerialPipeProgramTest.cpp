// Serial ports (pseudo-terminals here) and named pipes through the zerlan program.
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/ByteStreams.h"
#include "support/PtyPair.h"
#include "support/ZerlanRun.h"

namespace zerlan {
namespace {

using namespace testing;

const char kQuietWatch[] = "/miz,\"50;InputDataNull;0;50;OutputDataNull;0\"";  // rate watches off

std::string Serial(const PtyPair& pty) {
    return "\"" + pty.SettingName() + ";38400;n;8;1;rts=on,dtr=on;FALSE;Null;FALSE;Null\"";
}

class SerialPipeProgram : public ::testing::Test {
protected:
    void TearDown() override { if (pid_ > 0) Stop(); }
    void Start(std::vector<std::string> args) {
        setenv("ZERLAN_PIPE_DIR", dir_.path().c_str(), 1);
        args.insert(args.begin(), kQuietWatch);  // a test's own watch comes later and wins
        pid_ = StartZerlan(args);
        ASSERT_GT(pid_, 0);
    }
    // Milliseconds from SIGTERM to the end; status 0 also says no sanitizer found anything.
    long Stop() {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(WaitForExit(pid_, true), 0) << ReadFile("err.txt");
        pid_ = -1;
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    }

    TempDir dir_;
    PtyPair pty_;
    const std::string port_ = UnusedPort();
    pid_t pid_ = -1;
};

TEST_F(SerialPipeProgram, SerialInputRelaysByteExactAndAStopWithUnopenedFifosIsQuick) {
    ASSERT_TRUE(pty_.ok());
    Start({"/inout_sw,\"COMP;Null;Null;TCP;Null;PIPE;Null;RTCM;500;1;1;20\"", "/co_in," + Serial(pty_),
           "/tcp_out,\"127.0.0.1;" + port_ + ";TRUE;1;FALSE;0\"", "/pipe_out,\"\\\\.\\pipe\\out\"",
           "/dec_out,\"TRUE;\\\\.\\pipe\\dec;FALSE;a,4096;FALSE;4004;1;FALSE;FALSE,0\""});
    const int client = ConnectTo(port_);
    ASSERT_GE(client, 0);
    // Bytes written before the port is opened (and made raw) would meet a terminal's line editing.
    const std::string opened = "Comport-Open on " + pty_.SettingName() + " !";
    ASSERT_TRUE(WaitFor([&] { return Logged("Accept on Port") && Logged(opened); }));
    const std::string sent = Noise(30000, 1);
    ASSERT_TRUE(WritePaced(pty_.master, sent));
    EXPECT_TRUE(ReadBytes(client, sent.size()) == sent);
    close(client);
    EXPECT_LT(Stop(), 3000);  // no reader ever opened the FIFOs: the stop must not wait for one
    EXPECT_TRUE(Has(ReadFile("Protokol.dat"), "General-Stop : no_failure, all_Process_closed"));
}

TEST_F(SerialPipeProgram, TcpInputRelaysByteExactToASerialOutput) {
    ASSERT_TRUE(pty_.ok());
    Start({"/inout_sw,\"TCP;Null;COMP;Null;Null;Null;Null;Null;500;1;1;20\"", "/co_out," + Serial(pty_),
           "/tcp_in,\"127.0.0.1;" + port_ + ";TRUE\""});
    ASSERT_TRUE(WaitForLog("Comport-Open on " + pty_.SettingName() + " !"));
    const int sender = ConnectTo(port_);
    ASSERT_GE(sender, 0);
    const std::string sent = Noise(30000, 2);
    // The output pauses after opening its port; a GNSS stream's rate fits the reader's buffer meanwhile.
    std::thread feed([&] { WritePaced(sender, sent, 10); });
    EXPECT_TRUE(ReadBytes(pty_.master, sent.size()) == sent);
    feed.join();
    close(sender);
}

TEST_F(SerialPipeProgram, FifoInputSurvivesItsWriterLeavingAndPipeOutputsServeAReaderThatComesAndGoes) {
    const std::string example = ReadFile(std::string(ZERLAN_SOURCE_DIR) + "/examples/example.rtcm3");
    Start({"/inout_sw,\"PIPE;Null;Null;TCP;Null;PIPE;Null;RTCM;500;1;2;20\"", "/pipe_in,\"\\\\.\\pipe\\in\"",
           "/tcp_out,\"127.0.0.1;" + port_ + ";TRUE;1;FALSE;0\"", "/pipe_out,\"\\\\.\\pipe\\out\"",
           "/dec_out,\"TRUE;\\\\.\\pipe\\dec;FALSE;a,4096;FALSE;" + UnusedPort() + ";1;FALSE;FALSE,0\""});
    const int client = ConnectTo(port_);
    ASSERT_GE(client, 0);
    ASSERT_TRUE(WaitFor([] { return Logged("Accept on Port") && Logged("Pipe-Open on \\\\.\\pipe\\in !"); }));
    // Writers of the input come and go until the output readers are done (a jthread: also on an ASSERT).
    std::string sent;
    std::jthread writers([&](std::stop_token stop) {
        for (int writer = 1, fd = -1; writer <= 3 || !stop.stop_requested(); ++writer) {
            const std::string fifo = dir_.path() + "/in";
            if (!WaitFor([&] { return (fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; })) return;
            fcntl(fd, F_SETFL, 0);
            if (!WritePaced(fd, example + example)) return;
            sent += example + example;
            close(fd);
        }
    });
    for (const std::string name : {"out", "dec"}) {
        const std::string fifo = dir_.path() + "/" + name;
        for (int reader = 1; reader <= 2; ++reader) {
            SCOPED_TRACE(name + " reader " + std::to_string(reader));
            struct stat st {};
            ASSERT_TRUE(WaitFor([&] { return stat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode); }));
            const int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
            ASSERT_GE(fd, 0);
            const std::string got = ReadBytes(fd, 1500);
            close(fd);
            ASSERT_GE(got.size(), 1500u);
            if (name == "out") {  // any stretch of the repeated stream lies within two copies of it
                EXPECT_TRUE(Has(example + example, got.substr(0, 1500)));
            } else {
                EXPECT_TRUE(Has(got, "\r\n"));
                EXPECT_FALSE(Has(got, "\xD3"));
            }
        }
    }
    writers.request_stop();
    writers.join();
    EXPECT_TRUE(ReadBytes(client, sent.size()) == sent) << sent.size();
    close(client);
    const std::string log = ReadFile("err.txt");
    EXPECT_EQ(Count(log, "Pipe-Open on \\\\.\\pipe\\out !"), 1);
    EXPECT_EQ(Count(log, "Pipe-Open on \\\\.\\pipe\\dec !"), 1);
}

TEST_F(SerialPipeProgram, APortOrPipeThatCannotBeOpenedIsNamedOnceWithItsReason) {
    WriteFile("plain", "not a fifo");
    // The input's rate watch fires every second and reopens the port.
    Start({"/inout_sw,\"COMP;Null;Null;Null;Null;PIPE;Null;Null;500;1;1;20\"",
           "/co_in,\"\\dev\\zerlan-no-such-tty;38400;n;8;1;rts=on;FALSE;Null;FALSE;Null\"", "/pipe_out,\"plain\"",
           "/miz,\"50;InputDataNull;1;50;OutputDataNull;0\"", "/seb,\"1;1\""});
    ASSERT_TRUE(WaitFor([] { return Count(ReadFile("err.txt"), "CharWatch: Go new Comport-Open !!!") >= 2; }));
    // The pipe output kept trying: a FIFO in place of the file is taken.
    ASSERT_EQ(unlink("plain"), 0);
    ASSERT_EQ(mkfifo("plain", 0600), 0);
    const int reader = open("plain", O_RDONLY | O_NONBLOCK);
    EXPECT_TRUE(WaitForLog("Pipe-Open on plain !"));
    close(reader);
    Stop();
    const std::string log = ReadFile("err.txt");
    EXPECT_EQ(Count(log, "Comport /dev/zerlan-no-such-tty cannot be opened: No such file or directory"), 1);
    EXPECT_EQ(Count(log, "Pipe plain cannot be opened: exists and is not a FIFO"), 1);
}

}  // namespace
}  // namespace zerlan
