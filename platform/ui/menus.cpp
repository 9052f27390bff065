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

} // namespace kdr
