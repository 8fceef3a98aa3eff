#include "ui/CursesScreen.h"

#ifdef ZERLAN_HAVE_CURSES
#include <curses.h>

#include <clocale>

namespace zerlan {

bool CursesAvailable() { return true; }

CursesScreen::CursesScreen() {
    std::setlocale(LC_ALL, "");
    initscr();
    cbreak();
    noecho();
    keypad(stdscr, TRUE);
    curs_set(0);
    set_escdelay(25);
}

CursesScreen::~CursesScreen() { endwin(); }

int CursesScreen::Rows() const { return LINES; }
int CursesScreen::Cols() const { return COLS; }
void CursesScreen::Clear() { erase(); }

void CursesScreen::Text(int row, int col, const std::string& text, bool inverse) {
    if (row < 0 || row >= LINES || col < 0 || col >= COLS) return;
    if (inverse) attron(A_REVERSE);
    mvaddnstr(row, col, text.c_str(), COLS - col);
    if (inverse) attroff(A_REVERSE);
}

void CursesScreen::Show() { refresh(); }

int CursesScreen::ReadKey(int timeout_ms) {
    timeout(timeout_ms);
    const int k = getch();
    switch (k) {
        case ERR: return kKeyNone;
        case KEY_UP: return kKeyUp;
        case KEY_DOWN: return kKeyDown;
        case KEY_PPAGE: return kKeyPageUp;
        case KEY_NPAGE: return kKeyPageDown;
        case KEY_BACKSPACE: case 127: case 8: return kKeyBackspace;
        case KEY_RESIZE: return kKeyResize;
        case KEY_ENTER: case '\r': return kKeyEnter;
        default: return k;
    }
}

void CursesScreen::Suspend() { endwin(); }
void CursesScreen::Resume() {
    refresh();
    clearok(stdscr, TRUE);
}

}  // namespace zerlan

#else

namespace zerlan {

bool CursesAvailable() { return false; }
CursesScreen::CursesScreen() {}
CursesScreen::~CursesScreen() {}
int CursesScreen::Rows() const { return 24; }
int CursesScreen::Cols() const { return 80; }
void CursesScreen::Clear() {}
void CursesScreen::Text(int, int, const std::string&, bool) {}
void CursesScreen::Show() {}
int CursesScreen::ReadKey(int) { return kKeyNone; }
void CursesScreen::Suspend() {}
void CursesScreen::Resume() {}

}  // namespace zerlan

#endif
