#include "platform/BatchInput.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace zerlan {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnSignal(int) { g_interrupted = 1; }

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a blocked read returns at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

BatchInput::~BatchInput() {
    if (owned_ && fd_ >= 0) close(fd_);
}

bool BatchInput::Open(const std::string& name) {
    CatchStopSignals();
    if (name == "-") {
        fd_ = STDIN_FILENO;
        return true;
    }
    fd_ = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = std::strerror(errno);
        return false;
    }
    owned_ = true;
    return true;
}

long BatchInput::Read(unsigned char* buffer, size_t size) {
    for (;;) {
        if (g_interrupted) return kInterrupted;
        // The wait is bounded, so a signal that lands just before it is seen soon.
        pollfd p{fd_, POLLIN, 0};
        const int ready = poll(&p, 1, 200);
        if (ready < 0) {
            if (errno == EINTR) continue;
            error_ = std::strerror(errno);
            return kError;
        }
        if (ready == 0) continue;
        const ssize_t n = read(fd_, buffer, size);
        if (n > 0) return static_cast<long>(n);
        if (n == 0) return kEnd;
        if (errno == EINTR || errno == EAGAIN) continue;
        error_ = std::strerror(errno);
        return kError;
    }
}

}  // namespace zerlan
