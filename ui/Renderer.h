// How the view reaches a person. The headless renderer writes the texts
// appended to the log to stderr; the terminal view (later) draws the model.
#pragma once

#include <cstdio>
#include <string>

#include "ui/ViewModel.h"

namespace zerlan {

class Renderer {
public:
    virtual ~Renderer() = default;
    // `appended` is the part of a display text that entered the log;
    // `received_data` marks texts that carry relayed bytes.
    virtual void LogAppended(const std::string& appended, bool received_data) = 0;
    // The model changed in some other field.
    virtual void Refresh(const ViewModel&) {}
};

// Turns program text into terminal text: the single-byte characters 0xB0,
// 0xB4 and 0xF6 become UTF-8; with `received_data` every control or
// non-printable byte becomes '.', line ends kept.
std::string TerminalText(const std::string& text, bool received_data);

// Writes the log to stderr with the time on every line. The received stream
// itself is shown only when `monitor` asks for it: relayed bytes would bury
// everything else.
class HeadlessRenderer : public Renderer {
public:
    explicit HeadlessRenderer(std::FILE* out = stderr, bool monitor = false) : out_(out), monitor_(monitor) {}
    void LogAppended(const std::string& appended, bool received_data) override;

private:
    std::FILE* out_;
    bool monitor_;
};

}  // namespace zerlan
