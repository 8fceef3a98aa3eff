// A DecoderOutput that keeps what the decoders hand over, for the checks.
#pragma once

#include <string>
#include <vector>

#include "decoder/DecoderOutput.h"

namespace zerlan {

struct RecordingOutput : DecoderOutput {
    std::string text;
    std::string slots[10];
    std::vector<std::string> logs;
    int frames = 0;

    void Text(const char* t, int n) override { text.append(t, static_cast<size_t>(n)); }
    void Status(int slot, const char* t) override {
        if (slot >= 0 && slot < 10) slots[slot] = t;
    }
    void FrameDone() override { ++frames; }
    void Log(const std::string& t) override { logs.push_back(t); }
};

}  // namespace zerlan
