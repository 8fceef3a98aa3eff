// The modem-script interpreter of CComDevice.
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "transport/ComDevice.h"

namespace zerlan {

namespace {

constexpr size_t kMaxLine = 950;
constexpr int kAnswerPortion = 1700;
constexpr size_t kAnswerRestartAt = 479;
constexpr int kAnswerRestartsGiveUp = 3;
constexpr int kJumpPauseMs = 2000;
constexpr int kReopenPauseMs = 100;
constexpr int kEndPauseMs = 500;
constexpr int kGotoPauseMs = 1000;

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    for (char c : line) {
        if (c == ' ' || c == '\t') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

bool ReadScript(const std::string& path, std::vector<std::string>* lines) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > kMaxLine) line.resize(kMaxLine);
        lines->push_back(line);
    }
    return true;
}

char Translated(unsigned char c) {
    switch (c) {
        case 0xBB: return 2;
        case 0xAB: return 3;
        case 0xAE: return 4;
        case '@': return 27;
        case 0xA1: return '\r';
        case 0xF1: return '\n';
        default: return static_cast<char>(c);
    }
}

// The answer as compared: without its control characters.
std::string Printable(const std::string& answer) {
    std::string out;
    for (char c : answer) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u >= 32 && u != 127) out += c;
    }
    return out;
}

bool AsksForKey(const std::string& answer) {
    return answer.find("key") != std::string::npos || answer.find("Key") != std::string::npos ||
           answer.find("continue") != std::string::npos;
}

}  // namespace

AnswerTable ParseAnswerTable(const std::string& line) {
    AnswerTable table;
    for (const std::string& entry : Words(line)) {
        const size_t comma = entry.find(',');
        if (comma == std::string::npos) continue;
        const int line_no = std::atoi(entry.substr(0, comma).c_str());
        const std::string value = entry.substr(comma + 1);
        if (value == "StrgZ" || value == "\"StrgZ\"") {
            table.ctrl_z[line_no] = true;
        } else if (!value.empty() && value[0] == '"') {
            const size_t close = value.find('"', 1);
            if (close == std::string::npos) continue;
            AnswerTable::Answer answer;
            answer.text = value.substr(1, close - 1);
            for (char& c : answer.text) {
                if (c == '_') c = ' ';
            }
            answer.result = std::atoi(value.c_str() + close + 1);
            if (answer.result < 1) answer.result = 1;
            table.answers[line_no].push_back(answer);
        } else {
            table.wait_seconds[line_no] = std::atoi(value.c_str());
        }
    }
    return table;
}

std::string TranslateCommand(const std::string& line, bool ctrl_z) {
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '|') return out;
        const size_t close = c == '"' && (i == 0 || line[i - 1] != '\\') ? line.find('"', i + 1) : std::string::npos;
        if (close == std::string::npos) {
            out += Translated(static_cast<unsigned char>(c));
            continue;
        }
        const std::string word = line.substr(i + 1, close - i - 1);
        i = close;
        if (word == "Null") return out;
        if (word == "CrLf") {
            out += "\r\n";
        } else if (word == "Cr") {
            out += '\r';
        } else if (word == "Lf") {
            out += '\n';
        } else if (word == "\\2" || word == "\\3" || word == "\\4") {
            out += static_cast<char>(word[1] - '0');
        } else if (word == "Esc") {
            out += '\x1b';
        } else {
            for (char w : word) out += Translated(static_cast<unsigned char>(w));
        }
    }
    if (ctrl_z) out += '\x1a';
    out += '\r';
    return out;
}

CComDevice::Outcome CComDevice::AwaitAnswer(const std::vector<AnswerTable::Answer>& expected, bool no_timeout,
                                            bool send_allowed, int* jump) {
    Clock& clock = Clock::Get();
    int64_t start = clock.MonotonicMs();
    std::string answer;
    // Every third empty read adds a "," shown with the next text, so that
    // the log gets a line per event rather than one per comma.
    std::string progress;
    int reads = 0, restarts = 0, key_returns = 0;
    while (true) {
        if (Stopped()) return Outcome::kStop;
        const int n = Read(kAnswerPortion);
        if (++reads % 3 == 0) progress += ",";
        if (n > 0) {
            const std::string portion(received(), static_cast<size_t>(n));
            Show(progress + "!" + portion);
            progress.clear();
            answer += portion;
            if (answer.size() >= kAnswerRestartAt) {
                answer.clear();
                if (++restarts == kAnswerRestartsGiveUp) {
                    Show(" Timeout ----> \r\n to match Character from Modem ...\r\n probable Modemerror ...");
                    return Outcome::kNext;
                }
            }
            continue;
        }
        if (!no_timeout && clock.MonotonicMs() - start > kAnswerTimeoutMs) {
            Show(progress + answer + " Timeout ---->\r\n not Answer from Modem ...\r\n or String is not in use ...");
            return Outcome::kNext;
        }
        if (answer.empty()) continue;
        const std::string printable = Printable(answer);
        for (const AnswerTable::Answer& a : expected) {
            if (printable.find(a.text) == std::string::npos) continue;
            if (!progress.empty()) Show(progress);
            if (a.result == 1) return Outcome::kNext;
            if (a.result == 2) return Outcome::kRestart;
            *jump = a.result;
            return Outcome::kJump;
        }
        // A prompt such as "press any key to continue" gets one CR; the
        // prompt is then forgotten, or it would be answered on every read.
        if (AsksForKey(answer) && key_returns < kMaxKeyReturns) {
            ++key_returns;
            if (send_allowed) Write("\r", 1);
            answer.clear();
            start = clock.MonotonicMs();
        }
    }
}

int CComDevice::RunScript(const std::string& script_path, PortSettings& settings, bool keep_open) {
    Show("\r\nCommand/Bef-File-Evaluation start:\r\n");
    loop_counter_ = -1;
    while (true) {  // once per run of the script from its start
        std::vector<std::string> lines;
        if (!ReadScript(MapPath(script_path), &lines)) {
            Show("Command/Bef-File " + script_path + " is not available !\r\n");
            return 2;
        }
        Open(settings);
        const int count = static_cast<int>(lines.size());
        AnswerTable table;
        bool send = true, no_timeout = false, reopen = false, restart = false;
        int next = 1, previous = 0;
        while (!restart) {
            if (Stopped()) {
                Close();
                return 1;
            }
            const auto waited = table.wait_seconds.find(previous);
            if (waited != table.wait_seconds.end() && !Wait(waited->second * 1000)) {
                Close();
                return 1;
            }
            if (reopen) {
                if (!Wait(kReopenPauseMs)) {
                    Close();
                    return 1;
                }
                Open(settings);
                reopen = false;
            }
            if (next > count) {
                Show(" Modem/Command-controling is finished ...\r\n");
                if (!keep_open) Close();
                Wait(kEndPauseMs);
                return 0;
            }
            const int current = next++;
            previous = current;
            const std::string& line = lines[static_cast<size_t>(current - 1)];
            if (current == 1) {
                table = ParseAnswerTable(line);
                continue;
            }
            if (!line.empty() && line[0] == '#') {
                Show(line + "\r\n");
                continue;
            }
            const std::vector<std::string> words = Words(line);
            const std::string keyword = words.empty() ? std::string() : words[0];
            if (keyword == "COMPORT" || keyword == "CALL" || keyword == "GOLINE" || keyword == "LOOP" ||
                keyword == "NOCOMMAND" || keyword == "WHILE" || keyword == "ENDBEF") {
                Show(line + "\r\n");
            }
            if (keyword == "COMPORT") {
                if (words.size() == 6 || words.size() == 7) {
                    settings = PortSettings{words[1], words[2], words[3], words[4], words[5],
                                            words.size() == 7 ? words[6] : std::string()};
                    Close();
                    if (!Wait(kReopenPauseMs)) return 1;
                    Open(settings);
                }
            } else if (keyword == "CALL") {
                if (words.size() >= 2) {
                    SpawnDetached(MapPath(words[1]), std::vector<std::string>(words.begin() + 2, words.end()));
                }
            } else if (keyword == "GOLINE") {
                const int target = words.size() == 2 ? std::atoi(words[1].c_str()) : 0;
                if (target >= 2 && target <= count) {
                    if (!Wait(kJumpPauseMs)) {
                        Close();
                        return 1;
                    }
                    next = target;
                }
            } else if (keyword == "LOOP") {
                if (words.size() == 4 && words[2] == "TO") {
                    if (loop_counter_ < 0) loop_counter_ = std::atoi(words[1].c_str());
                    const int target = std::atoi(words[3].c_str());
                    if (loop_counter_ > 0 && target >= 2 && target <= count) {
                        if (!Wait(kJumpPauseMs)) {
                            Close();
                            return 1;
                        }
                        --loop_counter_;
                        next = target;
                    }
                }
            } else if (keyword == "NOCOMMAND") {
                send = false;
            } else if (keyword == "WHILE") {
                send = false;
                no_timeout = true;
            } else if (keyword == "ENDBEF") {
                if (!keep_open) Close();
                return 0;
            } else {
                Show(line + "-  ");
                if (send) {
                    const std::string bytes = TranslateCommand(line, table.ctrl_z.count(current) != 0);
                    if (!bytes.empty() && Write(bytes.data(), static_cast<int>(bytes.size())) == 0) {
                        Close();
                        reopen = true;
                        continue;
                    }
                }
                const auto expected = table.answers.find(current);
                if (expected == table.answers.end()) continue;
                int jump = 0;
                switch (AwaitAnswer(expected->second, no_timeout, send, &jump)) {
                    case Outcome::kStop:
                        Close();
                        return 1;
                    case Outcome::kRestart:
                        Close();
                        if (!Wait(kEndPauseMs)) return 1;
                        restart = true;
                        break;
                    case Outcome::kJump: {
                        char text[40];
                        std::snprintf(text, sizeof text, "to Line %i", jump);
                        Show(text);
                        if (!Wait(kGotoPauseMs)) {
                            Close();
                            return 1;
                        }
                        if (jump <= count) next = jump;
                        break;
                    }
                    case Outcome::kNext:
                        break;
                }
            }
        }
    }
}

}  // namespace zerlan
