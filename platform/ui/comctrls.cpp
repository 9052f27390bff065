#include "platform/ui/comctrls.h"

#include <algorithm>

#include "platform/ui/forms.h"

namespace kdr {

TPageControl *TTabSheet::PageControl() const { return dynamic_cast<TPageControl *>(Parent()); }

void TTabSheet::SetPageControl(TPageControl *pc) { SetParent(pc); }

void TPageControl::controlAdded(TControl *c) {
  auto *sheet = dynamic_cast<TTabSheet *>(c);
  if (!sheet) return;
  sheet->SetVisible(active_ == nullptr);
  if (!active_) active_ = sheet;
}

void TPageControl::controlRemoved(TControl *c) {
  if (c != active_) return;
  auto pages = Pages();
  active_ = pages.empty() ? nullptr : pages.front();
  if (active_) active_->SetVisible(true);
}

TPageControl::TPageControl(TComponent *owner) : TWinControl(owner) { SetTabStop(true); }

std::vector<TTabSheet *> TPageControl::Pages() const {
  std::vector<TTabSheet *> pages;
  for (int i = 0; i < ControlCount(); ++i)
    if (auto *sheet = dynamic_cast<TTabSheet *>(Controls(i))) pages.push_back(sheet);
  return pages;
}

int TPageControl::TabIndex() const {
  auto pages = Pages();
  for (std::size_t i = 0; i < pages.size(); ++i)
    if (pages[i] == active_) return static_cast<int>(i);
  return -1;
}

bool TPageControl::switchTo(TTabSheet *page, bool byUser) {
  if (page == active_ || (page && page->Parent() != this)) return false;
  if (byUser) {
    if (!page || !page->Enabled()) return false;
    bool allow = true;
    if (OnChanging) OnChanging(this, allow);
    if (!allow) return false;
  }
  Ref<TPageControl> self(this);
  TForm *form = parentForm();
  TWinControl *focused = form ? form->focusedControl() : nullptr;
  const bool focusOnOldPage = active_ && focused && active_->contains(focused) && focused != active_;
  if (focusOnOldPage) {
    // The focus goes to the old sheet first; a handler that refocuses keeps the page.
    form->focusContainer(active_);
    if (!self || form->focusedControl() != active_) return false;
  }
  TTabSheet *old = active_;
  active_ = page;
  if (page) page->SetVisible(true);
  if (focusOnOldPage) {
    TWinControl *next = page ? form->firstTabStop(page) : nullptr;
    form->focusContainer(next ? next : this);
    if (!self) return true;
  }
  // Hidden last, so the focus leaves the old sheet through its exit rather than vanishing.
  if (old) old->SetVisible(false);
  changed(Prop::ActivePage);
  if (byUser && self && OnChange) OnChange(this);
  return true;
}

std::string TPageControl::dumpState() const {
  return TControl::dumpState() + " active=" + (active_ ? active_->Name() : std::string("none"));
}

void TProgressBar::SetProgress(int position, int max) {
  max = std::max(max, 0);
  position = std::clamp(position, 0, max);
  if (position == position_ && max == max_) return;
  position_ = position;
  max_ = max;
  changed(Prop::Contents);
}

std::string TProgressBar::dumpState() const {
  return TControl::dumpState() + " " + std::to_string(position_) + "/" + std::to_string(max_);
}

} // namespace kdr
