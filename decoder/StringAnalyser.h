// CStringAnalyser: the text cutting, searching, padding and splitting that the
// decoders and encoders use on bit strings and decoded lines. Results land in
// 201 fields of at most 999 characters: field 0 holds the result of SubString
// and PadLeft, fields 0..199 the words of Split. Every operation clears all
// fields first. Positions are 1-based.
//
// One object per thread; not safe for concurrent use.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace zerlan {

class CStringAnalyser {
public:
    static constexpr int kFieldCount = 201;
    static constexpr int kMaxSplitFields = 200;
    static constexpr size_t kFieldSize = 1000;  // text plus terminator

    CStringAnalyser() = default;

    // Characters from..to inclusive into field 0; from > to copies backwards.
    // Empty result when a position is below 1 or the text exceeds 9999
    // characters; at most 999 characters. Returns 1.
    int SubString(int from, int to, std::string_view text);
    // 1-based start of the first occurrence of `pattern` starting within
    // from..to; 0 when none or when the arguments are out of range.
    int FindPattern(std::string_view text, std::string_view pattern, int from, int to);
    // `text` right-aligned in `width` characters of `padChar` into field 0.
    // Returns 0 (and an empty field) for texts of 999 characters or more.
    int PadLeft(char padChar, int width, std::string_view text);
    // Words of a line up to its first CR, LF or NUL. With ' ' blanks and tabs
    // separate and runs count once; any other separator ends a field each time
    // (empty fields count). At most 200 fields. Returns the field count.
    int Split(char separator, std::string_view text);

    const std::string& Field(int index) const;
    const char* FieldText(int index) const { return Field(index).c_str(); }

private:
    void Clear();
    void Put(int index, std::string_view text);

    std::array<std::string, kFieldCount> fields_;
};

}  // namespace zerlan
