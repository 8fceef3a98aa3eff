// What an operator reads in the log of a running zerlan when peers come and
// go on loopback: a client joining and leaving, a source that closes and then
// refuses, and every output that loses its peer, each told once with its reason.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/FakeCaster.h"
#include "support/TempDir.h"
#include "platform/Socket.h"
#include "transport/BlockingSocket.h"

namespace zerlan {
namespace {

using Steady = std::chrono::steady_clock;
const char* kQuietWatches = "/miz,\"50;InputDataNull;0;50;OutputDataNull;0\"";

bool WaitFor(const std::function<bool()>& done, int max_ms = 10000) {
    const auto end = Steady::now() + std::chrono::milliseconds(max_ms);
    while (!done()) {
        if (Steady::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// zerlan with `args`, its log in err.txt; ended with SIGTERM.
class Zerlan {
public:
    explicit Zerlan(const std::vector<std::string>& args) {
        pid_ = fork();
        if (pid_ != 0) return;
        std::freopen("out.txt", "w", stdout);
        std::freopen("err.txt", "w", stderr);
        std::vector<char*> argv{const_cast<char*>(ZERLAN_BINARY)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(ZERLAN_BINARY, argv.data());
        _exit(127);
    }
    ~Zerlan() {
        kill(pid_, SIGTERM);
        int status = 0;
        if (!WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 12000)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
    }
    static std::string Log() { return testing::ReadFile("err.txt"); }
    static bool WaitForLog(const std::string& text) {
        return WaitFor([&] { return Log().find(text) != std::string::npos; });
    }

private:
    pid_t pid_ = -1;
};

void Listen(CBlockingSocket& listener, uint16_t port) {
    listener.Create(CBlockingSocket::kStream);
    listener.Bind(CSocketAddress("127.0.0.1", port));
    listener.Listen();
}

std::string FreePort(int type) {
    CBlockingSocket probe;
    probe.Create(type);
    probe.Bind(CSocketAddress("127.0.0.1", 0));
    return std::to_string(probe.BoundPort());
}

// Accepts one connection, waiting at most 10 s for it.
bool AcceptWithin(CBlockingSocket& listener, CBlockingSocket& socket) {
    return sock::Wait(listener.Handle(), false, 10000) == sock::kWaitReady && listener.Accept(socket, nullptr);
}

bool Connect(CBlockingSocket& socket, const std::string& port) {
    return WaitFor([&] {
        try {
            socket.Create(CBlockingSocket::kStream);
            socket.Connect(CSocketAddress("127.0.0.1", static_cast<uint16_t>(std::stoi(port))), 1);
            return true;
        } catch (const CBlockingSocketException&) {
            socket.Cleanup();
            return false;
        }
    });
}

TEST(ReconnectLogThreads, ATcpSourceThatClosesAndRefusesAndAClientThatComesAndGoes) {
    testing::TempDir dir;
    CBlockingSocket listener;
    Listen(listener, 0);
    const uint16_t in_port = listener.BoundPort();
    const std::string in = "127.0.0.1:" + std::to_string(in_port);
    const std::string out_port = FreePort(CBlockingSocket::kStream);
    Zerlan zerlan({"/inout_sw,\"TCP;Null;Null;TCP;Null;Null;Null;Null;1000;0;1;100\"",
                   "/tcp_in,\"127.0.0.1;" + std::to_string(in_port) + ";FALSE\"",
                   "/tcp_out,\"0.0.0.0;" + out_port + ";TRUE;5;FALSE;0\"", kQuietWatches});
    CBlockingSocket source;
    ASSERT_TRUE(AcceptWithin(listener, source));

    // A client that joins and leaves while no data flows: only its leaving shows it gone.
    CBlockingSocket client;
    ASSERT_TRUE(Connect(client, out_port));
    CSocketAddress local;
    client.GetSockName(&local);
    const std::string who =
        "output: TCP server port " + out_port + ": client 127.0.0.1:" + std::to_string(local.Port());
    ASSERT_TRUE(Zerlan::WaitForLog(who + " connected\n")) << Zerlan::Log();
    client.Cleanup();
    ASSERT_TRUE(Zerlan::WaitForLog(who + " left: the client closed the connection\n")) << Zerlan::Log();

    // The source closes and stops listening: one line for the close, one for
    // the whole run of refused attempts, one when it is back.
    listener.Cleanup();
    source.Cleanup();
    ASSERT_TRUE(Zerlan::WaitForLog("input: TCP client " + in + ": the peer closed the connection; reconnecting\n"))
        << Zerlan::Log();
    ASSERT_TRUE(Zerlan::WaitForLog("TCP client " + in + ": Connection refused; retrying\n")) << Zerlan::Log();
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // several refused attempts
    Listen(listener, in_port);
    ASSERT_TRUE(AcceptWithin(listener, source));
    ASSERT_TRUE(Zerlan::WaitForLog("TCP client " + in + ": connected\n")) << Zerlan::Log();

    const std::string log = Zerlan::Log();
    EXPECT_EQ(Count(log, " connected\n"), 2u) << log;
    EXPECT_EQ(Count(log, " left: "), 1u) << log;
    EXPECT_EQ(Count(log, "; reconnecting\n"), 1u) << log;
    EXPECT_EQ(Count(log, "; retrying\n"), 1u) << log;
}

TEST(ReconnectLogThreads, EveryOutputTellsItsReconnectsOnceWithTheReason) {
    testing::TempDir dir;
    // The caster refuses the first login, takes the second and drops it, then keeps the third.
    testing::FakeCaster caster([](testing::FakeCaster& c, int fd, int attempt) {
        c.ReadRequest(fd);
        if (attempt == 0) {
            testing::FakeCaster::SendAll(fd, "ERROR - Bad Password\r\n");
            return;
        }
        testing::FakeCaster::SendAll(fd, "ICY 200 OK\r\n");
        if (attempt == 1) {
            c.ReadSome(fd, 10, 3000);
        } else {
            c.Hold(fd);
        }
    });
    CBlockingSocket tcp_peer;
    const std::string tcp_port = FreePort(CBlockingSocket::kStream);
    // The UDP server's port is taken until the test lets it go.
    CBlockingSocket udp_holder;
    udp_holder.Create(CBlockingSocket::kDatagram);
    udp_holder.Bind(CSocketAddress("127.0.0.1", 0));
    const std::string udp_port = std::to_string(udp_holder.BoundPort());

    Zerlan zerlan({"/inout_sw,\"DUMMY;CAST;Null;TCP;UDP;Null;Null;Null;500;0;1;50\"",
                   "/cast_out,\"127.0.0.1;" + caster.port() + ";MOUNT1;x;secret;100;0;0.0.0.0;8080\"",
                   "/tcp_out,\"127.0.0.1;" + tcp_port + ";FALSE;5;FALSE;0\"",
                   "/udp_out,\"127.0.0.1;1;TRUE;127.0.0.1;" + udp_port + ";20\"", kQuietWatches});

    const std::string upload = "output: upload to NTRIP caster 127.0.0.1:" + caster.port() + ": ";
    EXPECT_TRUE(Zerlan::WaitForLog(upload + "mountpoint MOUNT1 refused; retrying\n")) << Zerlan::Log();
    EXPECT_TRUE(Zerlan::WaitForLog(upload + "connected again\n")) << Zerlan::Log();
    EXPECT_TRUE(WaitFor([&] { return caster.attempts() >= 3; })) << Zerlan::Log();

    const std::string tcp = "127.0.0.1:" + tcp_port;
    EXPECT_TRUE(Zerlan::WaitForLog("TCP client " + tcp + ": Connection refused; retrying\n")) << Zerlan::Log();
    CBlockingSocket listener;
    Listen(listener, static_cast<uint16_t>(std::stoi(tcp_port)));
    ASSERT_TRUE(AcceptWithin(listener, tcp_peer));
    EXPECT_TRUE(Zerlan::WaitForLog("TCP client " + tcp + ": connected\n")) << Zerlan::Log();
    tcp_peer.Cleanup();
    EXPECT_TRUE(Zerlan::WaitForLog("output: TCP client " + tcp + ": ")) << Zerlan::Log();

    const std::string udp = "output: UDP server 127.0.0.1:" + udp_port + ": ";
    EXPECT_TRUE(Zerlan::WaitForLog(udp + "Address already in use; retrying\n")) << Zerlan::Log();
    udp_holder.Cleanup();
    EXPECT_TRUE(Zerlan::WaitForLog(udp + "open\n")) << Zerlan::Log();

    const std::string log = Zerlan::Log();
    EXPECT_EQ(Count(log, upload + "mountpoint MOUNT1 refused"), 1u) << log;
    // The dropped upload: a send into the closed connection fails.
    EXPECT_EQ(Count(log, "; reconnecting\n"), 2u) << log;
    EXPECT_EQ(Count(log, upload), 4u) << log;  // refused, again, dropped, again
    EXPECT_EQ(Count(log, udp), 2u) << log;
    EXPECT_EQ(Count(log, "Error in UdpStart"), 1u) << log;
    EXPECT_EQ(Count(log, "TCP client " + tcp + ": Connection refused"), 1u) << log;
}

}  // namespace
}  // namespace zerlan
