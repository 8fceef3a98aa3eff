#include "jobs/RotatingFileWriter.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "encoder/RotationNamer.h"
#include "jobs/OperatorLog.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Sleep.h"
#include "supervision/Protocol.h"

namespace zerlan {

namespace {
constexpr int kOpenRetryMs = 20;
constexpr size_t kCommandStop = 800;
constexpr size_t kCommandLimit = 950;

bool IsNone(const std::string& t) { return t.empty() || t == "none" || t == "None" || t == "NONE"; }
}  // namespace

namespace {
// The command with each "%" replaced; false when the replacement was cut.
bool Replace(const std::string& command, const std::string& closed_file, std::string* replaced) {
    for (char c : command) {
        if (replaced->size() >= kCommandStop) return false;
        if (c == '%') {
            *replaced += closed_file;
        } else {
            *replaced += c;
        }
    }
    return replaced->size() < kCommandLimit;
}
}  // namespace

bool CommandFits(const std::string& command, const std::string& closed_file) {
    std::string replaced;
    return Replace(command, closed_file, &replaced);
}

std::string CommandFileText(const std::string& command, const std::string& closed_file, const NowStrings& now) {
    // A command cut short at 800 characters would run with arguments missing:
    // only a whole replacement is used.
    std::string replaced;
    std::string line = Replace(command, closed_file, &replaced) ? replaced : command;
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
    name_ = name;
    path_ = MapPath(name);
    while (!TryOpen(path_)) {
        if (!worker_.Sleep(kOpenRetryMs)) return false;
    }
    return true;
}

bool RotatingFileWriter::TryOpen(const std::string& path) {
    file_ = std::fopen(path.c_str(), "ab");
    if (file_ != nullptr) {
        open_failure_shown_ = false;
        return true;
    }
    if (!open_failure_shown_) {
        open_failure_shown_ = true;
        const std::string reason = std::strerror(errno);
        state_.ShowText("Can't open " + path + ": " + reason + "\r\n");
        state_.outcome.NoteOutputFailure("file " + path + " cannot be opened: " + reason);
    }
    return false;
}

void RotatingFileWriter::WriteFailed(int error) {
    if (!writing_failed_) {
        writing_failed_ = true;
        const std::string reason = "can't write " + path_ + ": " + std::strerror(error);
        state_.ShowText("File-Output " + reason + "\r\n");
        WriteEventRecord("File-Output", "failure, " + reason, state_.settings.protocol_file.empty()
                                                                  ? kDefaultProtocolFile
                                                                  : state_.settings.protocol_file);
    }
    Close();
}

bool RotatingFileWriter::Open() {
    if (params_.rotation_on && params_.naming1 == "Auto") {
        while (state_.StationId() == "----") {
            if (!worker_.Sleep(1)) return false;
        }
    }
    last_minute_ = Clock::Get().EpochSeconds() / 60;
    return OpenName(CurrentName());
}

void RotatingFileWriter::CheckRotation() {
    if (!params_.rotation_on || stdout_) return;
    // A pass stalled over second 0 must not miss the change.
    const int64_t minute = Clock::Get().EpochSeconds() / 60;
    if (minute == last_minute_) return;
    last_minute_ = minute;
    const std::string next = CurrentName();
    if (next == name_) return;
    const std::string closed = name_;
    Close();
    if (params_.file_name == "COMMAND" && !IsNone(params_.naming3)) RunCommand(closed);
    OpenName(next);
}

void RotatingFileWriter::RunCommand(const std::string& closed_file) {
    // Two outputs rotating at once must not run or skip each other's command:
    // the runner has read the file before the next writer may replace it.
    static std::mutex command_file_lock;
    std::lock_guard<std::mutex> lock(command_file_lock);
    if (!CommandFits(params_.naming3, closed_file)) {
        state_.ShowText("CommandLine: not run, the command with the name " + closed_file +
                        " is longer than 800 characters\r\n");
        return;
    }
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
    if (length <= 0) return true;
    if (file_ == nullptr && (stdout_ || path_.empty() || !TryOpen(path_))) {
        lost_bytes_ += length;
        return false;
    }
    errno = 0;
    bool ok = std::fwrite(data, 1, static_cast<size_t>(length), file_) == static_cast<size_t>(length);
    if (!stdout_) {
        ok = std::fflush(file_) == 0 && ok;
        // Bytes written into a file whose name was removed reach nobody.
        if (ok && !StillNamed(file_, path_)) {
            ok = false;
            errno = ENOENT;
        }
    }
    if (!ok) {
        lost_bytes_ += length;
        WriteFailed(errno != 0 ? errno : EIO);
        return false;
    }
    if (writing_failed_) {
        writing_failed_ = false;
        state_.ShowText("File-Output writes " + path_ + " again, " + std::to_string(lost_bytes_) +
                        " bytes lost\r\n");
        lost_bytes_ = 0;
    }
    return true;
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
