// The protocol file: one-line records of failures and events appended to the
// file named by the `pr` setting, and the empty marker files named after a
// failure title that outside scripts look for in the working directory.
//
// Record lines: "NF title : text" (a text containing "no_failure"), "ZW title :
// text seconds" (a failure with its duration), "SW title : text" (availability
// events) and "title : text" (job events such as full hours).
//
// Thread-safety: every function may be called from any thread. Appends to the
// protocol file are serialised inside this module, so records of several
// threads never interleave within a line.
#pragma once

#include <string>

namespace zerlan {

class SharedState;

constexpr const char* kDefaultProtocolFile = ".\\Protokol.dat";

// Appends "NF %s : %s\n" when `text` contains "no_failure", else
// "ZW %s : %s %ld\n" with `duration_seconds`. `protocol_file` is the setting
// text (mapped with MapPath). Returns 0; 2 when the name is empty (nothing
// shown) or the file cannot be opened (one display line, sent to the view).
int WriteProtocol(SharedState& shared, const std::string& title, const std::string& text,
                  const std::string& protocol_file, long duration_seconds);

// Appends "SW %s : %s\n" and shows "\r\nwritten in ProtocolFile\r\n"; returns 0.
// A file that cannot be opened shows "\r\nCant't open ProtocolFile!!" and
// returns 2. Display lines are sent, not posted.
int WriteStatusRecord(SharedState& shared, const std::string& title, const std::string& text,
                      const std::string& protocol_file);

// Appends "%s : %s\n"; a file that cannot be opened is skipped silently.
// Returns 0, or 2 when nothing was written.
int WriteEventRecord(const std::string& title, const std::string& text, const std::string& protocol_file);

// True when `title` may name a marker file: a plain name (letters, digits,
// '_', '-', '.'; not only dots) that is neither the parameter file's nor the
// protocol file's name. Anything else would empty a file the program needs.
bool IsMarkerName(const std::string& title, const std::string& parameter_file, const std::string& protocol_file);

// Creates (or empties) the file named `title` in the working directory.
// Failure is ignored: the marker is a courtesy to outside scripts.
void CreateMarkerFile(const std::string& title);

}  // namespace zerlan
