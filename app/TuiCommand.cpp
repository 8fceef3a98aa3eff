#include "app/TuiCommand.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "config/ParameterFile.h"
#include "core/SharedState.h"
#include "platform/Console.h"
#include "ui/CursesScreen.h"
#include "ui/TerminalSession.h"
#include "ui/TerminalView.h"
#include "ui/ZerlanView.h"

namespace zerlan {

namespace {

// SIGINT/SIGTERM end the view, SIGHUP reloads; the signals are blocked in
// every thread and taken here with a bounded wait. SIGWINCH stays with curses.
class TuiSignals {
public:
    explicit TuiSignals(TerminalSession& session) : session_(session) {
        thread_ = std::thread([this] {
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, SIGINT);
            sigaddset(&set, SIGTERM);
            sigaddset(&set, SIGHUP);
            timespec timeout{0, 100 * 1000 * 1000};
            while (!done_.load()) {
                const int sig = sigtimedwait(&set, nullptr, &timeout);
                if (sig == SIGINT || sig == SIGTERM) session_.RequestQuit();
                if (sig == SIGHUP) session_.RequestReload();
            }
        });
    }
    ~TuiSignals() {
        done_.store(true);
        thread_.join();
    }

private:
    TerminalSession& session_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

}  // namespace

int RunTuiProgram(const Settings& settings, const std::string& command_line, bool monitor) {
    if (!isatty(STDOUT_FILENO) || !isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "zerlan: --tui needs a terminal (standard input and output are not one)\n");
        return 2;
    }
    if (!CursesAvailable()) {
        std::fprintf(stderr, "zerlan: --tui is not available in this build (no curses library)\n");
        return 2;
    }
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // Never freed: detached workers may still read it while the process ends.
    static SharedState* const job_state = new SharedState;
    SharedState& state = *job_state;
    CopySettings(state.settings, settings);
    state.command_line = command_line;
    state.parameter_file = settings.parameter_file;
    state.protocol_file = settings.protocol_file;

    TerminalRenderer renderer(monitor);
    SetMessageBoxSink([&renderer](const std::string& text, const std::string& title) {
        renderer.PushDialog(title, text);
    });
    int status = 0;
    {
        CursesScreen screen;
        CZerlanView view(state, renderer);
        view.SetStartOnlyWithAutoStart();
        view.model().document_title = settings.parameter_file;
        view.Open();
        {
            TerminalSession session(view, renderer, screen);
            TuiSignals signals(session);
            state.program_ready = 1;
            status = session.Run();
        }
        view.Close();
    }
    SetMessageBoxSink(nullptr);
    return status;
}

}  // namespace zerlan
