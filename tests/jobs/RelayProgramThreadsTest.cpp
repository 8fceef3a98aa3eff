// The relay through the zerlan program on loopback: a source that stays quiet
// for 5 s and then sends 1 MB reaches every TCP and UDP client byte for byte
// over one single connection to the source; the same through the caster
// input from str2str's NTRIP caster.
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <thread>
#include <vector>

#include "support/RelayJob.h"
#include "platform/Socket.h"
#include "support/WaitFor.h"

namespace zerlan {
namespace {

using Steady = std::chrono::steady_clock;
using testing::Count;
using testing::FreePort;
using testing::WaitFor;
constexpr int kSilenceMs = 5000;
constexpr size_t kStreamSize = 1 << 20;

uint16_t PortOf(const std::string& port) { return static_cast<uint16_t>(std::stoi(port)); }

// A child program whose stdout and stderr go to files; ended with SIGTERM.
class Child {
public:
    Child(const std::string& program, const std::vector<std::string>& args, const std::string& out,
          const std::string& err) {
        pid_ = fork();
        if (pid_ != 0) return;
        std::freopen(out.c_str(), "w", stdout);
        std::freopen(err.c_str(), "w", stderr);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(program.c_str(), argv.data());
        _exit(127);
    }
    ~Child() { Stop(); }
    // Exit status after SIGTERM, -1 when it had to be killed.
    int Stop() {
        if (pid_ <= 0) return status_;
        kill(pid_, SIGTERM);
        int status = 0;
        if (!WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 12000)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            status_ = -1;
        } else {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        pid_ = -1;
        return status_;
    }

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Connects, retrying while the program is not yet listening.
bool Connect(CBlockingSocket& socket, const std::string& port) {
    return WaitFor(
        [&] {
            try {
                socket.Create(CBlockingSocket::kStream);
                socket.Connect(CSocketAddress("127.0.0.1", PortOf(port)), 1);
                return true;
            } catch (const CBlockingSocketException&) {
                socket.Cleanup();
                return false;
            }
        },
        10000);
}

bool HaveProgram(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Sends in pieces below a reader's 5000-byte margin, each once every reader
// (a TCP client or a registered UDP client) has the one before: a live relay
// never holds its input back, so a source running free would outrun a
// reader that is not scheduled on a loaded machine.
bool SendInSteps(CBlockingSocket& source, const std::string& data, const std::vector<CBlockingSocket*>& readers,
                 std::vector<std::string>& got) {
    constexpr size_t kPiece = 4000;
    got.assign(readers.size(), std::string());
    for (size_t at = 0; at < data.size(); at += kPiece) {
        const size_t n = std::min(kPiece, data.size() - at);
        source.Send(data.data() + at, static_cast<int>(n), 5);
        for (size_t r = 0; r < readers.size(); ++r) {
            if (!WaitFor(
                    [&] {
                        testing::TakeReady(*readers[r], got[r]);
                        return got[r].size() >= at + n;
                    },
                    10000)) {
                return false;
            }
        }
    }
    return true;
}

bool Listening(const std::string& hex_address, const std::string& port) {
    char entry[64];
    std::snprintf(entry, sizeof entry, "%s:%04X 00000000:0000 0A", hex_address.c_str(), std::stoi(port));
    return testing::ReadFile("/proc/net/tcp").find(entry) != std::string::npos;
}

// After the source's silence, 1 MB must reach every reader whole.
void ExpectRelayedWholeAfterSilence(CBlockingSocket& source, const std::vector<CBlockingSocket*>& readers) {
    const std::string data = testing::Pattern(kStreamSize);
    std::this_thread::sleep_for(std::chrono::milliseconds(kSilenceMs));
    std::vector<std::string> got;
    EXPECT_TRUE(SendInSteps(source, data, readers, got));
    for (size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(got[i] == data) << "reader " << i << " got " << got[i].size();
}

const char* kQuietWatches = "/miz,\"50;InputDataNull;0;50;OutputDataNull;0\"";

TEST(RelayProgramThreads, AQuietTcpSourceReachesThreeTcpClientsAndARegisteredUdpClientWhole) {
    testing::TempDir dir;
    CBlockingSocket source_listener;
    const std::string in_port = testing::BindLoopback(source_listener);
    const std::string out_port = FreePort();
    const std::string udp_port = FreePort();
    Child zerlan(ZERLAN_BINARY,
                 {"/inout_sw,\"TCP;Null;Null;TCP;UDP;Null;Null;Null;1000;0;1;100\"",
                  "/tcp_in,\"localhost;" + in_port + ";FALSE\"",
                  "/tcp_out,\"127.0.0.1;" + out_port + ";TRUE;5;FALSE;0\"",
                  "/udp_out,\"127.0.0.1;1;TRUE;127.0.0.1;" + udp_port + ";20\"", kQuietWatches},
                 "out.txt", "err.txt");

    CBlockingSocket clients[3];
    for (CBlockingSocket& c : clients) ASSERT_TRUE(Connect(c, out_port));
    EXPECT_TRUE(Listening("0100007F", out_port)) << testing::ReadFile("/proc/net/tcp");
    CBlockingSocket udp;
    udp.Create(CBlockingSocket::kDatagram);
    const int big = 4 << 20;
    setsockopt(udp.Handle(), SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    udp.Bind(CSocketAddress("127.0.0.1", 0));
    ASSERT_TRUE(WaitFor([] { return testing::ReadFile("err.txt").find("Udp-Open with") != std::string::npos; },
                        10000));
    udp.SendDatagram("!+!+", 4, CSocketAddress("127.0.0.1", PortOf(udp_port)), 1);
    // Every client is served before the first byte flows.
    ASSERT_TRUE(WaitFor(
        [] {
            const std::string err = testing::ReadFile("err.txt");
            return Count(err, "Accept on Port") >= 3 && err.find("Udp-Contact with Morvik-Client") != std::string::npos;
        },
        10000))
        << testing::ReadFile("err.txt");

    CBlockingSocket source;
    ASSERT_TRUE(testing::AcceptWithin(source_listener, source));
    ExpectRelayedWholeAfterSilence(source, {&clients[0], &clients[1], &clients[2], &udp});
    // One connection to the source for the whole run.
    EXPECT_EQ(sock::Wait(source_listener.Handle(), false, 0), sock::kWaitTimedOut);
    EXPECT_EQ(zerlan.Stop(), 0);
}

TEST(RelayProgramThreads, AQuietStreamFromStr2strsCasterIsRelayedWhole) {
    if (!HaveProgram("str2str")) GTEST_SKIP() << "str2str is not installed";
    testing::TempDir dir;
    const std::string feed_port = FreePort();
    const std::string caster_port = FreePort();
    Child caster("str2str", {"-in", "tcpsvr://:" + feed_port, "-out", "ntripc://user:pass@:" + caster_port + "/MNT"},
                 "caster.out", "caster.err");
    CBlockingSocket feed;
    ASSERT_TRUE(Connect(feed, feed_port));
    const std::string out_port = FreePort();
    // --monitor: the caster's status line is received text, shown only then.
    Child zerlan(ZERLAN_BINARY,
                 {"--monitor", "/inout_sw,\"CAST;Null;Null;TCP;Null;Null;Null;Null;1000;0;1;100\"",
                  "/cast_in,\"127.0.0.1;" + caster_port + ";MNT;x;user:pass;1000;0;0.0.0.0;8080\"",
                  "/tcp_out,\"0.0.0.0;" + out_port + ";TRUE;5;FALSE;0\"", kQuietWatches},
                 "out.txt", "err.txt");
    CBlockingSocket client;
    ASSERT_TRUE(Connect(client, out_port));
    EXPECT_TRUE(Listening("00000000", out_port));
    ASSERT_TRUE(WaitFor(
        [] {
            const std::string err = testing::ReadFile("err.txt");
            return err.find("ICY 200 OK") != std::string::npos && err.find("Accept on Port") != std::string::npos;
        },
        10000))
        << testing::ReadFile("err.txt") << testing::ReadFile("caster.err");
    ExpectRelayedWholeAfterSilence(feed, {&client});
    EXPECT_EQ(Count(testing::ReadFile("err.txt"), "Connect with 127.0.0.1:" + caster_port), 1u);
    EXPECT_EQ(zerlan.Stop(), 0);
}

}  // namespace
}  // namespace zerlan
