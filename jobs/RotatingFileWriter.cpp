#include "jobs/RotatingFileWriter.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "encoder/RotationNamer.h"
#include "jobs/OperatorLog.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Sleep.h"

namespace zerlan {

namespace {
constexpr int kOpenRetryMs = 20;
constexpr int kRotationCheckMs = 3000;
constexpr size_t kCommandStop = 800;
constexpr size_t kCommandLimit = 950;

bool IsNone(const std::string& t) { return t.empty() || t == "none" || t == "None" || t == "NONE"; }
}  // namespace

std::string CommandFileText(const std::string& command, const std::string& closed_file, const NowStrings& now) {
    std::string replaced;
    bool complete = true;
    for (char c : command) {
        if (replaced.size() >= kCommandStop) {
            complete = false;
            break;
        }
        if (c == '%') {
            replaced += closed_file;
        } else {
            replaced += c;
        }
    }
    // A command cut short at 800 characters would run with arguments missing:
    // only a whole replacement is used.
    std::string line = complete && replaced.size() < kCommandLimit ? replaced : command;
    line = RestoreSlashes(line, kFileSlashSubstitute);
    const std::string stamp = std::string("REM Created of MorvikV1.08-zezur1 at ") + now.day + "." + now.month + "." +
                              now.year + " " + now.hour + ":" + now.minute + ":" + now.second + "\n";
    return std::string("@echo off\n") + "REM Command after a change of the output file\n" + stamp + line + "\n";
}

RotatingFileWriter::RotatingFileWriter(SharedState& state, WorkerScope& worker, const RotatingFileParams& params)
    : state_(state), worker_(worker), params_(params) {}

RotatingFileWriter::~RotatingFileWriter() { Close(); }

std::string RotatingFileWriter::CurrentName() {
    if (!params_.rotation_on) return params_.file_name;
    std::string prefix = params_.naming1;
    if (prefix == "Auto" || prefix == "0000") {
        const std::string station = state_.StationId();
        if (station != "----") prefix = station;
    }
    RotationNamer namer;
    const int layout = std::atoi(params_.rotation_mode.c_str());
    return namer.NameForNow(layout, std::atoi(params_.rotation_interval.c_str()), prefix, params_.naming2,
                            params_.directory);
}

bool RotatingFileWriter::OpenName(const std::string& name) {
    if (name == "STDOUT") {
        stdout_ = true;
        const long size = std::atol(params_.block_size.c_str());
        if (size < 2 || std::setvbuf(stdout, nullptr, _IOFBF, static_cast<size_t>(size)) != 0) {
            MessageBox("Incorrect type or size of buffer for stdout\n", "File-Out-Debug");
        }
        file_ = stdout;
        name_ = name;
        return true;
    }
    if (params_.rotation_on) {
        RotationNamer namer;
        namer.NameForNow(std::atoi(params_.rotation_mode.c_str()), std::atoi(params_.rotation_interval.c_str()),
                         params_.naming1, params_.naming2, params_.directory);
        namer.CreateDirectories(std::atoi(params_.rotation_mode.c_str()), params_.directory, namer.moment());
    }
    const std::string path = MapPath(name);
    bool told = false;
    while ((file_ = std::fopen(path.c_str(), "ab")) == nullptr) {
        if (!told) {
            const std::string why = "file " + path + " cannot be opened: " + std::strerror(errno);
            ShowEvent(state_, why + "; retrying");
            state_.outcome.NoteOutputFailure(why);
            told = true;
        }
        if (!worker_.Sleep(kOpenRetryMs)) return false;
    }
    name_ = name;
    return true;
}

bool RotatingFileWriter::Open() {
    if (params_.rotation_on && params_.naming1 == "Auto") {
        while (state_.StationId() == "----") {
            if (!worker_.Sleep(1)) return false;
        }
    }
    last_check_ms_ = Clock::Get().MonotonicMs();
    return OpenName(CurrentName());
}

void RotatingFileWriter::CheckRotation() {
    if (!params_.rotation_on || stdout_) return;
    const int64_t now_ms = Clock::Get().MonotonicMs();
    if (now_ms - last_check_ms_ < kRotationCheckMs) return;
    NowStrings now = state_.CaptureNow();
    if (std::atoi(now.second) != 0) return;
    last_check_ms_ = now_ms;
    const std::string next = CurrentName();
    if (next == name_) return;
    const std::string closed = name_;
    Close();
    if (params_.file_name == "COMMAND" && !IsNone(params_.naming3)) RunCommand(closed);
    OpenName(next);
}

void RotatingFileWriter::RunCommand(const std::string& closed_file) {
    const std::string text = CommandFileText(params_.naming3, closed_file, state_.CaptureNow());
    const std::string path = MapPath(kCommandFile);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        MessageBox("CommandLine: No execute !", "File-Out-Debug");
        return;
    }
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    std::fclose(f);
    if (!ok) {
        MessageBox("CommandLine: No execute !", "File-Out-Debug");
        return;
    }
    RunCommandFile(path);
}

bool RotatingFileWriter::Write(const char* data, int length) {
    if (file_ == nullptr || length <= 0) return file_ != nullptr;
    const bool ok = std::fwrite(data, 1, static_cast<size_t>(length), file_) == static_cast<size_t>(length);
    if (!stdout_) std::fflush(file_);
    return ok;
}

void RotatingFileWriter::Close() {
    if (file_ == nullptr) return;
    if (stdout_) {
        std::fflush(stdout);
    } else {
        std::fclose(file_);
    }
    file_ = nullptr;
}

}  // namespace zerlan
