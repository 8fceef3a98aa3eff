#include "platform/Console.h"

#include <poll.h>

#include <mutex>

#include "platform/Clock.h"

namespace zerlan {

namespace {
std::mutex g_mutex;
std::mutex g_write_mutex;
MessageBoxSink g_sink;
}  // namespace

std::string LogTimePrefix() {
    const LocalTime t = Clock::Get().Now();
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d ", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

void WriteLogLines(std::FILE* out, const std::string& text) {
    const std::string prefix = LogTimePrefix();
    std::string lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        size_t stop = end;
        if (stop > start && text[stop - 1] == '\r') --stop;
        if (stop > start) {
            lines += prefix;
            lines.append(text, start, stop - start);
            lines += '\n';
        }
        start = end + 1;
    }
    if (lines.empty()) return;
    std::lock_guard<std::mutex> lock(g_write_mutex);
    std::fwrite(lines.data(), 1, lines.size(), out);
    std::fflush(out);
}

void LogLine(const std::string& text) { WriteLogLines(stderr, text); }

void MessageBox(const std::string& text, const std::string& title) {
    MessageBoxSink sink;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        sink = g_sink;
    }
    if (sink) {
        sink(text, title);
        return;
    }
    // One line per box: its inner line ends become blanks.
    std::string line = "[" + title + "] ";
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!line.empty() && line.back() != ' ') line += ' ';
        } else {
            line += c;
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    WriteLogLines(stderr, line);
}

void SetMessageBoxSink(MessageBoxSink sink) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_sink = std::move(sink);
}

bool TerminalHungUp(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace zerlan
