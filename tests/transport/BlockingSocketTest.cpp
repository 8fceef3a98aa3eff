#include "transport/BlockingSocket.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>


namespace zerlan {
namespace {

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

}  // namespace
}  // namespace zerlan
