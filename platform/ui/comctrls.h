#pragma once
// Page control and tab sheets. Only the sheet shown is visible, so the controls of the other
// sheets cannot take the focus. Only a user's switch fires OnChanging and OnChange.
#include "platform/ui/control.h"

#include <functional>
#include <vector>

namespace kdr {

class TPageControl;

class TTabSheet : public TWinControl {
public:
  explicit TTabSheet(TComponent *owner) : TWinControl(owner) {}
  std::string className() const override { return "TTabSheet"; }
  bool focusOnClick() const override { return false; }
  TPageControl *PageControl() const;
  // Places the sheet in a page control (its parent); the first sheet becomes the active page.
  void SetPageControl(TPageControl *pc);
};

class TPageControl : public TWinControl {
public:
  explicit TPageControl(TComponent *owner);
  std::string className() const override { return "TPageControl"; }

  std::vector<TTabSheet *> Pages() const;
  TTabSheet *ActivePage() const { return active_; }
  // Code shows a page: no OnChanging, no OnChange. A focused control on the old page is left
  // first; when its exit handler keeps the focus there, the page stays.
  void SetActivePage(TTabSheet *page) { switchTo(page, false); }
  int TabIndex() const;
  // The user clicks a tab: a disabled sheet cannot be chosen; OnChanging may refuse; OnChange
  // follows a switch. Returns true when the page changed.
  bool userSelect(TTabSheet *page) { return switchTo(page, true); }

  std::function<void(TComponent *Sender, bool &AllowChange)> OnChanging;
  TNotifyEvent OnChange;

  std::string dumpState() const override;

protected:
  void controlAdded(TControl *c) override;
  void controlRemoved(TControl *c) override;

private:
  bool switchTo(TTabSheet *page, bool byUser);
  TTabSheet *active_ = nullptr;
};

// A bar filled as far as Position goes from 0 to Max: how much of long work is done.
class TProgressBar : public TWinControl {
public:
  explicit TProgressBar(TComponent *owner) : TWinControl(owner) { SetTabStop(false); }
  std::string className() const override { return "TProgressBar"; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  // Position is kept between 0 and Max.
  void SetProgress(int position, int max);
  std::string dumpState() const override;

private:
  int max_ = 100;
  int position_ = 0;
};

} // namespace kdr
