#include "platform/ui/dump.h"

#include "platform/ui/buttons.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/dbgrids.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/userdoor.h"

namespace kdr {

namespace {

std::string indent(int depth) { return std::string(std::size_t(depth) * 2, ' '); }

void dumpControl(TControl &c, int depth, std::string &out) {
  out += indent(depth) + c.Name() + " " + c.className() + c.dumpState() + "\n";
  if (auto *grid = dynamic_cast<TDBGrid *>(&c)) {
    std::string rows = grid->dumpRows();
    for (std::size_t start = 0; start < rows.size();) {
      std::size_t end = rows.find('\n', start);
      out += indent(depth + 1) + rows.substr(start, end - start) + "\n";
      start = end + 1;
    }
  }
  if (auto *win = dynamic_cast<TWinControl *>(&c))
    for (int i = 0; i < win->ControlCount(); ++i) dumpControl(*win->Controls(i), depth + 1, out);
}

void dumpMenu(const TMenuItem &item, int depth, std::string &out) {
  for (auto *child : item.Items()) {
    out += indent(depth) + child->Name() + " \"" + child->Caption() + "\"";
    if (!child->Enabled()) out += " disabled";
    if (child->Checked()) out += " checked";
    out += "\n";
    dumpMenu(*child, depth + 1, out);
  }
}

} // namespace

std::string dumpForm(TForm &form) {
  std::string out;
  dumpControl(form, 0, out);
  forEachOwned(form, [&](TComponent &c) {
    if (auto *menu = dynamic_cast<TMainMenu *>(&c)) {
      out += "menu " + menu->Name() + "\n";
      dumpMenu(*menu->Items(), 1, out);
    }
  });
  out += "focused: " + std::string(form.focusedControl() ? form.focusedControl()->Name() : "none") + "\n";
  forEachOwned(form, [&](TComponent &c) {
    if (auto *pc = dynamic_cast<TPageControl *>(&c))
      out += "page: " + pc->Name() + " = " + (pc->ActivePage() ? pc->ActivePage()->Name() : "none") + "\n";
  });
  std::string buttons;
  forEachOwned(form, [&](TComponent &c) {
    if (auto *b = dynamic_cast<TSpeedButton *>(&c); b && b->reachable()) buttons += " " + b->Name();
  });
  out += "buttons:" + buttons + "\n";
  return out;
}

} // namespace kdr
