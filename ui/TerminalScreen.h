// The character grid the terminal view draws on. The program uses curses
// (ui/CursesScreen); tests use a grid in memory, so the drawing can be
// checked without a terminal.
//
// Thread-safety: view thread only.
#pragma once

#include <string>
#include <vector>

namespace zerlan {

// Key codes beyond single bytes.
enum TerminalKey {
    kKeyNone = -1,
    kKeyUp = 0x101,
    kKeyDown,
    kKeyPageUp,
    kKeyPageDown,
    kKeyBackspace,
    kKeyResize,
    kKeyEscape = 27,
    kKeyEnter = '\n',
};

class TerminalScreen {
public:
    virtual ~TerminalScreen() = default;
    virtual int Rows() const = 0;
    virtual int Cols() const = 0;
    virtual void Clear() = 0;
    // UTF-8 text at (row, col), cut at the right edge; `inverse` for bars
    // and the title and help lines.
    virtual void Text(int row, int col, const std::string& text, bool inverse = false) = 0;
    virtual void Show() = 0;
    // The next key, waiting at most `timeout_ms`; kKeyNone when none came.
    virtual int ReadKey(int timeout_ms) = 0;
    // Gives the terminal back (an editor or pager runs) and takes it again.
    virtual void Suspend() {}
    virtual void Resume() {}
};

// A screen in memory: rows of characters, one byte per column.
class GridScreen : public TerminalScreen {
public:
    GridScreen(int rows, int cols) { Resize(rows, cols); }
    void Resize(int rows, int cols) {
        rows_ = rows;
        cols_ = cols;
        Clear();
    }
    int Rows() const override { return rows_; }
    int Cols() const override { return cols_; }
    void Clear() override { grid_.assign(static_cast<size_t>(rows_), std::string(static_cast<size_t>(cols_), ' ')); }
    void Text(int row, int col, const std::string& text, bool) override {
        if (row < 0 || row >= rows_ || col < 0) return;
        std::string& line = grid_[static_cast<size_t>(row)];
        for (size_t i = 0; i < text.size() && col + static_cast<int>(i) < cols_; ++i) {
            line[static_cast<size_t>(col) + i] = text[i];
        }
    }
    void Show() override {}
    int ReadKey(int) override {
        if (keys_.empty()) return kKeyNone;
        const int k = keys_.front();
        keys_.erase(keys_.begin());
        return k;
    }
    void Press(int key) { keys_.push_back(key); }
    const std::vector<std::string>& Lines() const { return grid_; }
    std::string All() const {
        std::string all;
        for (const auto& l : grid_) all += l + "\n";
        return all;
    }

private:
    int rows_ = 0;
    int cols_ = 0;
    std::vector<std::string> grid_;
    std::vector<int> keys_;
};

}  // namespace zerlan
