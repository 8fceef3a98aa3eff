// Serial ports and named pipes through the zerlan program: pseudo-terminals
// stand in for the ports, FIFOs in the test's directory for the pipes.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/PtyPair.h"
#include "support/TempDir.h"

namespace zerlan {
namespace {

using Ms = std::chrono::milliseconds;
using testing::PtyPair;

// Rate watches that never fire.
const char* const kQuietWatch = "/miz,\"50;InputDataNull;0;50;OutputDataNull;0\"";

class SerialPipeProgram : public ::testing::Test {
protected:
    void TearDown() override {
        if (pid_ > 0) StopProgram();
    }
    void Start(std::vector<std::string> args) {
        setenv("ZERLAN_PIPE_DIR", dir_.path().c_str(), 1);
        pid_ = fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            std::freopen("out.txt", "w", stdout);
            std::freopen("err.txt", "w", stderr);
            std::vector<char*> argv{const_cast<char*>(ZERLAN_BINARY)};
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(ZERLAN_BINARY, argv.data());
            _exit(127);
        }
    }
    // Milliseconds from SIGTERM to the end of the program.
    long StopProgram() {
        const auto start = std::chrono::steady_clock::now();
        kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 1500 && waitpid(pid_, &status, WNOHANG) != pid_; ++i) std::this_thread::sleep_for(Ms(10));
        const long ms = std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - start).count();
        if (waitpid(pid_, &status, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
        // A stop by signal ends with status 0 (and a sanitizer's finding would not).
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << testing::ReadFile("err.txt");
        return ms;
    }
    static bool WaitFor(const std::function<bool()>& done, int max_ms = 8000) {
        const auto end = std::chrono::steady_clock::now() + Ms(max_ms);
        while (std::chrono::steady_clock::now() < end) {
            if (done()) return true;
            std::this_thread::sleep_for(Ms(2));
        }
        return false;
    }
    static bool Logged(const std::string& part) { return testing::ReadFile("err.txt").find(part) != std::string::npos; }
    static int Occurrences(const std::string& text, const std::string& part) {
        int n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
        return n;
    }
    static std::string FreePort() {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        close(fd);
        return std::to_string(ntohs(a.sin_port));
    }
    static int Connect(const std::string& port) {
        int fd = -1;
        WaitFor([&] {
            fd = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<uint16_t>(std::stoi(port)));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return true;
            close(fd);
            fd = -1;
            return false;
        });
        return fd;
    }
    // Reads `fd` until `want` bytes came or the time is up.
    static std::string ReadBytes(int fd, size_t want, int max_ms = 8000) {
        std::string got;
        WaitFor(
            [&] {
                pollfd p{fd, POLLIN, 0};
                if (poll(&p, 1, 5) > 0 && (p.revents & POLLIN)) {
                    char buffer[8192];
                    const ssize_t n = read(fd, buffer, sizeof buffer);
                    if (n > 0) got.append(buffer, static_cast<size_t>(n));
                }
                return got.size() >= want;
            },
            max_ms);
        return got;
    }
    // Writes at the pace of a fast serial line, so that the test measures
    // the relay and not the scheduling of a loaded machine.
    static bool WritePaced(int fd, const std::string& bytes, int pause_ms = 4) {
        for (size_t at = 0; at < bytes.size(); at += 256) {
            const std::string part = bytes.substr(at, 256);
            size_t done = 0;
            while (done < part.size()) {
                const ssize_t n = write(fd, part.data() + done, part.size() - done);
                if (n <= 0) return false;
                done += static_cast<size_t>(n);
            }
            std::this_thread::sleep_for(Ms(pause_ms));
        }
        return true;
    }
    static std::string Noise(size_t n, unsigned seed) {
        std::string s;
        for (size_t i = 0; i < n; ++i) {
            seed = seed * 1103515245u + 12345u;
            s += static_cast<char>(seed >> 16);
        }
        return s;
    }
    std::string Serial(const PtyPair& pty) const {
        return "\"" + pty.SettingName() + ";38400;n;8;1;rts=on,dtr=on;FALSE;Null;FALSE;Null\"";
    }

    testing::TempDir dir_;
    pid_t pid_ = -1;
};

TEST_F(SerialPipeProgram, SerialInputRelaysByteExactToATcpServerOutput) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    const std::string port = FreePort();
    Start({"/inout_sw,\"COMP;Null;Null;TCP;Null;Null;Null;Null;500;1;1;20\"", "/co_in," + Serial(pty),
           "/tcp_out,\"127.0.0.1;" + port + ";TRUE;1;FALSE;0\"", kQuietWatch});
    const int client = Connect(port);
    ASSERT_GE(client, 0);
    // The port is raw from its opening on; bytes written before would meet
    // the line editing of a fresh terminal.
    ASSERT_TRUE(WaitFor([&] { return Logged("Accept on Port") && Logged("Comport-Open on " + pty.SettingName() + " !"); }));
    const std::string sent = Noise(30000, 1);
    ASSERT_TRUE(WritePaced(pty.master, sent));
    EXPECT_TRUE(ReadBytes(client, sent.size()) == sent);
    close(client);
}

TEST_F(SerialPipeProgram, TcpInputRelaysByteExactToASerialOutput) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    const std::string port = FreePort();
    Start({"/inout_sw,\"TCP;Null;COMP;Null;Null;Null;Null;Null;500;1;1;20\"", "/co_out," + Serial(pty),
           "/tcp_in,\"127.0.0.1;" + port + ";TRUE\"", kQuietWatch});
    ASSERT_TRUE(WaitFor([&] { return Logged("Comport-Open on " + pty.SettingName() + " !"); }));
    const int sender = Connect(port);
    ASSERT_GE(sender, 0);
    const std::string sent = Noise(30000, 2);
    // The output pauses after opening its port; a GNSS stream's rate fits
    // into the reader's buffer meanwhile.
    std::thread feed([&] { WritePaced(sender, sent, 10); });
    EXPECT_TRUE(ReadBytes(pty.master, sent.size()) == sent);
    feed.join();
    close(sender);
}

TEST_F(SerialPipeProgram, FifoInputSurvivesItsWriterLeavingAndLosesNothing) {
    const std::string port = FreePort();
    Start({"/inout_sw,\"PIPE;Null;Null;TCP;Null;Null;Null;Null;500;1;1;20\"", "/pipe_in,\"\\\\.\\pipe\\in\"",
           "/tcp_out,\"127.0.0.1;" + port + ";TRUE;1;FALSE;0\"", kQuietWatch});
    const int client = Connect(port);
    ASSERT_GE(client, 0);
    ASSERT_TRUE(WaitFor([] { return Logged("Accept on Port") && Logged("Pipe-Open on \\\\.\\pipe\\in !"); }));
    const std::string fifo = dir_.path() + "/in";
    std::string sent;
    for (unsigned writer = 1; writer <= 3; ++writer) {
        const int fd = open(fifo.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0) << writer;
        const std::string part = Noise(8000, writer + 10);
        ASSERT_TRUE(WritePaced(fd, part));
        sent += part;
        close(fd);
    }
    EXPECT_TRUE(ReadBytes(client, sent.size()) == sent);
    close(client);
}

TEST_F(SerialPipeProgram, PipeOutputsServeAReaderThatComesAndGoes) {
    const std::string example = testing::ReadFile(std::string(ZERLAN_SOURCE_DIR) + "/examples/example.rtcm3");
    ASSERT_FALSE(example.empty());
    const std::string port = FreePort();
    Start({"/inout_sw,\"TCP;Null;Null;Null;Null;PIPE;Null;RTCM;500;1;2;20\"", "/pipe_out,\"\\\\.\\pipe\\out\"",
           "/dec_out,\"TRUE;\\\\.\\pipe\\dec;FALSE;a,4096;FALSE;" + FreePort() + ";1;FALSE;FALSE,0\"",
           "/tcp_in,\"127.0.0.1;" + port + ";TRUE\"", kQuietWatch});
    const int sender = Connect(port);
    ASSERT_GE(sender, 0);
    std::atomic<bool> done{false};
    std::thread feed([&] {
        while (!done && WritePaced(sender, example)) {
        }
    });
    const std::string twice = example + example;
    for (const char* name : {"/out", "/dec"}) {
        const std::string fifo = dir_.path() + name;
        for (int reader = 1; reader <= 2; ++reader) {
            SCOPED_TRACE(std::string(name) + " reader " + std::to_string(reader));
            ASSERT_TRUE(WaitFor([&] {
                struct stat st {};
                return stat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
            }));
            const int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
            ASSERT_GE(fd, 0);
            const std::string got = ReadBytes(fd, 1500);
            close(fd);
            ASSERT_GE(got.size(), 1500u);
            if (std::string(name) == "/out") {
                // Any stretch of the repeated stream lies within two copies of it.
                EXPECT_NE(twice.find(got.substr(0, 1500)), std::string::npos);
            } else {
                EXPECT_NE(got.find("\r\n"), std::string::npos);
                EXPECT_EQ(got.find('\xD3'), std::string::npos);
            }
        }
    }
    done = true;
    feed.join();
    close(sender);
    const std::string log = testing::ReadFile("err.txt");
    EXPECT_EQ(Occurrences(log, "Pipe-Open on \\\\.\\pipe\\out !"), 1);
    EXPECT_EQ(Occurrences(log, "Pipe-Open on \\\\.\\pipe\\dec !"), 1);
}

TEST_F(SerialPipeProgram, AStopWithASerialPortAndUnopenedFifosIsQuick) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    Start({"/inout_sw,\"COMP;Null;Null;Null;Null;PIPE;Null;RTCM;500;1;1;20\"", "/co_in," + Serial(pty),
           "/pipe_out,\"\\\\.\\pipe\\out\"", "/dec_out,\"TRUE;\\\\.\\pipe\\dec;FALSE;a,4096;FALSE;4004;1;FALSE;FALSE,0\"",
           kQuietWatch});
    ASSERT_TRUE(WaitFor([&] { return Logged("Comport-Open on"); }));
    EXPECT_LT(StopProgram(), 3000);
    EXPECT_NE(testing::ReadFile("Protokol.dat").find("General-Stop : no_failure, all_Process_closed"),
              std::string::npos);
}

TEST_F(SerialPipeProgram, APortOrPipeThatCannotBeOpenedIsNamedOnceWithItsReason) {
    testing::WriteFile("plain", "not a fifo");
    // The input's rate watch fires every second and reopens the port.
    Start({"/inout_sw,\"COMP;Null;Null;Null;Null;PIPE;Null;Null;500;1;1;20\"",
           "/co_in,\"\\dev\\zerlan-no-such-tty;38400;n;8;1;rts=on;FALSE;Null;FALSE;Null\"", "/pipe_out,\"plain\"",
           "/miz,\"50;InputDataNull;1;50;OutputDataNull;0\"", "/seb,\"1;1\""});
    ASSERT_TRUE(WaitFor([] {
        const std::string log = testing::ReadFile("err.txt");
        return Occurrences(log, "CharWatch: Go new Comport-Open !!!") >= 2;
    }));
    // The pipe output kept trying: a FIFO in place of the file is taken.
    ASSERT_EQ(unlink("plain"), 0);
    ASSERT_EQ(mkfifo("plain", 0600), 0);
    const int reader = open("plain", O_RDONLY | O_NONBLOCK);
    EXPECT_TRUE(WaitFor([] { return Logged("Pipe-Open on plain !"); }));
    close(reader);
    StopProgram();
    const std::string log = testing::ReadFile("err.txt");
    EXPECT_EQ(Occurrences(log, "Comport /dev/zerlan-no-such-tty cannot be opened: No such file or directory"), 1);
    EXPECT_EQ(Occurrences(log, "Pipe plain cannot be opened: exists and is not a FIFO"), 1);
}

}  // namespace
}  // namespace zerlan
