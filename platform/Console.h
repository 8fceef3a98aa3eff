// The operator's log on stderr: every line starts with the local time
// "YYYY-MM-DD HH:MM:SS " (from the clock seam). Message boxes of the program
// become one such line, "[title] text", and never wait for anyone. Tests
// redirect the boxes with `SetMessageBoxSink`.
//
// Thread-safety: all functions may be called from any thread; lines of one
// call are never interleaved with lines of another.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace zerlan {

using MessageBoxSink = std::function<void(const std::string& text, const std::string& title)>;

void MessageBox(const std::string& text, const std::string& title);
// Installs a sink (nullptr restores stderr). Meant for test set-up.
void SetMessageBoxSink(MessageBoxSink sink);

// "YYYY-MM-DD HH:MM:SS " of the clock's local time.
std::string LogTimePrefix();
// Writes `text` to `out` line by line (LF or CR LF ends a line), each line
// with the time prefix; empty lines are left out.
void WriteLogLines(std::FILE* out, const std::string& text);
// One line of the program's own on stderr.
void LogLine(const std::string& text);

// True when the terminal on `fd` has hung up (its window or session is gone).
bool TerminalHungUp(int fd);

}  // namespace zerlan
