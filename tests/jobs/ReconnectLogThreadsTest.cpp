// What an operator reads in the log of a running zerlan when peers come and
// go on loopback: a client joining and leaving, a source that closes and then
// refuses, and every output that loses its peer, each told once with its reason.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/FakeCaster.h"
#include "support/ZerlanRun.h"
#include "platform/Socket.h"
#include "transport/BlockingSocket.h"

namespace zerlan {
namespace {

using testing::Count;
using testing::WaitFor;
const char* kQuietWatches = "/miz,\"50;InputDataNull;0;50;OutputDataNull;0\"";

// zerlan in the background, its log in err.txt; ended with SIGTERM.
struct Zerlan {
    explicit Zerlan(std::vector<std::string> args) : pid(testing::StartZerlan(std::move(args))) {}
    ~Zerlan() { testing::WaitForExit(pid, true); }
    static std::string Log() { return testing::ReadFile("err.txt"); }
    pid_t pid;
};

void Listen(CBlockingSocket& listener, uint16_t port) {
    listener.Create(CBlockingSocket::kStream);
    listener.Bind(CSocketAddress("127.0.0.1", port));
    listener.Listen();
}

bool AcceptWithin(CBlockingSocket& listener, CBlockingSocket& socket) {
    return sock::Wait(listener.Handle(), false, 10000) == sock::kWaitReady && listener.Accept(socket, nullptr);
}

TEST(ReconnectLogThreads, ATcpSourceThatClosesAndRefusesAndAClientThatComesAndGoes) {
    testing::TempDir dir;
    CBlockingSocket listener;
    Listen(listener, 0);
    const uint16_t in_port = listener.BoundPort();
    const std::string in = "127.0.0.1:" + std::to_string(in_port);
    const std::string out_port = testing::UnusedPort();
    Zerlan zerlan({"/inout_sw,\"TCP;Null;Null;TCP;Null;Null;Null;Null;1000;0;1;100\"",
                   "/tcp_in,\"127.0.0.1;" + std::to_string(in_port) + ";FALSE\"",
                   "/tcp_out,\"0.0.0.0;" + out_port + ";TRUE;5;FALSE;0\"", kQuietWatches});
    CBlockingSocket source;
    ASSERT_TRUE(AcceptWithin(listener, source));

    // A client that joins and leaves while no data flows: only its leaving shows it gone.
    const int client = testing::ConnectTo(out_port);
    ASSERT_GE(client, 0);
    sockaddr_in local{};
    socklen_t length = sizeof local;
    getsockname(client, reinterpret_cast<sockaddr*>(&local), &length);
    const std::string who = "output: TCP server port " + out_port + ": client 127.0.0.1:" +
                            std::to_string(ntohs(local.sin_port));
    ASSERT_TRUE(testing::WaitForLog(who + " connected\n")) << Zerlan::Log();
    close(client);
    ASSERT_TRUE(testing::WaitForLog(who + " left: the client closed the connection\n")) << Zerlan::Log();

    // The source closes and stops listening: one line for the close, one for
    // the whole run of refused attempts, one when it is back.
    listener.Cleanup();
    source.Cleanup();
    ASSERT_TRUE(testing::WaitForLog("input: TCP client " + in + ": the peer closed the connection; reconnecting\n"))
        << Zerlan::Log();
    ASSERT_TRUE(testing::WaitForLog("TCP client " + in + ": Connection refused; retrying\n")) << Zerlan::Log();
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // several refused attempts
    Listen(listener, in_port);
    ASSERT_TRUE(AcceptWithin(listener, source));
    ASSERT_TRUE(testing::WaitForLog("TCP client " + in + ": connected\n")) << Zerlan::Log();

    const std::string log = Zerlan::Log();
    EXPECT_EQ(Count(log, " connected\n"), 2) << log;
    EXPECT_EQ(Count(log, " left: "), 1) << log;
    EXPECT_EQ(Count(log, "; reconnecting\n"), 1) << log;
    EXPECT_EQ(Count(log, "; retrying\n"), 1) << log;
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
    const std::string tcp_port = testing::UnusedPort();
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
    EXPECT_TRUE(testing::WaitForLog(upload + "mountpoint MOUNT1 refused; retrying\n")) << Zerlan::Log();
    EXPECT_TRUE(testing::WaitForLog(upload + "connected again\n")) << Zerlan::Log();
    EXPECT_TRUE(WaitFor([&] { return caster.attempts() >= 3; })) << Zerlan::Log();

    const std::string tcp = "127.0.0.1:" + tcp_port;
    EXPECT_TRUE(testing::WaitForLog("TCP client " + tcp + ": Connection refused; retrying\n")) << Zerlan::Log();
    CBlockingSocket listener;
    Listen(listener, static_cast<uint16_t>(std::stoi(tcp_port)));
    ASSERT_TRUE(AcceptWithin(listener, tcp_peer));
    EXPECT_TRUE(testing::WaitForLog("TCP client " + tcp + ": connected\n")) << Zerlan::Log();
    tcp_peer.Cleanup();
    EXPECT_TRUE(testing::WaitForLog("output: TCP client " + tcp + ": ")) << Zerlan::Log();

    const std::string udp = "output: UDP server 127.0.0.1:" + udp_port + ": ";
    EXPECT_TRUE(testing::WaitForLog(udp + "Address already in use; retrying\n")) << Zerlan::Log();
    udp_holder.Cleanup();
    EXPECT_TRUE(testing::WaitForLog(udp + "open\n")) << Zerlan::Log();

    const std::string log = Zerlan::Log();
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
