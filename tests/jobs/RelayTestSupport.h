// A job driven on the test thread, as the view would run it, plus loopback
// helpers for the network relay tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>

#include "config/ParameterFile.h"
#include "jobs/JobControl.h"
#include "platform/Clock.h"
#include "support/TempDir.h"
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

// A port the kernel just handed out and took back, for settings that need one.
inline std::string FreePort(int type = CBlockingSocket::kStream) {
    CBlockingSocket probe;
    probe.Create(type);
    probe.Bind(CSocketAddress("127.0.0.1", 0));
    const std::string port = std::to_string(probe.BoundPort());
    probe.Cleanup();
    return port;
}

class RelayJob : public ::testing::Test {
protected:
    void SetUp() override {
        view_.queue().Attach([this](const Message& m) { view_.Handle(m); });
        LoadDefaults(view_.settings());
    }
    void TearDown() override {
        if (state_.registry.GetState() == 0) view_.jobs().Stop();
        PumpUntil([&] { return state_.registry.Query(1) == 0 && state_.registry.GetState() == 2; }, 15000);
    }
    // Keeps the view answering while waiting for `done`.
    bool PumpUntil(const std::function<bool()>& done, int max_ms) {
        const int64_t start = Clock::Get().MonotonicMs();
        while (!done()) {
            if (Clock::Get().MonotonicMs() - start > max_ms) return false;
            view_.queue().PumpOne(5);
        }
        return true;
    }
    // Settings plus rate watches that never fire.
    void Configure(const std::string& items) {
        ASSERT_EQ(ParseText(view_.settings(), "/miz,\"50;InputDataNull;0;50;OutputDataNull;0\" " + items), 0);
    }
    // Connects a test client, retrying while the server is not yet there.
    bool ConnectClient(CBlockingSocket& client, const std::string& port) {
        return PumpUntil(
            [&] {
                try {
                    client.Create(CBlockingSocket::kStream);
                    client.Connect(CSocketAddress("127.0.0.1", static_cast<uint16_t>(std::stoi(port))), 1);
                    return true;
                } catch (const CBlockingSocketException&) {
                    client.Cleanup();
                    return false;
                }
            },
            5000);
    }
    bool StopAndWaitIdle(int max_ms) {
        view_.jobs().Stop();
        return PumpUntil([&] { return state_.registry.Query(1) == 0 && state_.registry.GetState() == 2; },
                         max_ms);
    }

    TempDir dir_;
    SharedState state_;
    QuietRenderer renderer_;
    CZerlanView view_{state_, renderer_};
};

}  // namespace zerlan::testing
