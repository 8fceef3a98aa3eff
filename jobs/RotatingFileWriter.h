// The writing end of the file outputs (relayed bytes and decoded text): a
// plain file, files rotated by period with an optional command run after each
// change, or the standard output with a full buffer of the configured size.
//
// Thread-safety: one writer per thread; the standard output must have only
// one writer in the process (the settings give it to one output).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "config/Settings.h"
#include "core/SharedState.h"
#include "core/Worker.h"

namespace zerlan {

// Builds the command file text run after a rotation: the fixed header lines
// and the command with each "%" replaced by `closed_file` (the replacement
// stops at 800 characters and is used only when shorter than 950).
std::string CommandFileText(const std::string& command, const std::string& closed_file, const NowStrings& now);
// False when the replacement would be cut: such a command is not run.
bool CommandFits(const std::string& command, const std::string& closed_file);

class RotatingFileWriter {
public:
    static constexpr const char* kCommandFile = ".\\TCmd.cmd";

    RotatingFileWriter(SharedState& state, WorkerScope& worker, const RotatingFileParams& params);
    ~RotatingFileWriter();
    RotatingFileWriter(const RotatingFileWriter&) = delete;
    RotatingFileWriter& operator=(const RotatingFileWriter&) = delete;

    // Chooses the name (waiting for the station id with "Auto") and opens it,
    // retrying every 20 ms. False when a stop came first.
    bool Open();
    // The rotation check of each pass: at the first pass in a new minute,
    // switches to the file of the new period.
    void CheckRotation();
    // False when the bytes could not be written: the failure is shown once
    // and recorded, the file is closed and opened again at the next call, and
    // the bytes lost meanwhile are shown once writing works again.
    bool Write(const char* data, int length);
    void Close();
    const std::string& name() const { return name_; }
    bool is_stdout() const { return stdout_; }

private:
    std::string CurrentName();
    bool OpenName(const std::string& name);
    // One attempt; an outage's first failure names the file and the reason.
    bool TryOpen(const std::string& path);
    void WriteFailed(int error);
    void RunCommand(const std::string& closed_file);

    SharedState& state_;
    WorkerScope& worker_;
    RotatingFileParams params_;
    std::FILE* file_ = nullptr;
    bool stdout_ = false;
    std::string name_;
    std::string path_;
    int64_t last_minute_ = 0;
    bool open_failure_shown_ = false;
    bool writing_failed_ = false;
    long long lost_bytes_ = 0;
};

}  // namespace zerlan
