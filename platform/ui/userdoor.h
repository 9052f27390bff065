#pragma once
// The user door: every user action is one call here, run at the dispatch boundary (an exception
// is reported and swallowed; the deferred queue is drained after the outermost action). An action
// on a control the user cannot reach (disabled or invisible itself or on the way up, on a page not
// shown, on a hidden form, or behind a modal form) does nothing and returns false. Tests, scenario
// files and the widget set's peers all come in through here.
#include "platform/ui/control.h"

#include <string>

namespace kdr {

class TCustomEdit;
class TComboBox;
class TPageControl;
class TTabSheet;
class TMenuItem;
class TForm;
class TDBGrid;
class TDBNavigator;
enum class TNavigateBtn;

namespace user {

// True when the user can reach the control now.
bool canReach(const TControl &c);

bool focus(TWinControl &c);
// Focuses c, then types each character through the KeyPress chain (a zeroed key does nothing).
bool type(TWinControl &c, const std::string &text);
// Focuses c, then presses a key: OnKeyDown and the control's own action, the character of Enter,
// Esc and Backspace through the KeyPress chain, and Tab moving to the next tab stop.
bool press(TWinControl &c, int key, TShiftState shift = {});
// Selects the whole text, as a double click does, so the next character replaces it.
bool selectAll(TCustomEdit &e);
// Focuses a windowed control (a flat button takes no focus), then clicks it.
bool click(TControl &c);
bool choose(TComboBox &c, const std::string &item);
bool switchPage(TPageControl &pc, TTabSheet &page);
bool clickMenu(TMenuItem &item);
bool closeForm(TForm &f);
// Brings a visible form to the front (its OnActivate runs).
bool activateForm(TForm &f);

// The grid: a click on a cell (row counts the rows shown, from 0), a pick-list choice in the
// selected cell, the "..." button of the selected cell.
bool clickCell(TDBGrid &g, std::size_t row, int col);
bool choosePick(TDBGrid &g, const std::string &item);
bool pressEllipsis(TDBGrid &g);
bool clickNavigator(TDBNavigator &n, TNavigateBtn b);

} // namespace user
} // namespace kdr
