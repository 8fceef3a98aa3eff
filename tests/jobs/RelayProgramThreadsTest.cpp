// The zerlan program on loopback: a source quiet for 5 s and then 1 MB reaches every TCP and UDP
// client whole over one connection, and peers that come and go are each logged once with the reason.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "support/ByteStreams.h"
#include "support/FakeCaster.h"
#include "support/RelayJob.h"
#include "platform/Socket.h"
#include "transport/BlockingSocket.h"

namespace zerlan {
namespace {

using testing::AcceptWithin;
using testing::BindLoopback;
using testing::ConnectTo;
using testing::Count;
using testing::FakeCaster;
using testing::UnusedPort;
using testing::WaitFor;
constexpr int kSilenceMs = 5000;
constexpr size_t kStreamSize = 1 << 20;
const char* kQuietWatches = "/miz,\"50;InputDataNull;0;50;OutputDataNull;0\"";

// A program in the background, its log in err.txt; ended with SIGTERM.
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

std::string Log() { return testing::ReadFile("err.txt"); }

::testing::AssertionResult LogShows(const std::string& text) {
    if (testing::WaitForLog(text)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << text << "\" in\n" << Log();
}

// Sends in pieces below a reader's 5000-byte margin, each once every reader (a TCP client or a
// registered UDP client) has the one before: a live relay never holds its input back, so a source
// running free would outrun a reader that is not scheduled on a loaded machine.
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

void ExpectRelayedWholeAfterSilence(int source, const std::vector<int>& readers) {
    const std::string data = testing::Noise(kStreamSize, 7);
    std::this_thread::sleep_for(std::chrono::milliseconds(kSilenceMs));
    std::vector<std::string> got;
    EXPECT_TRUE(SendInSteps(source, data, readers, got));
    for (size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(got[i] == data) << "reader " << i << " got " << got[i].size();
}

TEST(RelayProgramThreads, AQuietTcpSourceReachesThreeTcpClientsAndARegisteredUdpClientWhole) {
    testing::TempDir dir;
    CBlockingSocket source_listener, source;
    const std::string in_port = BindLoopback(source_listener);
    const std::string out_port = UnusedPort();
    const std::string udp_port = UnusedPort();
    Running zerlan{testing::StartZerlan({"/inout_sw,\"TCP;Null;Null;TCP;UDP;Null;Null;Null;1000;0;1;100\"",
                                         "/tcp_in,\"localhost;" + in_port + ";FALSE\"",
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
    ASSERT_TRUE(LogShows("Udp-Open with"));
    udp.SendDatagram("!+!+", 4, CSocketAddress("127.0.0.1", static_cast<uint16_t>(std::stoi(udp_port))), 1);
    readers.push_back(udp.Handle());
    // Every client is served before the first byte flows.
    ASSERT_TRUE(WaitFor([] {
        return Count(Log(), "Accept on Port") >= 3 && testing::Has(Log(), "Udp-Contact with Morvik-Client");
    })) << Log();

    ASSERT_TRUE(AcceptWithin(source_listener, source));
    ExpectRelayedWholeAfterSilence(source.Handle(), readers);
    // One connection to the source for the whole run.
    EXPECT_EQ(sock::Wait(source_listener.Handle(), false, 0), sock::kWaitTimedOut);
    EXPECT_EQ(zerlan.Stop(), 0);
    for (int fd : {readers[0], readers[1], readers[2]}) close(fd);
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
    ASSERT_TRUE(WaitFor([] { return Count(Log(), "ICY 200 OK") > 0 && Count(Log(), "Accept on Port") > 0; }))
        << Log() << testing::ReadFile("caster.err");
    ExpectRelayedWholeAfterSilence(feed, {client});
    EXPECT_EQ(Count(Log(), "Connect with 127.0.0.1:" + caster_port), 1);
    EXPECT_EQ(zerlan.Stop(), 0);
    for (int fd : {client, feed}) close(fd);
}

TEST(ReconnectLogThreads, ATcpSourceThatClosesAndRefusesAndAClientThatComesAndGoes) {
    testing::TempDir dir;
    CBlockingSocket listener, source;
    const std::string in_port = BindLoopback(listener);
    const std::string in = "127.0.0.1:" + in_port;
    const std::string out_port = UnusedPort();
    Running zerlan{testing::StartZerlan({"/inout_sw,\"TCP;Null;Null;TCP;Null;Null;Null;Null;1000;0;1;100\"",
                                         "/tcp_in,\"127.0.0.1;" + in_port + ";FALSE\"",
                                         "/tcp_out,\"0.0.0.0;" + out_port + ";TRUE;5;FALSE;0\"", kQuietWatches})};
    ASSERT_TRUE(AcceptWithin(listener, source));

    // A client that joins and leaves while no data flows: only its leaving shows it gone.
    const int client = ConnectTo(out_port);
    ASSERT_GE(client, 0);
    sockaddr_in local{};
    socklen_t length = sizeof local;
    getsockname(client, reinterpret_cast<sockaddr*>(&local), &length);
    const std::string who = "output: TCP server port " + out_port + ": client 127.0.0.1:" +
                            std::to_string(ntohs(local.sin_port));
    ASSERT_TRUE(LogShows(who + " connected\n"));
    close(client);
    ASSERT_TRUE(LogShows(who + " left: the client closed the connection\n"));

    // One line for the close, one for the whole run of refused attempts, one when it is back.
    listener.Cleanup();
    source.Cleanup();
    ASSERT_TRUE(LogShows("input: TCP client " + in + ": the peer closed the connection; reconnecting\n"));
    ASSERT_TRUE(LogShows("TCP client " + in + ": Connection refused; retrying\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // several refused attempts
    BindLoopback(listener, true, static_cast<uint16_t>(std::stoi(in_port)));
    ASSERT_TRUE(AcceptWithin(listener, source));
    ASSERT_TRUE(LogShows("TCP client " + in + ": connected\n"));

    const std::string log = Log();
    EXPECT_EQ(Count(log, " connected\n"), 2) << log;
    EXPECT_EQ(Count(log, " left: "), 1) << log;
    EXPECT_EQ(Count(log, "; reconnecting\n"), 1) << log;
    EXPECT_EQ(Count(log, "; retrying\n"), 1) << log;
}

TEST(ReconnectLogThreads, EveryOutputTellsItsReconnectsOnceWithTheReason) {
    testing::TempDir dir;
    // The caster refuses the first login, takes the second and drops it, then keeps the third.
    FakeCaster caster([](FakeCaster& c, int fd, int attempt) {
        c.ReadRequest(fd);
        FakeCaster::SendAll(fd, attempt == 0 ? "ERROR - Bad Password\r\n" : "ICY 200 OK\r\n");
        if (attempt == 1) c.ReadSome(fd, 10, 3000);
        if (attempt > 1) c.Hold(fd);
    });
    const std::string tcp_port = UnusedPort();
    // The UDP server's port is taken until the test lets it go.
    CBlockingSocket udp_holder;
    udp_holder.Create(CBlockingSocket::kDatagram);
    udp_holder.Bind(CSocketAddress("127.0.0.1", 0));
    const std::string udp_port = std::to_string(udp_holder.BoundPort());
    Running zerlan{testing::StartZerlan({"/inout_sw,\"DUMMY;CAST;Null;TCP;UDP;Null;Null;Null;500;0;1;50\"",
                                         "/cast_out,\"127.0.0.1;" + caster.port() +
                                             ";MOUNT1;x;secret;100;0;0.0.0.0;8080\"",
                                         "/tcp_out,\"127.0.0.1;" + tcp_port + ";FALSE;5;FALSE;0\"",
                                         "/udp_out,\"127.0.0.1;1;TRUE;127.0.0.1;" + udp_port + ";20\"",
                                         kQuietWatches})};

    const std::string upload = "output: upload to NTRIP caster 127.0.0.1:" + caster.port() + ": ";
    EXPECT_TRUE(LogShows(upload + "mountpoint MOUNT1 refused; retrying\n"));
    EXPECT_TRUE(LogShows(upload + "connected again\n"));
    EXPECT_TRUE(WaitFor([&] { return caster.attempts() >= 3; })) << Log();

    const std::string tcp = "127.0.0.1:" + tcp_port;
    EXPECT_TRUE(LogShows("TCP client " + tcp + ": Connection refused; retrying\n"));
    CBlockingSocket listener, tcp_peer;
    BindLoopback(listener, true, static_cast<uint16_t>(std::stoi(tcp_port)));
    ASSERT_TRUE(AcceptWithin(listener, tcp_peer));
    EXPECT_TRUE(LogShows("TCP client " + tcp + ": connected\n"));
    tcp_peer.Cleanup();
    EXPECT_TRUE(LogShows("output: TCP client " + tcp + ": "));

    const std::string udp = "output: UDP server 127.0.0.1:" + udp_port + ": ";
    EXPECT_TRUE(LogShows(udp + "Address already in use; retrying\n"));
    udp_holder.Cleanup();
    EXPECT_TRUE(LogShows(udp + "open\n"));

    const std::string log = Log();
    EXPECT_EQ(Count(log, upload + "mountpoint MOUNT1 refused"), 1) << log;
    // The dropped upload: a send into the closed connection fails.
    EXPECT_EQ(Count(log, "; reconnecting\n"), 2) << log;
    EXPECT_EQ(Count(log, upload), 4) << log;  // refused, again, dropped, again
    EXPECT_EQ(Count(log, udp), 2) << log;
    EXPECT_EQ(Count(log, "Error in UdpStart"), 1) << log;
    EXPECT_EQ(Count(log, "TCP client " + tcp + ": Connection refused"), 1) << log;
}

}  // namespace
}  // namespace zerlan
