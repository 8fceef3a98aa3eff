#include "transport/BlockingSocket.h"

#include <gtest/gtest.h>

#include <chrono>
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
template <class Client = CBlockingSocket>
struct TcpPair {
    CBlockingSocket listener;
    Client client;
    CBlockingSocket server;
    uint16_t port = 0;

    void Open() {
        listener.Create(CBlockingSocket::kStream);
        listener.Bind(CSocketAddress("127.0.0.1", 0));
        listener.Listen();
        port = listener.BoundPort();
        client.Create(CBlockingSocket::kStream);
        client.Connect(CSocketAddress("127.0.0.1", port));
        CSocketAddress peer;
        ASSERT_TRUE(listener.Accept(server, &peer));
        EXPECT_EQ(peer.DottedText(), "127.0.0.1");
    }
    void Say(const std::string& text) {
        ASSERT_EQ(server.Send(text.data(), static_cast<int>(text.size()), 1), static_cast<int>(text.size()));
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

TEST(BlockingSocketExceptionTest, TextsFitTheirBufferAndTheLogLineCarriesAUtcStamp) {
    char text[100];
    CBlockingSocketException("Connect", 10060).GetErrorMessage(text, sizeof text);
    EXPECT_STREQ(text, "Connect Fehler #10060");
    CBlockingSocketException("Receive timeout", 0).GetErrorMessage(text, sizeof text);
    EXPECT_STREQ(text, "Receive timeout Fehler");
    CBlockingSocketException("Connect", 10060).GetErrorMessage(text, 8);
    EXPECT_STREQ(text, "Connect");

    FakeClock clock;
    clock.Set(LocalTime{2025, 2, 3, 9, 5, 7, 0, 1});
    Clock::Install(&clock);
    std::string log = "x\r\n";
    LogBlockingSocketException(log, "Caster", CBlockingSocketException("Connect", 111));
    Clock::Install(nullptr);
    EXPECT_EQ(log, "x\r\nWINSOCK-FEHLER--Caster Connect Fehler #111 -- 02/03/25 09:05:07 GMT\r\n");
}

TEST(BlockingSocketTest, FailuresThrowTheirNameAndACleanedSocketIsReusable) {
    TcpPair<> p;
    ASSERT_NO_FATAL_FAILURE(p.Open());
    p.client.Close();
    EXPECT_FALSE(p.client.IsOpen());
    char buf[16];
    EXPECT_EQ(p.server.Receive(buf, sizeof buf, 1), 0);  // the peer's close
    EXPECT_EQ(ExpectThrows([&] { p.client.Send("x", 1, 1); }), "Send");
    p.client.Close();  // closing twice is harmless

    CBlockingSocket s;
    s.Create(CBlockingSocket::kStream);
    p.listener.Close();
    EXPECT_EQ(ExpectThrows([&] { s.Connect(CSocketAddress("127.0.0.1", p.port)); }), "Connect");
    s.Cleanup();
    EXPECT_FALSE(s.IsOpen());
    s.Create(CBlockingSocket::kStream);
    EXPECT_TRUE(s.IsOpen());
    EXPECT_EQ(ExpectThrows([] { CBlockingSocket::GetHostByName("no-such-host.invalid", 1); }), "GetHostByName");
    EXPECT_EQ(ExpectThrows([] { CBlockingSocket::GetHostByName("", 1); }), "GetHostByName");
}

// A send that cannot go on must end after its bound, never block for good.
TEST(BlockingSocketTest, SendToStalledPeerGivesUpAfterBound) {
    TcpPair<> p;
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

TEST(BlockingSocketTest, ListenerRebindsAtOnceAfterServedConnection) {
    uint16_t port = 0;
    {
        TcpPair<> p;
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

TEST(HttpBlockingSocketTest, HeaderLinesKeepTheirLineEndAndNeverOverrunTheBuffer) {
    TcpPair<CHttpBlockingSocket> p;
    ASSERT_NO_FATAL_FAILURE(p.Open());
    p.Say("HTTP/1.0 200 OK\r\nServer: te");
    char line[100];
    EXPECT_EQ(p.client.ReadHeaderLine(line, 10, 1), 9);
    EXPECT_STREQ(line, "HTTP/1.0 ");
    p.Say("st\r\n\r\nA\nBCDEFGH");
    EXPECT_EQ(p.client.ReadHeaderLine(line, sizeof line, 1), 14);
    EXPECT_STREQ(line, "Server: test\r\n");
    EXPECT_EQ(p.client.ReadHeaderLine(line, sizeof line, 1), 2);
    EXPECT_STREQ(line, "\r\n");
    EXPECT_EQ(p.client.ReadHeaderLine(line, sizeof line, 1), 2);
    // The rest of the block is held ahead; a 4-byte buffer must not overflow.
    char small[4];
    EXPECT_EQ(p.client.ReadHttpResponse(small, sizeof small, 1), 4);
    EXPECT_EQ(std::string(small, 4), "BCDE");
    EXPECT_EQ(p.client.BytesHeld(), 3);
    p.Say("-body");
    p.server.Close();
    char rest[16];
    EXPECT_EQ(p.client.ReadHttpResponse(rest, sizeof rest, 1), 8);
    EXPECT_EQ(std::string(rest, 8), "FGH-body");
}

TEST(HttpBlockingSocketTest, AnOverlongLineOrAnEarlyCloseFails) {
    for (const bool close : {false, true}) {
        TcpPair<CHttpBlockingSocket> p;
        ASSERT_NO_FATAL_FAILURE(p.Open());
        p.Say(close ? std::string("HTTP/1.0 2") : std::string(1000, 'x'));
        if (close) p.server.Close();
        char line[2000];
        EXPECT_EQ(ExpectThrows([&] { p.client.ReadHeaderLine(line, sizeof line, 1); }), "ReadHeaderLine") << close;
    }
}

}  // namespace
}  // namespace zerlan
