#include "platform/Console.h"

#include <cstdio>
#include <mutex>

namespace zerlan {

namespace {
std::mutex g_mutex;
MessageBoxSink g_sink;
}  // namespace

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
    std::lock_guard<std::mutex> lock(g_mutex);
    std::fprintf(stderr, "[%s] %s\n", title.c_str(), text.c_str());
    std::fflush(stderr);
}

void SetMessageBoxSink(MessageBoxSink sink) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_sink = std::move(sink);
}

}  // namespace zerlan
