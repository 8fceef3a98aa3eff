// Reading and writing settings: the parameter file ("/key,value" items with
// comment lines), the same items given on the command line, and the document
// form (.zln: one raw value per line, no keys). Results are 0 for success and
// 1 for failure.
//
// Thread-safety: each call works on the Settings it is given; callers keep a
// record to one thread at a time (the view thread, or start-up).
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "config/Settings.h"

namespace zerlan {

// Every key back to its built-in value, parsed.
void LoadDefaults(Settings& settings);

// Parses one line or a whole command line of "/key,value" or "/key,\"value\""
// items. Returns 0 when at least one known key (or "rem") was found.
int ParseText(Settings& settings, std::string_view text);

// What a load tells the operator: "FILE:LINE: ..." for unknown keys and
// corrected values, and why a failed load failed ("FILE: reason").
struct LoadReport {
    std::vector<std::string> warnings;
    std::string problem;
};

// Loads a parameter file over the current values. Returns 0 when the file
// could be read and a line held a known key; on any readable file the load
// summary is rebuilt and `loaded` set.
int LoadFile(Settings& settings, const std::string& path, LoadReport* report = nullptr);

// The command line without the program name: nothing loads "morvik.par"; one
// word must be a pd item naming the file; more words are parsed as items.
int LoadFromCommandLine(Settings& settings, std::string_view command_line, LoadReport* report = nullptr);

// The whole parameter file as text (leading empty line, comment and item per key).
std::string SaveText(const Settings& settings);
// Writes SaveText to `path`; 1 when the file cannot be created.
int SaveFile(const Settings& settings, const std::string& path);

void CopySettings(Settings& destination, const Settings& source);

// Document form: the raw values of these keys, one per line ending in CR LF.
inline constexpr std::array<Key, 32> kDocumentOrder = {
    Key::kPd, Key::kPd, Key::kPr, Key::kDp, Key::kNp, Key::kSeb, Key::kMiz, Key::kMaz,
    Key::kCastIn, Key::kCastOut, Key::kCoIn, Key::kCoOut, Key::kTcpIn, Key::kTcpOut,
    Key::kUdpIn, Key::kUdpOut, Key::kPipeIn, Key::kPipeOut, Key::kFileIn, Key::kFileOut,
    Key::kInoutSw, Key::kDecOut, Key::kKfkp, Key::kKsat, Key::kWfkp, Key::kWsat,
    Key::kAi, Key::kHtml, Key::kNmea, Key::kRinex, Key::kEncDa, Key::kDecIn,
};
// Bytes read of a document at most.
constexpr size_t kMaxDocumentBytes = 32999;

std::string DocumentText(const Settings& settings);
// Stores the lines only when there are exactly 32; returns 0 then, else 1
// and the settings are unchanged.
int LoadDocumentText(Settings& settings, std::string_view bytes);
int SaveDocumentFile(const Settings& settings, const std::string& path);
int LoadDocumentFile(Settings& settings, const std::string& path);

}  // namespace zerlan
