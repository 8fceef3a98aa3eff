#include "decoder/StringAnalyser.h"

#include <algorithm>

namespace zerlan {
namespace {
constexpr size_t kMaxText = 9999;
constexpr size_t kMaxCopy = CStringAnalyser::kFieldSize - 1;
}  // namespace

void CStringAnalyser::Clear() {
    for (auto& f : fields_) f.clear();
}

void CStringAnalyser::Put(int index, std::string_view text) {
    fields_[index].assign(text.substr(0, kMaxCopy));
}

const std::string& CStringAnalyser::Field(int index) const {
    static const std::string kEmpty;
    if (index < 0 || index >= kFieldCount) return kEmpty;
    return fields_[index];
}

int CStringAnalyser::SubString(int from, int to, std::string_view text) {
    Clear();
    if (from < 1 || to < 1 || text.size() > kMaxText) return 1;
    std::string& out = fields_[0];
    const int len = static_cast<int>(text.size());
    if (from <= to) {
        for (int p = from; p <= to && p <= len && out.size() < kMaxCopy; ++p) out.push_back(text[p - 1]);
    } else {
        for (int p = std::min(from, len); p >= to && out.size() < kMaxCopy; --p) out.push_back(text[p - 1]);
    }
    return 1;
}

int CStringAnalyser::FindPattern(std::string_view text, std::string_view pattern, int from, int to) {
    Clear();
    const int len = static_cast<int>(text.size());
    const int plen = static_cast<int>(pattern.size());
    if (len == 0 || plen == 0 || plen > len || from > len || to > len) return 0;
    for (int start = std::max(from, 1); start <= to && start + plen - 1 <= len; ++start) {
        if (text.compare(start - 1, plen, pattern) == 0) return start;
    }
    return 0;
}

int CStringAnalyser::PadLeft(char padChar, int width, std::string_view text) {
    Clear();
    if (text.size() >= kMaxCopy) return 0;
    if (text.empty()) return 1;
    if (width >= 1 && width < static_cast<int>(kMaxCopy) && static_cast<int>(text.size()) < width) {
        fields_[0].assign(width - text.size(), padChar);
        fields_[0].append(text);
    } else {
        fields_[0].assign(text);
    }
    return 1;
}

int CStringAnalyser::Split(char separator, std::string_view text) {
    Clear();
    size_t end = text.find_first_of(std::string_view("\r\n\0", 3));
    if (end != std::string_view::npos) text = text.substr(0, end);
    int count = 0;
    if (separator == ' ') {
        size_t p = 0;
        while (p < text.size() && count < kMaxSplitFields) {
            while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) ++p;
            if (p >= text.size()) break;
            size_t q = p;
            while (q < text.size() && text[q] != ' ' && text[q] != '\t') ++q;
            Put(count++, text.substr(p, q - p));
            p = q;
        }
        return count;
    }
    size_t p = 0;
    while (p < text.size() && count < kMaxSplitFields) {
        size_t q = text.find(separator, p);
        if (q == std::string_view::npos) {
            Put(count++, text.substr(p));
            break;
        }
        Put(count++, text.substr(p, q - p));
        p = q + 1;
    }
    return count;
}

}  // namespace zerlan
