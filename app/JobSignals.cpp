#include "app/JobSignals.h"

#include <pthread.h>
#include <signal.h>

#include <ctime>

namespace zerlan {

namespace {
sigset_t JobSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}
}  // namespace

void BlockJobSignals() {
    const sigset_t set = JobSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

JobSignalWatcher::JobSignalWatcher(std::function<void(int)> on_signal) : on_signal_(std::move(on_signal)) {
    thread_ = std::thread([this] {
        const sigset_t set = JobSignalSet();
        const timespec timeout{0, 100 * 1000 * 1000};
        while (!done_.load()) {
            const int sig = sigtimedwait(&set, nullptr, &timeout);
            if (sig == SIGINT || sig == SIGTERM || sig == SIGHUP) on_signal_(sig);
        }
    });
}

JobSignalWatcher::~JobSignalWatcher() {
    done_.store(true);
    thread_.join();
}

}  // namespace zerlan
