#include "config/ParameterFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "config/FieldSplit.h"
#include "platform/Clock.h"
#include "platform/Paths.h"

namespace zerlan {

using config_detail::SplitFields;
using config_detail::TextToInt;

namespace {

constexpr size_t kMaxPieces = 199;
constexpr size_t kMaxPieceLength = 999;
constexpr size_t kMaxLineLength = 999;

struct Item {
    std::string key;
    std::string value;
};

// Cuts a line at '/' (the text before the first '/' carries nothing) and
// reads each piece as an item.
std::vector<Item> SplitItems(std::string_view text) {
    size_t end = 0;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n' && text[end] != '\0') ++end;

    // Inside double quotes a '/' belongs to the value (Linux paths); stored
    // files never held one there, since it used to cut the item.
    std::vector<std::string> pieces(1);
    bool quoted = false;
    for (size_t i = 0; i < end; ++i) {
        if (text[i] == '"') quoted = !quoted;
        if (text[i] == '/' && !quoted) {
            if (pieces.size() == kMaxPieces) break;
            pieces.emplace_back();
        } else if (pieces.back().size() < kMaxPieceLength) {
            pieces.back().push_back(text[i]);
        }
    }

    std::vector<Item> items;
    for (size_t p = 1; p < pieces.size(); ++p) {
        const std::string& piece = pieces[p];
        Item item;
        const size_t quote = piece.find('"');
        if (quote != std::string::npos) {
            item.key = piece.substr(0, piece.find(','));
            const size_t close = piece.find('"', quote + 1);
            item.value = piece.substr(quote + 1, close == std::string::npos ? std::string::npos : close - quote - 1);
        } else {
            const std::vector<std::string> words = SplitFields(' ', piece);
            const std::string first = words.empty() ? std::string() : words[0];
            const size_t comma = first.find(',');
            item.key = first.substr(0, comma);
            if (comma != std::string::npos) item.value = first.substr(comma + 1);
        }
        items.push_back(std::move(item));
    }
    return items;
}

std::string LoadSummary(const Settings& s) {
    const LocalTime t = Clock::Get().Now();
    char moment[100];
    std::snprintf(moment, sizeof moment, "%02i.%02i.%i %02i:%02i:%02i", t.day, t.month, t.year, t.hour,
                  t.minute, t.second);
    char text[400];
    std::snprintf(text, sizeof text, "last Adjustment: %s\nMinZyklus %ld %ld\nMaxZyklus %ld %ld\n", moment,
                  static_cast<long>(TextToInt(s.miz.input_limit)), static_cast<long>(TextToInt(s.miz.output_limit)),
                  static_cast<long>(TextToInt(s.maz.input_limit)), static_cast<long>(TextToInt(s.maz.output_limit)));
    return text;
}

bool WriteWhole(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

void LoadDefaults(Settings& settings) {
    for (int k = 0; k < kKeyCount; ++k) {
        const Key key = static_cast<Key>(k);
        settings.SetRaw(key, InfoOf(key).default_value);
    }
}

namespace {

// Parses `text`; unknown keys and corrected values are told to `report` as
// "WHERE: ...".
int ParseItems(Settings& settings, std::string_view text, const std::string& where, LoadReport* report) {
    bool found = false;
    // A comment's own '/' ("Path/name for Editor") cuts it like any item; the
    // pieces after it on its line are comment, not unknown keys.
    bool in_comment = false;
    for (const Item& item : SplitItems(text)) {
        if (item.key == "rem") {
            found = true;
            in_comment = true;
        } else if (const auto key = FindKey(item.key)) {
            settings.SetRaw(*key, item.value);
            found = true;
            if (report == nullptr) continue;
            for (const std::string& c : settings.Corrections(*key))
                report->warnings.push_back(where + ": " + item.key + " " + c);
        } else if (report != nullptr && !item.key.empty() && !in_comment) {
            report->warnings.push_back(where + ": unknown key \"" + item.key + "\" ignored");
        }
    }
    return found ? 0 : 1;
}

}  // namespace

int ParseText(Settings& settings, std::string_view text) { return ParseItems(settings, text, "", nullptr); }

int LoadFile(Settings& settings, const std::string& path, LoadReport* report) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        if (report != nullptr) report->problem = path + ": " + std::strerror(errno);
        return 1;
    }
    bool found = false;
    int line_number = 1;
    std::string line;
    int c;
    auto parse = [&] {
        found = ParseItems(settings, line, path + ":" + std::to_string(line_number), report) == 0 || found;
        line.clear();
    };
    while ((c = std::fgetc(file)) != EOF) {
        line.push_back(static_cast<char>(c));
        if (c == '\n' || line.size() >= kMaxLineLength) {
            parse();
            if (c == '\n') ++line_number;
        }
    }
    if (!line.empty()) parse();
    const int read_error = std::ferror(file) ? errno : 0;
    std::fclose(file);

    settings.ReparseAll();
    settings.load_summary = LoadSummary(settings);
    settings.loaded = 1;
    if (report != nullptr && read_error != 0) report->problem = path + ": " + std::strerror(read_error);
    if (report != nullptr && read_error == 0 && !found) report->problem = path + ": no parameter item in it";
    return found ? 0 : 1;
}

int LoadFromCommandLine(Settings& settings, std::string_view command_line, LoadReport* report) {
    const std::vector<std::string> words = SplitFields(' ', command_line);
    if (words.empty()) return LoadFile(settings, "morvik.par", report);
    if (words.size() == 1) {
        const std::vector<Item> items = SplitItems(words[0]);
        if (items.empty() || items[0].key != "pd") {
            if (report != nullptr) {
                report->problem = "\"" + words[0] + "\" is not a parameter item (a parameter file is given as /pd,FILE)";
            }
            return 1;
        }
        ParseText(settings, words[0]);
        return LoadFile(settings, MapPath(items[0].value), report);
    }
    const int result = ParseItems(settings, command_line, "command line", report);
    if (result != 0 && report != nullptr) report->problem = "command line: no parameter item in it";
    return result;
}

std::string SaveText(const Settings& settings) {
    std::string out;
    for (int k = 0; k < kKeyCount; ++k) {
        const KeyInfo& info = InfoOf(static_cast<Key>(k));
        out += "\n/rem,";
        out += info.comment;
        out += info.blank_before_colon ? " : " : ": ";
        out += info.count;
        out += " Parameter\n/";
        out += info.name;
        out += ",\"";
        out += settings.Raw(info.key);
        out += "\"\n";
    }
    return out;
}

int SaveFile(const Settings& settings, const std::string& path) {
    return WriteWhole(path, SaveText(settings)) ? 0 : 1;
}

void CopySettings(Settings& destination, const Settings& source) { destination = source; }

std::string DocumentText(const Settings& settings) {
    std::string out;
    for (Key key : kDocumentOrder) {
        out += settings.Raw(key);
        out += "\r\n";
    }
    return out;
}

int LoadDocumentText(Settings& settings, std::string_view bytes) {
    bytes = bytes.substr(0, kMaxDocumentBytes);
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            lines.push_back(bytes.substr(start, i - start));
            start = i + 1;
        }
    }
    if (start < bytes.size()) lines.push_back(bytes.substr(start));
    if (lines.size() != kDocumentOrder.size()) return 1;

    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        // The CR of our own line end; kept, it would pile up with every save.
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        settings.SetRaw(kDocumentOrder[i], line);
    }
    return 0;
}

int SaveDocumentFile(const Settings& settings, const std::string& path) {
    return WriteWhole(path, DocumentText(settings)) ? 0 : 1;
}

int LoadDocumentFile(Settings& settings, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return 1;
    std::string bytes(kMaxDocumentBytes, '\0');
    const size_t n = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    bytes.resize(n);
    return LoadDocumentText(settings, bytes);
}

}  // namespace zerlan
