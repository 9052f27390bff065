#pragma once
// Menus. A menu item is a component (found by name) with a caption, Enabled, Checked and OnClick;
// a caption of "-" is a separator.
#include "platform/ui/control.h"

#include <string>
#include <vector>

namespace kdr {

// A key with its shift state, as a menu item's ShortCut; 0 for none.
using TShortCut = int;
inline TShortCut ShortCut(int key, TShiftState shift = {}) {
  return key | static_cast<int>(shift.bits << 16);
}
// "Ctrl+I", "F5", "Ctrl+Shift+Del": as a menu shows it beside the caption.
std::string ShortCutToText(TShortCut shortCut);

class TMenuItem : public TComponent {
public:
  explicit TMenuItem(TComponent *owner) : TComponent(owner) {}
  std::string className() const override { return "TMenuItem"; }

  const std::string &Caption() const { return caption_; }
  void SetCaption(const std::string &s);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  bool Checked() const { return checked_; }
  void SetChecked(bool v);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  // The key that chooses the item from anywhere in its form.
  TShortCut ShortCut() const { return shortCut_; }
  void SetShortCut(TShortCut s);

  TMenuItem *Parent() const { return parent_; }
  const std::vector<TMenuItem *> &Items() const { return items_; }
  void Add(TMenuItem *item);
  void Remove(TMenuItem *item);
  // Enabled and visible here and on every parent item: a user can choose it.
  bool reachable() const;

  TNotifyEvent OnClick;
  void Click();

private:
  std::string caption_;
  bool enabled_ = true;
  bool checked_ = false;
  bool visible_ = true;
  TShortCut shortCut_ = 0;
  TMenuItem *parent_ = nullptr;
  std::vector<TMenuItem *> items_;
};

class TMainMenu : public TComponent {
public:
  explicit TMainMenu(TComponent *owner);
  std::string className() const override { return "TMainMenu"; }
  // The invisible root whose children are the menu bar's entries.
  TMenuItem *Items() const { return root_; }
  // The item a user can choose now whose ShortCut is the one given, or null.
  TMenuItem *itemOfShortCut(TShortCut shortCut) const;

private:
  TMenuItem *root_;
};

} // namespace kdr
