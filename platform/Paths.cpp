#include "platform/Paths.h"

namespace zerlan {

std::string MapPath(const std::string& setting_path) {
    if (setting_path == "STDIN" || setting_path == "STDOUT") return setting_path;
    std::string out = setting_path;
    for (char& c : out) {
        if (c == '\\' || static_cast<unsigned char>(c) == kFileSlashSubstitute) c = '/';
    }
    return out;
}

std::string RestoreSlashes(const std::string& text, unsigned char substitute) {
    std::string out = text;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) == substitute) c = '/';
    }
    return out;
}

}  // namespace zerlan
