#include "platform/ui/control.h"

#include "platform/ui/application.h"
#include "platform/ui/forms.h"
#include "platform/ui/peer.h"

#include <algorithm>
#include <cstdio>

namespace kdr {

std::string colorToString(TColor c) {
  switch (c) {
  case clWindow:
    return "clWindow";
  case clWindowText:
    return "clWindowText";
  case clHighlight:
    return "clHighlight";
  case clBtnFace:
    return "clBtnFace";
  case clInfoBk:
    return "clInfoBk";
  case clBlack:
    return "clBlack";
  case clWhite:
    return "clWhite";
  default:
    break;
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%08X", c);
  return buf;
}

// ---- TControl

TControl::TControl(TComponent *owner) : TComponent(owner) {}

TControl::~TControl() {
  setPeer(nullptr);
  SetParent(nullptr);
}

void TControl::SetParent(TWinControl *parent) {
  if (parent == parent_) return;
  if (parent_) {
    if (auto *form = parentForm()) form->forgetControl(this);
    auto &list = parent_->controls_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    parent_->controlRemoved(this);
  }
  parent_ = parent;
  if (parent_) {
    if (auto *win = dynamic_cast<TWinControl *>(this))
      win->tabOrder_ = static_cast<int>(parent_->tabList().size());
    parent_->controls_.push_back(this);
    parent_->controlAdded(this);
    if (parent_->peer()) ensurePeers();
  }
  changed(Prop::Parent);
}

void TControl::placeBefore(TControl *sibling) {
  if (!parent_ || !sibling || sibling->parent_ != parent_ || sibling == this)
    throw EInvalidOperation(Name() + " e o controle indicado não estão no mesmo contêiner");
  auto &list = parent_->controls_;
  list.erase(std::find(list.begin(), list.end(), this));
  list.insert(std::find(list.begin(), list.end(), sibling), this);
  changed(Prop::Order);
}

TForm *TControl::parentForm() const {
  for (const TControl *c = this; c; c = c->parent_)
    if (auto *f = dynamic_cast<const TForm *>(c)) return const_cast<TForm *>(f);
  return nullptr;
}

void TControl::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  if (!v)
    if (auto *form = parentForm(); form && form != this) form->forgetControl(this);
  changed(Prop::Enabled);
}

void TControl::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  if (!v)
    if (auto *form = parentForm(); form && form != this) form->forgetControl(this);
  changed(Prop::Visible);
}

bool TControl::reachable() const {
  for (const TControl *c = this; c; c = c->parent_) {
    if (dynamic_cast<const TForm *>(c)) return true;
    if (!c->enabled_ || !c->visible_) return false;
  }
  return false;
}

void TControl::SetColor(TColor c) {
  if (c == color_) return;
  color_ = c;
  changed(Prop::Color);
}

void TControl::SetText(const std::string &s) {
  if (s == text_) return;
  text_ = s;
  changed(Prop::Text);
  textChanged();
}

void TControl::SetHint(const std::string &s) {
  hint_ = s;
  changed(Prop::Hint);
}

void TControl::SetFontBold(bool b) {
  bold_ = b;
  changed(Prop::Font);
}

void TControl::SetAlign(TAlign a) {
  align_ = a;
  changed(Prop::Align);
}

void TControl::SetWidth(int w) {
  width_ = w;
  changed(Prop::Bounds);
}

void TControl::SetHeight(int h) {
  height_ = h;
  changed(Prop::Bounds);
}

void TControl::click() {
  if (OnClick) OnClick(this);
}

std::string TControl::dumpState() const {
  std::string s;
  if (!text_.empty()) s += " \"" + text_ + "\"";
  if (!enabled_) s += " disabled";
  if (!visible_) s += " hidden";
  if (bold_) s += " bold";
  return s;
}

void TControl::ensurePeers() {
  auto *ws = Application().widgetSet();
  if (!ws) return;
  if (!peer()) setPeer(ws->createPeer(*this));
  if (auto *win = dynamic_cast<TWinControl *>(this))
    for (auto *child : win->controls_) child->ensurePeers();
}

// ---- TWinControl

TWinControl::TWinControl(TComponent *owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  if (auto *form = parentForm(); form && form != this) form->forgetControl(this);
  DestroyComponents();
  setPeer(nullptr);
  for (auto *child : controls_) child->parent_ = nullptr;
  controls_.clear();
}

bool TWinControl::contains(const TControl *c) const {
  for (; c; c = c->Parent())
    if (c == this) return true;
  return false;
}

void TWinControl::SetLabelColumn(bool on) {
  if (labelColumn_ == on) return;
  labelColumn_ = on;
  changed(Prop::Layout);
}

void TWinControl::SetTabStop(bool v) {
  tabStop_ = v;
  changed(Prop::TabStop);
}

void TWinControl::SetTabOrder(int v) {
  tabOrder_ = v;
  // Keep the siblings' orders distinct: the ones at or after v move one down.
  if (auto *p = Parent())
    for (auto *sibling : p->tabList())
      if (sibling != this && sibling->tabOrder_ >= v) ++sibling->tabOrder_;
  changed(Prop::TabOrder);
}

std::vector<TWinControl *> TWinControl::tabList() const {
  std::vector<TWinControl *> list;
  for (auto *c : controls_)
    if (auto *w = dynamic_cast<TWinControl *>(c)) list.push_back(w);
  std::stable_sort(list.begin(), list.end(),
                   [](const TWinControl *a, const TWinControl *b) { return a->tabOrder_ < b->tabOrder_; });
  return list;
}

bool TWinControl::CanFocus() const { return parentForm() != nullptr && reachable(); }

bool TWinControl::Focused() const {
  auto *form = parentForm();
  return form && form->focusedControl() == this;
}

void TWinControl::SetFocus() {
  auto *form = parentForm();
  if (!form) throw EInvalidOperation("Não é possível focar um controle sem formulário (" + Name() + ")");
  form->focusControl(this);
}

void TWinControl::doEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::doExit() {
  if (OnExit) OnExit(this);
}

bool TWinControl::keyDown(int key, TShiftState shift) {
  Ref<TWinControl> self(this);
  if (OnKeyDown) OnKeyDown(this, key, shift);
  if (key == 0 || !self) return true;
  return defaultKeyDown(key, shift);
}

void TWinControl::keyPress(char32_t key) {
  Ref<TWinControl> self(this);
  if (OnKeyPress) OnKeyPress(this, key);
  if (key == 0 || !self) return;
  defaultKeyPress(key);
}

void TWinControl::focusChanged(bool) {
  if (auto *p = peer()) p->focusChanged(Focused());
}

} // namespace kdr
