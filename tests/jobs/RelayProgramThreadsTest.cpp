// The relay through the zerlan program on loopback: a source that stays quiet
// for 5 s and then sends 1 MB reaches every TCP and UDP client byte for byte
// over one single connection to the source; the same through the caster
// input from str2str's NTRIP caster.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "support/ByteStreams.h"
#include "transport/BlockingSocket.h"

namespace zerlan {
namespace {

using testing::ConnectTo;
using testing::Count;
using testing::UnusedPort;
using testing::WaitFor;
constexpr int kSilenceMs = 5000;
constexpr size_t kStreamSize = 1 << 20;

// A program in the background, its output in files; ended with SIGTERM.
struct Running {
    pid_t pid;
    int Stop() {
        const int status = pid > 0 ? testing::WaitForExit(pid, true) : -1;
        pid = -1;
        return status;
    }
    ~Running() { Stop(); }
};

pid_t StartStr2str(std::vector<std::string> args) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    std::freopen("caster.out", "w", stdout);
    std::freopen("caster.err", "w", stderr);
    std::vector<char*> argv{const_cast<char*>("str2str")};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execvp("str2str", argv.data());
    _exit(127);
}

// Sends in pieces below a reader's 5000-byte margin, each once every reader
// (a TCP client or a registered UDP client) has the one before: a live relay
// never holds its input back, so a source running free would outrun a
// reader that is not scheduled on a loaded machine.
bool SendInSteps(int source, const std::string& data, const std::vector<int>& readers, std::vector<std::string>& got) {
    constexpr size_t kPiece = 4000;
    got.assign(readers.size(), std::string());
    for (size_t at = 0; at < data.size(); at += kPiece) {
        const size_t n = std::min(kPiece, data.size() - at);
        if (send(source, data.data() + at, n, MSG_NOSIGNAL) != static_cast<ssize_t>(n)) return false;
        for (size_t r = 0; r < readers.size(); ++r) {
            if (!WaitFor([&] {
                    char buffer[4096];
                    const ssize_t k = recv(readers[r], buffer, sizeof buffer, MSG_DONTWAIT);
                    if (k > 0) got[r].append(buffer, static_cast<size_t>(k));
                    return got[r].size() >= at + n;
                })) {
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
void ExpectRelayedWholeAfterSilence(int source, const std::vector<int>& readers) {
    const std::string data = testing::Noise(kStreamSize, 7);
    std::this_thread::sleep_for(std::chrono::milliseconds(kSilenceMs));
    std::vector<std::string> got;
    EXPECT_TRUE(SendInSteps(source, data, readers, got));
    for (size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(got[i] == data) << "reader " << i << " got " << got[i].size();
}

// A connection that comes within 10 s, else -1.
int AcceptWithin(int listener) {
    pollfd p{listener, POLLIN, 0};
    return poll(&p, 1, 10000) == 1 ? accept(listener, nullptr, nullptr) : -1;
}

const char* kQuietWatches = "/miz,\"50;InputDataNull;0;50;OutputDataNull;0\"";

TEST(RelayProgramThreads, AQuietTcpSourceReachesThreeTcpClientsAndARegisteredUdpClientWhole) {
    testing::TempDir dir;
    testing::BusyPort source_listener;
    const std::string out_port = UnusedPort();
    const std::string udp_port = UnusedPort();
    Running zerlan{testing::StartZerlan({"/inout_sw,\"TCP;Null;Null;TCP;UDP;Null;Null;Null;1000;0;1;100\"",
                                         "/tcp_in,\"localhost;" + source_listener.port + ";FALSE\"",
                                         "/tcp_out,\"127.0.0.1;" + out_port + ";TRUE;5;FALSE;0\"",
                                         "/udp_out,\"127.0.0.1;1;TRUE;127.0.0.1;" + udp_port + ";20\"",
                                         kQuietWatches})};
    std::vector<int> readers;
    for (int i = 0; i < 3; ++i) {
        readers.push_back(ConnectTo(out_port));
        ASSERT_GE(readers.back(), 0);
    }
    EXPECT_TRUE(Listening("0100007F", out_port)) << testing::ReadFile("/proc/net/tcp");
    CBlockingSocket udp;
    udp.Create(CBlockingSocket::kDatagram);
    const int big = 4 << 20;
    setsockopt(udp.Handle(), SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    udp.Bind(CSocketAddress("127.0.0.1", 0));
    ASSERT_TRUE(testing::WaitForLog("Udp-Open with"));
    udp.SendDatagram("!+!+", 4, CSocketAddress("127.0.0.1", static_cast<uint16_t>(std::stoi(udp_port))), 1);
    readers.push_back(udp.Handle());
    // Every client is served before the first byte flows.
    ASSERT_TRUE(WaitFor([] {
        const std::string err = testing::ReadFile("err.txt");
        return Count(err, "Accept on Port") >= 3 && testing::Has(err, "Udp-Contact with Morvik-Client");
    })) << testing::ReadFile("err.txt");

    const int source = AcceptWithin(source_listener.fd);
    ASSERT_GE(source, 0);
    ExpectRelayedWholeAfterSilence(source, readers);
    // One connection to the source for the whole run.
    pollfd again{source_listener.fd, POLLIN, 0};
    EXPECT_EQ(poll(&again, 1, 0), 0);
    EXPECT_EQ(zerlan.Stop(), 0);
    for (int fd : {readers[0], readers[1], readers[2], source}) close(fd);
}

TEST(RelayProgramThreads, AQuietStreamFromStr2strsCasterIsRelayedWhole) {
    if (std::system("command -v str2str >/dev/null") != 0) GTEST_SKIP() << "str2str is not installed";
    testing::TempDir dir;
    const std::string feed_port = UnusedPort();
    const std::string caster_port = UnusedPort();
    Running caster{StartStr2str({"-in", "tcpsvr://:" + feed_port, "-out", "ntripc://user:pass@:" + caster_port + "/MNT"})};
    const int feed = ConnectTo(feed_port);
    ASSERT_GE(feed, 0);
    const std::string out_port = UnusedPort();
    // --monitor: the caster's status line is received text, shown only then.
    Running zerlan{testing::StartZerlan({"--monitor", "/inout_sw,\"CAST;Null;Null;TCP;Null;Null;Null;Null;1000;0;1;100\"",
                                         "/cast_in,\"127.0.0.1;" + caster_port + ";MNT;x;user:pass;1000;0;0.0.0.0;8080\"",
                                         "/tcp_out,\"0.0.0.0;" + out_port + ";TRUE;5;FALSE;0\"", kQuietWatches})};
    const int client = ConnectTo(out_port);
    ASSERT_GE(client, 0);
    EXPECT_TRUE(Listening("00000000", out_port));
    ASSERT_TRUE(WaitFor([] {
        const std::string err = testing::ReadFile("err.txt");
        return testing::Has(err, "ICY 200 OK") && testing::Has(err, "Accept on Port");
    })) << testing::ReadFile("err.txt") << testing::ReadFile("caster.err");
    ExpectRelayedWholeAfterSilence(feed, {client});
    EXPECT_EQ(Count(testing::ReadFile("err.txt"), "Connect with 127.0.0.1:" + caster_port), 1);
    EXPECT_EQ(zerlan.Stop(), 0);
    close(client);
    close(feed);
}

}  // namespace
}  // namespace zerlan
