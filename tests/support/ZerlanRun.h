// The zerlan program as a user starts it, in a test's TempDir, its output in out.txt and err.txt.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/Descriptors.h"
#include "support/TempDir.h"
#include "support/WaitFor.h"

namespace zerlan::testing {

struct RunResult {
    int status = -1;  // exit status, -1 after a signal
    std::string out, err;
};

inline int ExitStatus(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1; }

inline RunResult RunShell(const std::string& command) {
    const int raw = std::system((command + " >out.txt 2>err.txt").c_str());
    return {ExitStatus(raw), ReadFile("out.txt"), ReadFile("err.txt")};
}

// Output through a pipe: the files of a running program stay untouched.
inline RunResult Capture(const std::string& command) {
    RunResult r;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) r.out.append(buffer, n);
        r.status = ExitStatus(pclose(pipe));
    }
    return r;
}

// `args` are shell words (quote them as a shell needs).
inline RunResult RunZerlan(const std::string& args) { return RunShell(std::string(ZERLAN_BINARY) + " " + args); }

// Starts zerlan in the background; its stdin is `stdin_fd` when not negative.
inline pid_t StartZerlan(std::vector<std::string> args, int stdin_fd = -1) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (stdin_fd >= 0) dup2(stdin_fd, 0);
    std::freopen("out.txt", "w", stdout);
    std::freopen("err.txt", "w", stderr);
    std::vector<char*> argv{const_cast<char*>(ZERLAN_BINARY)};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(ZERLAN_BINARY, argv.data());
    _exit(127);
}

inline bool Logged(const std::string& text) { return ReadFile("err.txt").find(text) != std::string::npos; }
inline bool WaitForLog(const std::string& text) { return WaitFor([&] { return Logged(text); }); }

// -1 after a signal or when still running after `max_ms` (then killed); SIGTERM first if `terminate`.
inline int WaitForExit(pid_t pid, bool terminate = false, int max_ms = 15000) {
    if (terminate) kill(pid, SIGTERM);
    int status = 0;
    if (!WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, max_ms)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    return ExitStatus(status);
}

inline bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

inline int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// The last line of a log without its time prefix ("YYYY-MM-DD hh:mm:ss ").
inline std::string LastLogLine(const std::string& log) {
    const size_t end = log.find_last_not_of('\n');
    if (end == std::string::npos) return "";
    const size_t start = log.rfind('\n', end) + 1;  // npos + 1 == 0
    return end - start + 1 > 20 ? log.substr(start + 20, end - start - 19) : "";
}

// A loopback TCP listener on a kernel-chosen port, held while it lives.
struct BusyPort {
    BusyPort() : fd(ListenLoopback(port, 1)) {}
    ~BusyPort() { close(fd); }
    std::string port;
    int fd;
};

inline std::string UnusedPort() { return BusyPort().port; }

// Connects to a loopback port, retrying while the program starts its server.
inline int ConnectTo(const std::string& port) {
    int fd = -1;
    WaitFor([&] { return (fd = ConnectLoopback(port)) >= 0; });
    return fd;
}

}  // namespace zerlan::testing
