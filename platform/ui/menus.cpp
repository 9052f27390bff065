#include "platform/ui/menus.h"

#include <algorithm>

namespace kdr {

void TMenuItem::SetCaption(const std::string &s) {
  caption_ = s;
  changed(Prop::Caption);
}

void TMenuItem::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  changed(Prop::Enabled);
}

void TMenuItem::SetChecked(bool v) {
  if (v == checked_) return;
  checked_ = v;
  changed(Prop::Checked);
}

void TMenuItem::SetVisible(bool v) {
  visible_ = v;
  changed(Prop::Visible);
}

void TMenuItem::SetShortCut(TShortCut s) {
  shortCut_ = s;
  changed(Prop::Caption);
}

void TMenuItem::Add(TMenuItem *item) {
  if (item->parent_) item->parent_->Remove(item);
  item->parent_ = this;
  items_.push_back(item);
  changed(Prop::Items);
}

void TMenuItem::Remove(TMenuItem *item) {
  items_.erase(std::remove(items_.begin(), items_.end(), item), items_.end());
  item->parent_ = nullptr;
  changed(Prop::Items);
}

bool TMenuItem::reachable() const {
  for (const TMenuItem *m = this; m; m = m->parent_)
    if (!m->enabled_ || !m->visible_) return false;
  return caption_ != "-";
}

void TMenuItem::Click() {
  if (OnClick) OnClick(this);
}

TMainMenu::TMainMenu(TComponent *owner) : TComponent(owner), root_(new TMenuItem(this)) {}

namespace {

TMenuItem *findShortCut(const TMenuItem &menu, TShortCut shortCut) {
  for (TMenuItem *item : menu.Items()) {
    if (item->ShortCut() == shortCut && item->reachable()) return item;
    if (TMenuItem *inside = findShortCut(*item, shortCut)) return inside;
  }
  return nullptr;
}

std::string keyName(int key) {
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return std::string(1, static_cast<char>(key));
  if (key >= 112 && key <= 123) return "F" + std::to_string(key - 111);
  switch (key) {
  case VK_RETURN:
    return "Return";
  case VK_ESCAPE:
    return "Esc";
  case VK_INSERT:
    return "Ins";
  case VK_DELETE:
    return "Del";
  default:
    return "#" + std::to_string(key);
  }
}

} // namespace

TMenuItem *TMainMenu::itemOfShortCut(TShortCut shortCut) const {
  return shortCut ? findShortCut(*root_, shortCut) : nullptr;
}

std::string ShortCutToText(TShortCut shortCut) {
  if (!shortCut) return {};
  const unsigned shift = static_cast<unsigned>(shortCut) >> 16;
  std::string text;
  if (shift & ssCtrl) text += "Ctrl+";
  if (shift & ssShift) text += "Shift+";
  if (shift & ssAlt) text += "Alt+";
  return text + keyName(shortCut & 0xFFFF);
}

} // namespace kdr
