#include "app/Program.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <thread>

#include "app/CryptCommand.h"
#include "app/RinexCommand.h"
#include "app/TuiCommand.h"
#include "config/ParameterFile.h"
#include "core/SharedState.h"
#include "app/DecodeCommand.h"
#include "platform/Console.h"
#include "services/Sourcetable.h"
#include "ui/Renderer.h"
#include "ui/ZerlanView.h"

namespace zerlan {

namespace {

constexpr const char* kUsage =
    "usage: zerlan [options] [parameter items]\n"
    "\n"
    "Relays one GNSS data stream to the configured outputs, decodes RTCM 2/3 to text\n"
    "and watches the data flow. Settings come from a parameter file:\n"
    "  zerlan                      load morvik.par from the working directory\n"
    "  zerlan /pd,FILE             load FILE\n"
    "  zerlan /key,value ...       give settings directly as parameter items\n"
    "\n"
    "options:\n"
    "  --help                      this text\n"
    "  --version                   program version\n"
    "  --save FILE                 load the settings as usual, write them to FILE ('-' = stdout), exit\n"
    "  --decode FILE               decode an RTCM 2/3 file ('-' = stdin) to text on stdout, exit\n"
    "  --rinex FILE                write the RINEX observation files of an RTCM 2 file ('-' = stdin)\n"
    "                              into the current directory, exit\n"
    "  --rinex-date YYYY-MM-DDTHH  with --rinex: date and hour the recording began (default: now)\n"
    "  --sourcetable HOST[:PORT]   print a caster's sourcetable, exit\n"
    "  --encrypt FILE              FILE ('-' = stdin) as encrypted messages 4088 on stdout (enc_da key), exit\n"
    "  --decrypt FILE              the bytes carried by the messages 4088 in FILE on stdout, exit\n"
    "  --quiet                     batch commands: no summary line on stderr\n"
    "  --tui                       full-screen terminal view\n"
    "\n"
    "SIGINT/SIGTERM stop the job and end the program; SIGHUP reloads the parameter file.\n";

// Turns SIGINT/SIGTERM/SIGHUP into requests to the view; the signals are
// blocked in every thread and taken here with a bounded wait.
class SignalWatcher {
public:
    explicit SignalWatcher(CZerlanView& view) : view_(view) {
        thread_ = std::thread([this] { Loop(); });
    }
    ~SignalWatcher() {
        done_.store(true);
        thread_.join();
    }

private:
    void Loop() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGHUP);
        timespec timeout{0, 100 * 1000 * 1000};
        while (!done_.load()) {
            int sig = sigtimedwait(&set, nullptr, &timeout);
            if (sig == SIGINT || sig == SIGTERM) view_.RequestQuit();
            if (sig == SIGHUP) view_.RequestReload();
        }
    }
    CZerlanView& view_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

void BlockJobSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

int SaveSettings(const Settings& settings, const std::string& target) {
    if (target == "-") {
        std::string text = SaveText(settings);
        return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
    }
    if (SaveFile(settings, target) != 0) {
        std::fprintf(stderr, "zerlan: cannot write %s\n", target.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int RunProgram(const ProgramOptions& options) {
    if (!options.error.empty()) {
        std::fprintf(stderr, "zerlan: %s\n%s", options.error.c_str(), kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("zerlan %s\n", ZERLAN_VERSION);
        return 0;
    }

    Settings settings;
    LoadDefaults(settings);
    const bool loaded = LoadFromCommandLine(settings, options.parameter_command_line) == 0;
    if (!loaded) MessageBox("Parameterfile incorrect or doesn't exist !\nDefault-value are use !", "Init-Message");
    if (!options.save_file.empty()) return SaveSettings(settings, options.save_file);
    // Without loaded settings the converter recognises both RTCM versions.
    if (!options.decode_file.empty()) {
        return RunDecodeCommand(options.decode_file, loaded ? settings.inout_sw.decoder_version : -1, options.quiet);
    }
    if (!options.rinex_file.empty()) {
        const RinexCommand rinex{options.rinex_file, options.rinex_date,
                                 loaded ? settings.inout_sw.decoder_version : -1, options.quiet};
        return RunRinexCommand(settings, rinex, stderr);
    }
    if (!options.encrypt_file.empty()) return RunEncryptCommand(settings, options.encrypt_file, options.quiet);
    if (!options.decrypt_file.empty()) return RunDecryptCommand(settings, options.decrypt_file, options.quiet);
    if (!options.sourcetable.empty()) return RunSourcetableCommand(settings, options.sourcetable, stdout, stderr);

    if (options.tui) return RunTuiProgram(settings, options.parameter_command_line, true);

    BlockJobSignals();
    // Never freed: detached workers may still read it while the process ends.
    static SharedState* const job_state = new SharedState;
    SharedState& state = *job_state;
    CopySettings(state.settings, settings);
    state.command_line = options.parameter_command_line;
    state.parameter_file = settings.parameter_file;
    state.protocol_file = settings.protocol_file;

    HeadlessRenderer renderer;
    CZerlanView view(state, renderer);
    view.Open();
    int status = 0;
    {
        SignalWatcher signals(view);
        state.program_ready = 1;
        status = view.Run();
    }
    view.Close();
    return status;
}

}  // namespace zerlan
