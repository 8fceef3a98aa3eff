#include "platform/Process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <fstream>
#include <sstream>

extern char** environ;

namespace zerlan {

int SpawnDetached(const std::string& program, const std::vector<std::string>& args) {
    ReapChildren();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return static_cast<int>(pid);
}

std::string CommandFileScript(const std::string& file_text) {
    std::istringstream in(file_text);
    std::string line, script;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "@echo off" || line.rfind("REM", 0) == 0 || line.empty()) continue;
        script += line + "\n";
    }
    return script;
}

int RunCommandFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return -1;
    std::stringstream text;
    text << in.rdbuf();
    const std::string script = CommandFileScript(text.str());
    if (script.empty()) return -1;
    return SpawnDetached("/bin/sh", {"-c", script});
}

int ReapChildren() {
    int reaped = 0;
    while (waitpid(-1, nullptr, WNOHANG) > 0) ++reaped;
    return reaped;
}

}  // namespace zerlan

namespace zerlan {

int RunAndWait(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ProgramExists(const std::string& program) {
    if (program.empty()) return false;
    if (program.find('/') != std::string::npos) return access(program.c_str(), X_OK) == 0;
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

}  // namespace zerlan
