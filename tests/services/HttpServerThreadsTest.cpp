// Http-Server-TH on a loopback listener: the answer to each GET path, requests
// that get nothing (no GET, a header that never ends, a client too slow),
// the limit of three connections, and the stop.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/SharedState.h"
#include "platform/Clock.h"
#include "platform/Sleep.h"
#include "services/StatusThreads.h"
#include "transport/BlockingSocket.h"

namespace zerlan {
namespace {

bool WaitFor(const std::function<bool()>& done, int max_ms) {
    const int64_t start = Clock::Get().MonotonicMs();
    while (!done()) {
        if (Clock::Get().MonotonicMs() - start > max_ms) return false;
        Sleep(2);
    }
    return true;
}

struct Reply {
    std::string data;
    bool closed = false;
};

// Reads until the server closes, at most `max_ms`.
Reply ReadAll(CBlockingSocket& client, int max_ms) {
    Reply r;
    const int64_t start = Clock::Get().MonotonicMs();
    char buffer[4096];
    while (Clock::Get().MonotonicMs() - start < max_ms) {
        try {
            const int n = client.Receive(buffer, sizeof buffer, 1);
            if (n == 0) {
                r.closed = true;
                break;
            }
            r.data.append(buffer, static_cast<size_t>(n));
        } catch (const CBlockingSocketException& e) {
            if (e.Message() == "Receive timeout") continue;
            r.closed = true;  // reset by the server
            break;
        }
    }
    return r;
}

class HttpServerThreads : public ::testing::Test {
protected:
    void Start(const HttpTiming& timing) {
        state_.settings.html.address = "127.0.0.1";
        state_.settings.html.port = "0";
        state_.registry.SetState(1, 0);
        ASSERT_TRUE(OpenHttpListener(state_));
        port_ = state_.sockets.http_server.LocalPort();
        ASSERT_TRUE(StartHttpServer(state_, timing));
    }
    void TearDown() override {
        state_.registry.SetState(0, 1);
        CloseHttpListener(state_);
        EXPECT_TRUE(WaitFor([&] { return state_.registry.Query(1) == 0; }, 5000));
    }
    void Connect(CBlockingSocket& client) {
        client.Create(CBlockingSocket::kStream);
        client.Connect(CSocketAddress("127.0.0.1", port_), 2);
    }
    Reply Ask(const std::string& request, int max_ms = 5000) {
        CBlockingSocket client;
        Connect(client);
        client.Send(request.data(), static_cast<int>(request.size()), 2);
        return ReadAll(client, max_ms);
    }

    HttpTiming fast_{400, 200, 10};
    SharedState state_;
    uint16_t port_ = 0;
};

TEST_F(HttpServerThreads, EachGetPathGetsItsAnswerWithTheRealLength) {
    Start(fast_);
    struct Case {
        const char* request;
        const char* type;
        const char* body_start;
    };
    const Case cases[] = {
        {"GET / HTTP/1.0\r\n\r\n", "text/html", "<!DOCTYPE HTML PUBLIC"},
        {"GET /anything/else HTTP/1.1\r\nHost: x\r\n\r\n", "text/html", "<!DOCTYPE HTML PUBLIC"},
        {"GET /status.json HTTP/1.0\r\nAccept: */*\r\n\r\n", "application/json", "{\n  \"station\": \"----\""},
        {"GET /metrics?x=1 HTTP/1.0\n\n", "text/plain; version=0.0.4; charset=utf-8", "# HELP zerlan_"},
    };
    for (const Case& c : cases) {
        const Reply r = Ask(c.request);
        ASSERT_TRUE(r.closed) << c.request;
        const size_t end = r.data.find("\r\n\r\n");
        ASSERT_NE(end, std::string::npos) << c.request;
        const std::string body = r.data.substr(end + 4);
        EXPECT_EQ(r.data.substr(0, end + 4),
                  "HTTP/1.0 200 OK\r\nServer: MorvikV1.08-zezur1-Http\r\nDate: Mar 2011\r\nContent-Type: " +
                      std::string(c.type) + "\r\nAccept-Ranges: bytes\r\nContent-Length: " +
                      std::to_string(body.size()) + "\r\n\r\n");
        EXPECT_EQ(body.rfind(c.body_start, 0), 0u) << c.request;
    }
}

TEST_F(HttpServerThreads, RequestsWithoutACompleteGetHeaderGetNothing) {
    Start(fast_);
    // A POST that never says GET, and a header that stops before its end.
    for (const char* request : {"POST / HTTP/1.0\r\nContent-Length: 0\r\n\r\n", "GET / HTTP/1.0\r\nHost: x\r\n"}) {
        const int64_t start = Clock::Get().MonotonicMs();
        const Reply r = Ask(request);
        EXPECT_TRUE(r.closed) << request;
        EXPECT_EQ(r.data, "") << request;
        EXPECT_LT(Clock::Get().MonotonicMs() - start, 3000) << request;
    }
}

TEST_F(HttpServerThreads, ATricklingClientIsDroppedAtTheHeaderLimit) {
    Start(fast_);
    CBlockingSocket client;
    Connect(client);
    // Each byte comes well inside the gap limit; only the total limit ends it.
    const std::string header = "GET / HTTP/1.0\r\nUser-Agent: " + std::string(200, 'a') + "\r\n\r\n";
    const int64_t start = Clock::Get().MonotonicMs();
    bool closed = false;
    std::string got;
    for (size_t i = 0; i < header.size() && !closed; ++i) {
        try {
            client.Send(&header[i], 1, 1);
        } catch (const CBlockingSocketException&) {
            closed = true;
            break;
        }
        if (sock::Wait(client.Handle(), false, 50) == sock::kWaitReady) {
            const Reply r = ReadAll(client, 1000);
            got = r.data;
            closed = r.closed;
        }
    }
    const int64_t elapsed = Clock::Get().MonotonicMs() - start;
    EXPECT_TRUE(closed);
    EXPECT_EQ(got, "");
    EXPECT_GE(elapsed, fast_.header_limit_ms - 50);
    EXPECT_LT(elapsed, 3000);
}

TEST_F(HttpServerThreads, ThreeConnectionsAtMostAndAFourthIsServedOnceOneLeaves) {
    Start(HttpTiming{30000, 30000, 10});
    CBlockingSocket held[3];
    for (auto& c : held) Connect(c);
    ASSERT_TRUE(WaitFor([&] { return state_.http_connections.load() == 3; }, 5000));

    CBlockingSocket fourth;
    Connect(fourth);
    const std::string get = "GET / HTTP/1.0\r\n\r\n";
    fourth.Send(get.data(), static_cast<int>(get.size()), 2);
    // Three threads, each with a client, and none left to accept.
    EXPECT_EQ(sock::Wait(fourth.Handle(), false, 300), sock::kWaitTimedOut);
    EXPECT_EQ(state_.registry.Query(7), 3);

    held[1].Cleanup();
    const Reply r = ReadAll(fourth, 5000);
    EXPECT_TRUE(r.closed);
    EXPECT_EQ(r.data.rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
    EXPECT_LE(state_.registry.Query(7), 3);
}

}  // namespace
}  // namespace zerlan
