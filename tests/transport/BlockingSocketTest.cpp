#include "transport/BlockingSocket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/Clock.h"

namespace zerlan {
namespace {

using Steady = std::chrono::steady_clock;

int64_t MsSince(Steady::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - start).count();
}

// A connected loopback pair: listener, client side and accepted side.
struct TcpPair {
    CBlockingSocket listener;
    CBlockingSocket client;
    CBlockingSocket server;
    uint16_t port = 0;

    void Open() {
        listener.Create(CBlockingSocket::kStream);
        listener.Bind(CSocketAddress("127.0.0.1", 0));
        listener.Listen();
        port = listener.BoundPort();
        ASSERT_NE(port, 0);
        client.Create(CBlockingSocket::kStream);
        client.Connect(CSocketAddress("127.0.0.1", port));
        CSocketAddress peer;
        ASSERT_TRUE(listener.Accept(server, &peer));
        EXPECT_EQ(peer.DottedText(), "127.0.0.1");
    }
};

std::string ExpectThrows(const std::function<void()>& call) {
    try {
        call();
    } catch (const CBlockingSocketException& e) {
        return e.Message();
    }
    ADD_FAILURE() << "no exception";
    return "";
}

TEST(SocketAddressTest, LayoutAndAccessors) {
    CSocketAddress a("192.168.1.20", 2101);
    unsigned char raw[16];
    std::memcpy(raw, &a, sizeof raw);
    EXPECT_EQ(raw[0] | raw[1] << 8, 2);  // AF_INET, host order on little-endian
    EXPECT_EQ(raw[2], 0x08);             // 2101 = 0x0835, network order
    EXPECT_EQ(raw[3], 0x35);
    EXPECT_EQ(raw[4], 192);
    EXPECT_EQ(raw[7], 20);
    for (int i = 8; i < 16; ++i) EXPECT_EQ(raw[i], 0);
    EXPECT_EQ(a.DottedText(), "192.168.1.20");
    EXPECT_EQ(a.Port(), 2101);
    EXPECT_EQ(CSocketAddress(0u, 80).DottedText(), "0.0.0.0");
    EXPECT_EQ(CSocketAddress("caster.example", 80).DottedText(), "255.255.255.255");
    EXPECT_TRUE(CSocketAddress("10.0.0.1", 5) == CSocketAddress(0x0A000001u, 5));
    EXPECT_FALSE(CSocketAddress("10.0.0.1", 5) == CSocketAddress("10.0.0.1", 6));
}

TEST(BlockingSocketExceptionTest, ErrorTextWithAndWithoutCode) {
    char text[100];
    CBlockingSocketException("Connect", 10060).GetErrorMessage(text, sizeof text);
    EXPECT_STREQ(text, "Connect Fehler #10060");
    CBlockingSocketException("Receive timeout", 0).GetErrorMessage(text, sizeof text);
    EXPECT_STREQ(text, "Receive timeout Fehler");
    CBlockingSocketException("Connect", 10060).GetErrorMessage(text, 8);
    EXPECT_STREQ(text, "Connect");
}

TEST(BlockingSocketExceptionTest, LogLineCarriesUtcStamp) {
    FakeClock clock;
    clock.Set(LocalTime{2025, 2, 3, 9, 5, 7, 0, 1});
    Clock::Install(&clock);
    std::string log = "x\r\n";
    LogBlockingSocketException(log, "Caster", CBlockingSocketException("Connect", 111));
    Clock::Install(nullptr);
    EXPECT_EQ(log, "x\r\nWINSOCK-FEHLER--Caster Connect Fehler #111 -- 02/03/25 09:05:07 GMT\r\n");
}

TEST(BlockingSocketTest, TcpRoundTripBothWays) {
    TcpPair p;
    ASSERT_NO_FATAL_FAILURE(p.Open());
    EXPECT_EQ(p.client.Send("hello", 5, 1), 5);
    char buf[16] = {};
    EXPECT_EQ(p.server.Receive(buf, sizeof buf, 1), 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_EQ(p.server.Send("ok", 2, 1), 2);
    EXPECT_EQ(p.client.Receive(buf, sizeof buf, 1), 2);
    CSocketAddress peer, local;
    p.server.GetPeerName(&peer);
    p.client.GetSockName(&local);
    EXPECT_TRUE(peer == local);
}

TEST(BlockingSocketTest, ReceiveTimesOutWithinBound) {
    TcpPair p;
    ASSERT_NO_FATAL_FAILURE(p.Open());
    char buf[16];
    auto start = Steady::now();
    EXPECT_EQ(ExpectThrows([&] { p.server.Receive(buf, sizeof buf, 0); }), "Receive timeout");
    EXPECT_LT(MsSince(start), 200);
    start = Steady::now();
    EXPECT_EQ(ExpectThrows([&] { p.server.Receive(buf, sizeof buf, 1); }), "Receive timeout");
    EXPECT_GE(MsSince(start), 900);
    EXPECT_LT(MsSince(start), 1800);
}

TEST(BlockingSocketTest, PeerCloseReadsZeroAndClosedHandleThrows) {
    TcpPair p;
    ASSERT_NO_FATAL_FAILURE(p.Open());
    p.client.Close();
    EXPECT_FALSE(p.client.IsOpen());
    char buf[16];
    EXPECT_EQ(p.server.Receive(buf, sizeof buf, 1), 0);
    EXPECT_EQ(ExpectThrows([&] { p.client.Send("x", 1, 1); }), "Send");
    p.client.Close();  // closing twice is harmless
}

TEST(BlockingSocketTest, SendToStalledPeerGivesUpAfterBound) {
    TcpPair p;
    ASSERT_NO_FATAL_FAILURE(p.Open());
    std::vector<char> block(7000, 'a');
    std::string error;
    int64_t last_ms = 0;
    for (int i = 0; i < 200000 && error.empty(); ++i) {
        const auto start = Steady::now();
        try {
            EXPECT_EQ(p.client.Send(block.data(), static_cast<int>(block.size()), 1), 7000);
        } catch (const CBlockingSocketException& e) {
            error = e.Message();
        }
        last_ms = MsSince(start);
    }
    EXPECT_EQ(error, "Send timeout");
    EXPECT_GE(last_ms, 900);
    EXPECT_LT(last_ms, 2500);
}

TEST(BlockingSocketTest, ConnectRefusedAndCleanupMakesReusable) {
    CBlockingSocket probe;
    probe.Create(CBlockingSocket::kStream);
    probe.Bind(CSocketAddress("127.0.0.1", 0));
    const uint16_t closed_port = probe.BoundPort();
    probe.Close();
    CBlockingSocket s;
    s.Create(CBlockingSocket::kStream);
    EXPECT_EQ(ExpectThrows([&] { s.Connect(CSocketAddress("127.0.0.1", closed_port)); }), "Connect");
    s.Cleanup();
    EXPECT_FALSE(s.IsOpen());
    s.Create(CBlockingSocket::kStream);
    EXPECT_TRUE(s.IsOpen());
    s.Cleanup();
}

TEST(BlockingSocketTest, ListenerRebindsAtOnceAfterServedConnection) {
    uint16_t port = 0;
    {
        TcpPair p;
        ASSERT_NO_FATAL_FAILURE(p.Open());
        port = p.port;
        p.server.Close();  // server closes first and holds TIME_WAIT
        p.listener.Close();
        p.client.Close();
    }
    CBlockingSocket again;
    again.Create(CBlockingSocket::kStream);
    EXPECT_NO_THROW(again.Bind(CSocketAddress(0u, port)));
    EXPECT_NO_THROW(again.Listen());
}

TEST(BlockingSocketTest, AcceptOnShutDownListenerIsInterrupted) {
    CBlockingSocket listener;
    listener.Create(CBlockingSocket::kStream);
    listener.Bind(CSocketAddress("127.0.0.1", 0));
    listener.Listen();
    listener.Shutdown();
    CBlockingSocket target;
    CSocketAddress address;
    EXPECT_FALSE(listener.Accept(target, &address));
    EXPECT_FALSE(target.IsOpen());
    listener.Close();
    EXPECT_EQ(ExpectThrows([&] { listener.Accept(target, &address); }), "Accept");
}

TEST(BlockingSocketTest, DatagramRoundTripNamesSender) {
    CBlockingSocket a, b;
    a.Create(CBlockingSocket::kDatagram);
    a.Bind(CSocketAddress("127.0.0.1", 0));
    b.Create(CBlockingSocket::kDatagram);
    b.Bind(CSocketAddress("127.0.0.1", 0));
    char buf[32];
    CSocketAddress from;
    EXPECT_EQ(ExpectThrows([&] { a.ReceiveDatagram(buf, sizeof buf, &from, 0); }), "Receive timeout");
    EXPECT_EQ(b.SendDatagram("!+!+", 4, CSocketAddress("127.0.0.1", a.BoundPort()), 1), 4);
    EXPECT_EQ(a.ReceiveDatagram(buf, sizeof buf, &from, 1), 4);
    EXPECT_EQ(from.Port(), b.BoundPort());
    EXPECT_EQ(from.DottedText(), "127.0.0.1");
    a.Close();
    b.Close();
}

TEST(BlockingSocketTest, NameResolution) {
    EXPECT_EQ(CBlockingSocket::GetHostByName("localhost", 2101).DottedText(), "127.0.0.1");
    EXPECT_EQ(CBlockingSocket::GetHostByName("localhost", 2101).Port(), 2101);
    EXPECT_EQ(ExpectThrows([] { CBlockingSocket::GetHostByName("no-such-host.invalid", 1); }), "GetHostByName");
    EXPECT_EQ(ExpectThrows([] { CBlockingSocket::GetHostByName("", 1); }), "GetHostByName");
}

// HTTP header reading over a loopback pair whose client side is an HTTP socket.
struct HttpPair {
    CBlockingSocket listener;
    CHttpBlockingSocket http;
    CBlockingSocket server;

    void Open() {
        listener.Create(CBlockingSocket::kStream);
        listener.Bind(CSocketAddress("127.0.0.1", 0));
        listener.Listen();
        http.Create(CBlockingSocket::kStream);
        http.Connect(CSocketAddress("127.0.0.1", listener.BoundPort()));
        CSocketAddress peer;
        ASSERT_TRUE(listener.Accept(server, &peer));
    }
    void Say(const std::string& text) { ASSERT_EQ(server.Send(text.data(), static_cast<int>(text.size()), 1), static_cast<int>(text.size())); }
};

TEST(HttpBlockingSocketTest, HeaderLinesKeepCrLfAndCutToSize) {
    HttpPair p;
    ASSERT_NO_FATAL_FAILURE(p.Open());
    p.Say("HTTP/1.0 200 OK\r\nServer: te");
    char line[100];
    EXPECT_EQ(p.http.ReadHeaderLine(line, 10, 1), 9);
    EXPECT_STREQ(line, "HTTP/1.0 ");
    p.Say("st\r\n\r\nbody-");
    EXPECT_EQ(p.http.ReadHeaderLine(line, sizeof line, 1), 14);
    EXPECT_STREQ(line, "Server: test\r\n");
    EXPECT_EQ(p.http.ReadHeaderLine(line, sizeof line, 1), 2);
    EXPECT_STREQ(line, "\r\n");
    p.Say("bytes");
    p.server.Close();
    char body[100] = {};
    EXPECT_EQ(p.http.ReadHttpResponse(body, sizeof body, 1), 10);
    EXPECT_EQ(std::string(body, 10), "body-bytes");
}

TEST(HttpBlockingSocketTest, OverlongLineAndEarlyCloseFail) {
    HttpPair p;
    ASSERT_NO_FATAL_FAILURE(p.Open());
    p.Say(std::string(1000, 'x'));
    char line[2000];
    EXPECT_EQ(ExpectThrows([&] { p.http.ReadHeaderLine(line, sizeof line, 1); }), "ReadHeaderLine");

    HttpPair q;
    ASSERT_NO_FATAL_FAILURE(q.Open());
    q.Say("HTTP/1.0 2");
    q.server.Close();
    EXPECT_EQ(ExpectThrows([&] { q.http.ReadHeaderLine(line, sizeof line, 1); }), "ReadHeaderLine");
}

TEST(HttpBlockingSocketTest, ResponseIntoSmallBufferKeepsTheRest) {
    HttpPair p;
    ASSERT_NO_FATAL_FAILURE(p.Open());
    p.Say("A\nBCDEFGH");
    char line[10];
    EXPECT_EQ(p.http.ReadHeaderLine(line, sizeof line, 1), 2);
    // The rest of the block is held ahead; a 4-byte buffer must not overflow.
    char small[4];
    EXPECT_EQ(p.http.ReadHttpResponse(small, sizeof small, 1), 4);
    EXPECT_EQ(std::string(small, 4), "BCDE");
    EXPECT_EQ(p.http.BytesHeld(), 3);
    p.server.Close();
    char rest[16];
    EXPECT_EQ(p.http.ReadHttpResponse(rest, sizeof rest, 1), 3);
    EXPECT_EQ(std::string(rest, 3), "FGH");
}

}  // namespace
}  // namespace zerlan
