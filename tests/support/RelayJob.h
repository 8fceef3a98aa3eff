// A job driven on the test thread as the view runs it, and loopback helpers for relay tests.
#pragma once

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <functional>
#include <mutex>
#include <string>

#include "config/ParameterFile.h"
#include "jobs/JobControl.h"
#include "platform/Clock.h"
#include "platform/Socket.h"
#include "support/Descriptors.h"
#include "support/TempDir.h"
#include "support/ZerlanRun.h"
#include "transport/BlockingSocket.h"
#include "ui/ZerlanView.h"

namespace zerlan::testing {

class QuietRenderer : public Renderer {
public:
    // Fake peers ask `Shows` from their own threads; the view writes here.
    void LogAppended(const std::string& text, bool received_data) override {
        std::lock_guard<std::mutex> lock(mutex_);
        shown += text;
        if (received_data) received += text;
    }
    bool Shows(const std::string& part) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return shown.find(part) != std::string::npos;
    }
    std::string shown;     // read directly only on the view (test) thread
    std::string received;  // the part shown as received data (masked on a terminal)

private:
    mutable std::mutex mutex_;
};

inline std::string FreePort(int type = CBlockingSocket::kStream) {
    CBlockingSocket probe;
    probe.Create(type);
    probe.Bind(CSocketAddress("127.0.0.1", 0));
    return std::to_string(probe.BoundPort());  // closed again on return
}

// A loopback socket on a kernel-chosen port; connects are refused until it listens.
inline std::string BindLoopback(CBlockingSocket& socket, bool listen = true, uint16_t port = 0) {
    socket.Create(CBlockingSocket::kStream);
    socket.Bind(CSocketAddress("127.0.0.1", port));
    if (listen) socket.Listen();
    return std::to_string(socket.BoundPort());
}

// A job that never connects fails the test instead of hanging it.
inline bool AcceptWithin(CBlockingSocket& listener, CBlockingSocket& peer, int max_ms = 10000) {
    return sock::Wait(listener.Handle(), false, max_ms) == sock::kWaitReady && listener.Accept(peer, nullptr);
}

inline void TakeReady(CBlockingSocket& socket, std::string& got) { ReadReady(socket.Handle(), got, 0, 4096); }

inline std::string Pattern(size_t n) { return Noise(n, 12345); }

inline std::string Protocol() { return ReadFile("Protokol.dat"); }

inline std::string FileOut(const std::string& name) {
    return " /file_out,\"" + name + ",4096;FALSE;0;60;.\\;0896;k;none\" ";
}

class RelayJob : public ::testing::Test {
protected:
    void SetUp() override {
        view_.queue().Attach([this](const Message& m) { view_.Handle(m); });
        LoadDefaults(view_.settings());
    }
    void TearDown() override {
        if (state_.registry.GetState() == 0) view_.jobs().Stop();
        PumpUntil([&] { return Idle(); }, 15000);
    }
    bool Idle() { return state_.registry.Query(1) == 0 && state_.registry.GetState() == 2; }
    // Keeps the view answering while waiting for `done`.
    bool PumpUntil(const std::function<bool()>& done, int max_ms) {
        const int64_t start = Clock::Get().MonotonicMs();
        while (!done()) {
            if (Clock::Get().MonotonicMs() - start > max_ms) return false;
            view_.queue().PumpOne(5);
        }
        return true;
    }
    // A quiet spell the test is about, not a wait for something to happen.
    void PumpFor(int ms) { PumpUntil([] { return false; }, ms); }
    bool Shown(const std::string& part, int max_ms = 5000) {
        return PumpUntil([&] { return renderer_.Shows(part); }, max_ms);
    }
    // Settings plus rate watches that never fire.
    void Configure(const std::string& items) {
        ASSERT_EQ(ParseText(view_.settings(), "/miz,\"50;InputDataNull;0;50;OutputDataNull;0\" " + items), 0);
    }
    // Retries while the server is not there yet; a small `receive_buffer` makes a stalled reader.
    bool ConnectClient(CBlockingSocket& client, const std::string& port, int receive_buffer = 0) {
        return PumpUntil(
            [&] {
                try {
                    client.Create(CBlockingSocket::kStream);
                    if (receive_buffer > 0) {
                        setsockopt(client.Handle(), SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
                    }
                    client.Connect(CSocketAddress("127.0.0.1", static_cast<uint16_t>(std::stoi(port))), 1);
                    return true;
                } catch (const CBlockingSocketException&) {
                    client.Cleanup();
                    return false;
                }
            },
            5000);
    }
    bool ReadUntil(CBlockingSocket& socket, std::string& got, const std::string& part, int max_ms = 8000) {
        return PumpUntil(
            [&] {
                TakeReady(socket, got);
                return got.find(part) != std::string::npos;
            },
            max_ms);
    }
    bool StopAndWaitIdle(int max_ms) {
        view_.jobs().Stop();
        return PumpUntil([&] { return Idle(); }, max_ms);
    }

    TempDir dir_;
    SharedState state_;
    QuietRenderer renderer_;
    CZerlanView view_{state_, renderer_};
};

}  // namespace zerlan::testing
