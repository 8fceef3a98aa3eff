#include "config/FieldSplit.h"

#include <limits>

namespace zerlan::config_detail {

namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n' || c == '\0'; }

void AppendCapped(std::string& field, char c) {
    if (field.size() < kMaxFieldLength) field.push_back(c);
}

}  // namespace

std::vector<std::string> SplitFields(char separator, std::string_view text) {
    std::vector<std::string> fields;
    size_t end = 0;
    while (end < text.size() && !IsLineEnd(text[end])) ++end;
    if (end == 0) return fields;

    if (separator == ' ') {
        std::string word;
        bool in_word = false;
        for (size_t i = 0; i < end && fields.size() < kMaxSplitFields; ++i) {
            const char c = text[i];
            if (c == ' ' || c == '\t') {
                if (in_word) fields.push_back(std::move(word));
                word.clear();
                in_word = false;
            } else {
                AppendCapped(word, c);
                in_word = true;
            }
        }
        if (in_word && fields.size() < kMaxSplitFields) fields.push_back(std::move(word));
        return fields;
    }

    std::string field;
    for (size_t i = 0; i < end; ++i) {
        const char c = text[i];
        if (c == separator) {
            fields.push_back(std::move(field));
            field.clear();
            if (fields.size() == kMaxSplitFields) return fields;
        } else {
            AppendCapped(field, c);
        }
    }
    fields.push_back(std::move(field));
    return fields;
}

std::string JoinFields(char separator, const std::vector<std::string>& fields) {
    std::string out;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out.push_back(separator);
        out += fields[i];
    }
    return out;
}

int32_t TextToInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kLimit) value = kLimit;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}

}  // namespace zerlan::config_detail
