// Paths from the settings are written the Windows way (".\Protokol.dat",
// "\var\log\x.dat") and may carry the file-name slash substitute 0xBB.
// `MapPath` turns such a text into the path the operating system opens; the
// stored setting keeps its original form.
#pragma once

#include <string>

namespace zerlan {

constexpr unsigned char kFileSlashSubstitute = 0xBB;
constexpr unsigned char kNetSlashSubstitute = 0xAF;

// Each '\' and each 0xBB byte becomes '/'. "STDIN" and "STDOUT" stay as they are.
std::string MapPath(const std::string& setting_path);

// Each byte `substitute` becomes '/' (the consumers of network settings use 0xAF).
std::string RestoreSlashes(const std::string& text, unsigned char substitute);

}  // namespace zerlan
