#include "platform/ui/userdoor.h"

#include "platform/rtl/utf8.h"
#include "platform/ui/application.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/dbctrls.h"
#include "platform/ui/dbgrids.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/stdctrls.h"

namespace kdr::user {

namespace {

// A modal form blocks every other form.
bool formUsable(const TForm *f) {
  if (!f || !f->Visible() || !f->Enabled() || f->released()) return false;
  const TForm *modal = Application().modalForm();
  return !modal || modal == f;
}

// Focus first (when it is not there yet); false when the focus did not arrive.
bool focused(TWinControl &c) {
  if (c.Focused()) return true;
  return focus(c);
}

char32_t characterOf(int key, TShiftState shift) {
  switch (key) {
  case VK_BACK:
    return 8;
  case VK_ESCAPE:
    return 27;
  case VK_RETURN:
    return shift.contains(ssCtrl) ? 10 : 13;
  default:
    return 0;
  }
}

// The item of the form's menus, or else of the main window's while the form is not modal, that the
// shortcut chooses.
TMenuItem *menuItemOfShortCut(TForm *form, TShortCut shortCut) {
  std::vector<TForm *> forms{form};
  if (form && !form->Modal() && Application().MainForm() != form) forms.push_back(Application().MainForm());
  for (TForm *f : forms)
    for (int i = 0; f && i < f->ComponentCount(); ++i)
      if (auto *menu = dynamic_cast<TMainMenu *>(f->Components(i)))
        if (TMenuItem *item = menu->itemOfShortCut(shortCut)) return item;
  return nullptr;
}

} // namespace

bool canReach(const TControl &c) { return c.reachable() && formUsable(c.parentForm()); }

bool focus(TWinControl &c) {
  if (!canReach(c)) return false;
  Ref<TWinControl> target(&c);
  dispatch([&] { c.parentForm()->focusControl(&c); });
  return target && c.Focused();
}

bool type(TWinControl &c, const std::string &text) {
  if (!focused(c)) return false;
  Ref<TWinControl> target(&c);
  for (std::size_t i = 0; i < text.size();) {
    char32_t ch = utf8::decode(text, i);
    if (!target || !c.Focused()) return false;
    dispatch([&] { c.keyPress(ch); });
  }
  return true;
}

bool press(TWinControl &c, int key, TShiftState shift) {
  if (!focused(c)) return false;
  Ref<TWinControl> target(&c);
  dispatch([&] {
    TForm *form = c.parentForm();
    // A menu's shortcut chooses its item before the control hears the key.
    if (TMenuItem *item = menuItemOfShortCut(form, ShortCut(key, shift))) return item->Click();
    if (form && form != &c && form->KeyPreview && form->OnKeyDown) {
      int previewed = key;
      form->OnKeyDown(form, previewed, shift);
      if (previewed == 0 || !target) return;
    }
    const bool consumed = c.keyDown(key, shift);
    if (!target) return;
    if (key == VK_TAB && !consumed) {
      if (form) form->selectNext(&c, !shift.contains(ssShift));
      return;
    }
    // The character of the key follows its key-down, as the message loop translates it.
    if (char32_t ch = characterOf(key, shift); ch && c.Focused()) c.keyPress(ch);
    // Esc nobody took closes a modal screen as its close box does.
    if (key == VK_ESCAPE && !consumed && target && form && form->Modal()) form->Close();
  });
  return true;
}

bool selectAll(TCustomEdit &e) {
  if (!focused(e)) return false;
  e.SelectAll();
  return true;
}

bool click(TControl &c) {
  if (!canReach(c)) return false;
  if (auto *win = dynamic_cast<TWinControl *>(&c); win && win->focusOnClick())
    if (!focused(*win)) return false;
  Ref<TControl> target(&c);
  if (!target) return false;
  dispatch([&] { c.click(); });
  return true;
}

bool choose(TComboBox &c, const std::string &item) {
  if (!focused(c)) return false;
  bool chosen = false;
  dispatch([&] { chosen = c.choose(item); });
  return chosen;
}

bool switchPage(TPageControl &pc, TTabSheet &page) {
  if (!canReach(pc)) return false;
  bool switched = false;
  dispatch([&] { switched = pc.userSelect(&page); });
  return switched;
}

bool clickMenu(TMenuItem &item) {
  if (!item.reachable()) return false;
  auto *form = dynamic_cast<TForm *>(item.Owner());
  if (form && !formUsable(form)) return false;
  dispatch([&] { item.Click(); });
  return true;
}

bool closeForm(TForm &f) {
  if (!formUsable(&f)) return false;
  dispatch([&] { f.Close(); });
  return true;
}

bool activateForm(TForm &f) {
  if (!formUsable(&f)) return false;
  dispatch([&] { Application().activate(&f); });
  return true;
}

bool clickCell(TDBGrid &g, std::size_t row, int col) {
  const bool wasFocused = g.Focused();
  if (!focused(g)) return false;
  auto *ds = g.dataSet();
  // The first click on the selected cell of an unfocused grid only brings the focus.
  if (!wasFocused && ds && ds->Active() && ds->currentDisplayRow() == row && g.SelectedIndex() == col)
    return true;
  dispatch([&] { g.clickCell(row, col); });
  return true;
}

bool choosePick(TDBGrid &g, const std::string &item) {
  if (!focused(g)) return false;
  bool chosen = false;
  dispatch([&] { chosen = g.choosePick(item); });
  return chosen;
}

bool pressEllipsis(TDBGrid &g) {
  if (!focused(g)) return false;
  bool pressed = false;
  dispatch([&] { pressed = g.pressEllipsis(); });
  return pressed;
}

bool clickNavigator(TDBNavigator &n, TNavigateBtn b) {
  if (!canReach(n) || !n.buttonEnabled(b)) return false;
  dispatch([&] { n.BtnClick(b); });
  return true;
}

} // namespace kdr::user
