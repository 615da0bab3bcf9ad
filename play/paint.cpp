#include "play/paint.h"

#include <curses.h>

namespace play {

void TakeKeys() {
    raw();
    noecho();
    keypad(stdscr, TRUE);
    nodelay(stdscr, TRUE);
    set_escdelay(25);
    curs_set(0);
}

void Paint(const Rendered& r) {
    erase();
    for (std::size_t i = 0; i < r.lines.size(); ++i) {
        const int row = static_cast<int>(i);
        const bool strong = row == r.selectedRow || row == r.titleRow;
        if (strong)
            attron(row == r.selectedRow ? A_REVERSE : A_BOLD);
        mvaddnstr(row, 0, r.lines[i].c_str(), COLS);
        if (strong)
            attroff(A_REVERSE | A_BOLD);
    }
    if (r.cursorRow >= 0) {
        curs_set(1);
        move(r.cursorRow, r.cursorCol);
    } else {
        curs_set(0);
    }
    refresh();
}

} // namespace play
