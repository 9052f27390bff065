#pragma once
// Menus. A menu item is a component (found by name) with a caption, Enabled, Checked and OnClick;
// a caption of "-" is a separator.
#include "platform/ui/control.h"

#include <vector>

namespace kdr {

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
  TMenuItem *parent_ = nullptr;
  std::vector<TMenuItem *> items_;
};

class TMainMenu : public TComponent {
public:
  explicit TMainMenu(TComponent *owner);
  std::string className() const override { return "TMainMenu"; }
  // The invisible root whose children are the menu bar's entries.
  TMenuItem *Items() const { return root_; }

private:
  TMenuItem *root_;
};

} // namespace kdr
