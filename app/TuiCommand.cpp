#include "app/TuiCommand.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "app/JobSignals.h"
#include "config/ParameterFile.h"
#include "core/SharedState.h"
#include "platform/Console.h"
#include "ui/CursesScreen.h"
#include "ui/TerminalSession.h"
#include "ui/TerminalView.h"
#include "ui/ZerlanView.h"

namespace zerlan {


int RunTuiProgram(const Settings& settings, const std::string& command_line, const std::string& loaded_file,
                  bool monitor) {
    if (!isatty(STDOUT_FILENO) || !isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "zerlan: --tui needs a terminal (standard input and output are not one)\n");
        return 2;
    }
    if (!CursesAvailable()) {
        std::fprintf(stderr, "zerlan: --tui is not available in this build (no curses library)\n");
        return 2;
    }
    // SIGWINCH stays with curses.
    BlockJobSignals();

    // Never freed: detached workers may still read it while the process ends.
    static SharedState* const job_state = new SharedState;
    SharedState& state = *job_state;
    CopySettings(state.settings, settings);
    state.command_line = command_line;
    state.parameter_file = loaded_file;
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
        view.model().document_title = loaded_file;
        view.Open();
        {
            TerminalSession session(view, renderer, screen);
            JobSignalWatcher signals([&session](int sig) {
                // A hang-up of our own terminal (window closed, tmux killed) ends the
                // view; a SIGHUP sent while the terminal is there asks for a reload.
                if (sig == SIGHUP && !TerminalHungUp(STDIN_FILENO)) {
                    session.RequestReload();
                } else {
                    session.RequestQuit();
                }
            });
            state.program_ready = 1;
            status = session.Run();
        }
        view.Close();
    }
    SetMessageBoxSink(nullptr);
    return status;
}

}  // namespace zerlan
