#include "ui/Renderer.h"

#include "platform/Console.h"

namespace zerlan {

std::string TerminalText(const std::string& text, bool received_data) {
    std::string out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;  // terminals want LF
        if (c == '\n') {
            out += '\n';
        } else if (received_data && (c < 0x20 || c >= 0x7F) && c != '\t') {
            out += '.';
        } else if (c == 0xB0) {
            out += "\xC2\xB0";
        } else if (c == 0xB4) {
            out += "\xC2\xB4";
        } else if (c == 0xF6) {
            out += "\xC3\xB6";
        } else if (c >= 0x80) {
            out += '?';
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void HeadlessRenderer::LogAppended(const std::string& appended, bool received_data) {
    if (received_data && !monitor_) return;
    WriteLogLines(out_, TerminalText(appended, received_data));
}

}  // namespace zerlan
