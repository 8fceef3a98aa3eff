// The view's log text: at most 3500 characters. A text arriving while the log
// is shorter than that (or a text of 3500 or more) is appended until the log is
// full and the rest is dropped; a shorter text arriving at a full log replaces it.
#pragma once

#include <string>

namespace zerlan {

constexpr size_t kDisplayLogLimit = 3500;

// Applies one display text to `log`; returns the part of `text` that was
// appended (the whole text when it replaced the log).
std::string AppendDisplayText(std::string& log, const std::string& text);

}  // namespace zerlan
