// A SharedState, a fresh directory, a fake clock at 03.02.2025 09:05:00, a recording view (sends at once).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/SharedState.h"
#include "platform/Clock.h"
#include "platform/MessageQueue.h"
#include "support/TempDir.h"

namespace zerlan::testing {

class StateFixture : public ::testing::Test {
protected:
    void SetUp() override {
        clock_.Set(LocalTime{2025, 2, 3, 9, 5, 0, 0, 0});
        Clock::Install(&clock_);
        view_.Attach([this](const Message& m) { messages_.push_back(m); });
        shared_.view_window.store(&view_);
    }
    void TearDown() override {
        shared_.view_window.store(nullptr);
        Clock::Install(nullptr);
    }

    static std::string ReadFile(const std::string& path) { return testing::ReadFile(path); }
    static bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Message& m : messages_)
            if (m.has_text) texts.push_back(m.text);
        return texts;
    }
    std::vector<uint32_t> Ids() const {
        std::vector<uint32_t> ids;
        for (const Message& m : messages_) ids.push_back(m.id);
        return ids;
    }

    TempDir dir_;
    FakeClock clock_;
    MessageQueue view_;
    SharedState shared_;
    std::vector<Message> messages_;
};

}  // namespace zerlan::testing
