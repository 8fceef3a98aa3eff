#include "core/DisplayLog.h"

namespace zerlan {

std::string AppendDisplayText(std::string& log, const std::string& text) {
    if (log.size() < kDisplayLogLimit || text.size() >= kDisplayLogLimit) {
        size_t room = log.size() < kDisplayLogLimit ? kDisplayLogLimit - log.size() : 0;
        std::string part = text.substr(0, room);
        log += part;
        return part;
    }
    log = text;
    return text;
}

}  // namespace zerlan
