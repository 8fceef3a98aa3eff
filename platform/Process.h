// Starting programs without waiting for them. Children are reaped by
// `ReapChildren`, which the view's clock tick calls, so none stays a zombie.
#pragma once

#include <string>
#include <vector>

namespace zerlan {

// Starts `program` with `args`; returns the process id or -1.
int SpawnDetached(const std::string& program, const std::vector<std::string>& args);
// Runs a command file with /bin/sh on its command lines only: "@echo off" and
// lines that begin with "REM" are skipped. Returns the process id or -1.
int RunCommandFile(const std::string& path);
// The shell text RunCommandFile runs for a command file's text.
std::string CommandFileScript(const std::string& file_text);
// Collects every child that has ended; returns how many.
int ReapChildren();

}  // namespace zerlan

namespace zerlan {

// Starts `program` with `args` and waits until it ends (an editor or pager
// that owns the terminal meanwhile). Its exit status, or -1 when it could not
// be started.
int RunAndWait(const std::string& program, const std::vector<std::string>& args);
// True when `program` names an executable: a path as it stands, or a name
// found in PATH.
bool ProgramExists(const std::string& program);

}  // namespace zerlan
