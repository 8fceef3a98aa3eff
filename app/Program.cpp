#include "app/Program.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "app/EncodeCommand.h"
#include "app/JobSignals.h"
#include "app/CryptCommand.h"
#include "app/RinexCommand.h"
#include "app/TuiCommand.h"
#include "config/ParameterFile.h"
#include "core/CharPool.h"
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
    "  zerlan /key,value ...       give settings directly as parameter items; quote a\n"
    "                              value that holds '/': '/file_in,\"/var/gnss/in.rtcm3\"'\n"
    "\n"
    "options:\n"
    "  --help                      this text\n"
    "  --version                   program version\n"
    "  --monitor                   also show the received stream in the log (control bytes as '.')\n"
    "  --tui                       full-screen terminal view instead of log lines on stderr\n"
    "  --pool-window SIZE          bytes each data pool holds for a reader that lags (default 4M;\n"
    "                              64k..1024M): a burst up to this size reaches every output whole\n"
    "  --save FILE                 load the settings as usual, write them to FILE ('-' = stdout), exit\n"
    "  --sourcetable HOST[:PORT]   print a caster's sourcetable (port 2101 by default), exit;\n"
    "                              gives up after 20 s\n"
    "\n"
    "batch filters: FILE '-' is standard input, the result goes to stdout and one summary\n"
    "line to stderr; each runs at full speed with the same code and text as a job:\n"
    "  --decode FILE               RTCM 2/3 to decoded text\n"
    "  --encode FILE               decoded text to RTCM\n"
    "  --rinex FILE                RTCM 2 to RINEX 2.10 files in the current directory\n"
    "  --rinex-date YYYY-MM-DDTHH  with --rinex: date and hour the recording began (default: now)\n"
    "  --encrypt FILE              the bytes as encrypted messages 4088 (enc_da key)\n"
    "  --decrypt FILE              the bytes carried by the messages 4088\n"
    "  --quiet                     leave the summary line out\n"
    "\n"
    "Every log line on stderr starts with the local time. SIGINT or SIGTERM stop the job\n"
    "and end the program; SIGHUP reloads the parameter file and restarts the job (a file\n"
    "that cannot be read keeps the running job).\n"
    "\n"
    "exit status: 0 stopped by a signal, or the input file ended with every output written;\n"
    "1 the job ended for any other reason (the last line says why); 2 usage error.\n";


int SaveSettings(const Settings& settings, const std::string& target) {
    if (target == "-") {
        std::string text = SaveText(settings);
        return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
    }
    if (SaveFile(settings, target) != 0) {
        LogLine("cannot write " + target + ": " + std::strerror(errno));
        return 1;
    }
    return 0;
}

// The file a reload reads again: the one named at start-up, not the pd item
// inside it (a saved file names its own default there).
std::string LoadedFileName(const std::string& command_line, const Settings& settings) {
    if (command_line.empty()) return "morvik.par";
    if (command_line.find(' ') == std::string::npos) {
        Settings named;
        if (ParseText(named, command_line) == 0) return named.parameter_file;
    }
    return settings.parameter_file;
}

}  // namespace

int RunProgram(const ProgramOptions& options) {
    if (!options.error.empty()) {
        std::fprintf(stderr, "zerlan: %s\n%s", options.error.c_str(), kUsage);
        return 2;
    }
    // Before any pool makes its ring.
    if (options.pool_window > 0) CharPool::SetDefaultWindow(options.pool_window);
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
    LoadReport report;
    const bool loaded = LoadFromCommandLine(settings, options.parameter_command_line, &report) == 0;
    for (const std::string& warning : report.warnings) LogLine(warning);
    if (!loaded) {
        MessageBox("Parameterfile incorrect or doesn't exist !\nDefault-value are use !", "Init-Message");
        LogLine(report.problem + "; the built-in defaults are used");
    }
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
    if (!options.encode_file.empty()) {
        return RunEncodeCommand(settings, loaded && !options.parameter_command_line.empty(), options.encode_file);
    }
    if (!options.encrypt_file.empty()) return RunEncryptCommand(settings, options.encrypt_file, options.quiet);
    if (!options.decrypt_file.empty()) return RunDecryptCommand(settings, options.decrypt_file, options.quiet);
    if (!options.sourcetable.empty()) return RunSourcetableCommand(settings, options.sourcetable, stdout, stderr);

    if (options.tui) {
        return RunTuiProgram(settings, options.parameter_command_line,
                             LoadedFileName(options.parameter_command_line, settings), true);
    }

    BlockJobSignals();
    // Never freed: detached workers may still read it while the process ends.
    static SharedState* const job_state = new SharedState;
    SharedState& state = *job_state;
    CopySettings(state.settings, settings);
    state.command_line = options.parameter_command_line;
    state.parameter_file = LoadedFileName(options.parameter_command_line, settings);
    state.protocol_file = settings.protocol_file;

    HeadlessRenderer renderer(stderr, options.monitor);
    CZerlanView view(state, renderer);
    view.Open();
    int status = 0;
    {
        JobSignalWatcher signals([&view](int sig) {
            if (sig == SIGHUP) {
                LogLine("SIGHUP: the parameter file is read again");
                view.RequestReload();
            } else {
                LogLine(std::string(sig == SIGINT ? "SIGINT" : "SIGTERM") + ": the job stops");
                view.RequestQuit();
            }
        });
        state.program_ready = 1;
        status = view.Run();
    }
    view.Close();
    LogLine("zerlan ends, exit status " + std::to_string(status) + ": " + view.ExitReason());
    return status;
}

}  // namespace zerlan
