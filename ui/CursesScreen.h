// The terminal screen on curses (wide-character build, so UTF-8 texts show
// as they are). Only built when the curses library was found.
#pragma once

#include "ui/TerminalScreen.h"

namespace zerlan {

// True when this build has the full-screen view.
bool CursesAvailable();

class CursesScreen : public TerminalScreen {
public:
    CursesScreen();
    ~CursesScreen() override;
    CursesScreen(const CursesScreen&) = delete;
    CursesScreen& operator=(const CursesScreen&) = delete;

    int Rows() const override;
    int Cols() const override;
    void Clear() override;
    void Text(int row, int col, const std::string& text, bool inverse) override;
    void Show() override;
    int ReadKey(int timeout_ms) override;
    void Suspend() override;
    void Resume() override;
};

}  // namespace zerlan
