#include "supervision/Protocol.h"

#include <cctype>
#include <cstdio>
#include <mutex>

#include "core/SharedState.h"
#include "platform/Paths.h"

namespace zerlan {

namespace {

constexpr const char* kCantOpen = "\r\nCant't open ProtocolFile!!";

std::mutex& ProtocolMutex() {
    static std::mutex mutex;
    return mutex;
}

// Appends one complete line; false when the file cannot be opened.
bool AppendLine(const std::string& protocol_file, const std::string& line) {
    std::lock_guard<std::mutex> lock(ProtocolMutex());
    std::FILE* file = std::fopen(MapPath(protocol_file).c_str(), "a");
    if (file == nullptr) return false;
    std::fputs(line.c_str(), file);
    std::fclose(file);
    return true;
}

}  // namespace

int WriteProtocol(SharedState& shared, const std::string& title, const std::string& text,
                  const std::string& protocol_file, long duration_seconds) {
    if (protocol_file.empty()) return 2;
    bool written;
    if (text.find("no_failure") != std::string::npos) {
        written = AppendLine(protocol_file, "NF " + title + " : " + text + "\n");
    } else {
        written = AppendLine(protocol_file,
                             "ZW " + title + " : " + text + " " + std::to_string(duration_seconds) + "\n");
    }
    if (!written) {
        shared.ShowTextAndWait(kCantOpen);
        return 2;
    }
    return 0;
}

int WriteStatusRecord(SharedState& shared, const std::string& title, const std::string& text,
                      const std::string& protocol_file) {
    if (protocol_file.empty() || !AppendLine(protocol_file, "SW " + title + " : " + text + "\n")) {
        shared.ShowTextAndWait(kCantOpen);
        return 2;
    }
    shared.ShowTextAndWait("\r\nwritten in ProtocolFile\r\n");
    return 0;
}

int WriteEventRecord(const std::string& title, const std::string& text, const std::string& protocol_file) {
    if (protocol_file.empty()) return 2;
    return AppendLine(protocol_file, title + " : " + text + "\n") ? 0 : 2;
}

namespace {
std::string BaseName(const std::string& setting_path) {
    const std::string path = MapPath(setting_path);
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
}  // namespace

bool IsMarkerName(const std::string& title, const std::string& parameter_file, const std::string& protocol_file) {
    if (title.empty() || title.find_first_not_of('.') == std::string::npos) return false;
    for (unsigned char c : title) {
        if (!std::isalnum(c) || c >= 0x80) {
            if (c != '_' && c != '-' && c != '.') return false;
        }
    }
    return title != BaseName(parameter_file) && title != BaseName(protocol_file);
}

void CreateMarkerFile(const std::string& title) {
    if (title.empty()) return;
    if (std::FILE* file = std::fopen(title.c_str(), "w")) std::fclose(file);
}

}  // namespace zerlan
