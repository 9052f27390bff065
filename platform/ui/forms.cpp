#include "platform/ui/forms.h"

#include "platform/ui/application.h"
#include "platform/ui/peer.h"

#include <algorithm>

namespace kdr {

namespace {

const char *const cannotFocus = "Não é possível focar uma janela desabilitada ou invisível";

// Every windowed control below container, depth first in tab order.
void collectTabOrder(const TWinControl *container, std::vector<TWinControl *> &out) {
  for (auto *child : container->tabList()) {
    out.push_back(child);
    collectTabOrder(child, out);
  }
}

bool isInside(const TControl *node, const TControl *ancestor) {
  for (; node; node = node->Parent())
    if (node == ancestor) return true;
  return false;
}

// Tells the peers of the old and the new focused control, when a move changed it.
class FocusNotice {
public:
  FocusNotice(TForm &form) : form_(&form), before_(form.focusedControl()) {}
  ~FocusNotice() {
    auto *form = form_.get();
    if (!form) return;
    auto *after = form->focusedControl();
    auto *before = before_.get();
    if (after == before) return;
    if (before) before->focusChanged(false);
    if (after) after->focusChanged(true);
  }

private:
  Ref<TForm> form_;
  Ref<TWinControl> before_;
};

} // namespace

TForm::TForm(TComponent *owner) : TWinControl(owner) { SetVisible(false); }

TForm::~TForm() {
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
      Application().reportCurrentException();
    }
  }
  activeControl_ = nullptr;
  focusPoint_ = nullptr;
  DestroyComponents();
  setPeer(nullptr);
  Application().formDestroyed(this);
}

void TForm::SetFormStyle(TFormStyle s) {
  formStyle_ = s;
  changed(Prop::FormStyle);
}

void TForm::SetWindowState(TWindowState s) {
  if (s == windowState_) return;
  windowState_ = s;
  changed(Prop::WindowState);
}

void TForm::SetModalResult(int r) {
  modalResult_ = r;
  changed(Prop::ModalResult);
}

void TForm::afterConstruction() {
  if (created_) return;
  created_ = true;
  if (OnCreate) {
    try {
      OnCreate(this);
    } catch (...) {
      Application().reportCurrentException();
    }
  }
  if (formStyle_ == fsMDIChild) Show();
}

void TForm::Show() {
  afterConstruction();
  ensurePeers();
  // Menus and other components that are not controls get their peers once the controls have theirs.
  if (auto *ws = Application().widgetSet())
    for (int i = 0; i < ComponentCount(); ++i)
      if (auto *c = Components(i); !c->peer() && !dynamic_cast<TControl *>(c)) c->setPeer(ws->createPeer(*c));
  if (!Visible()) {
    SetVisible(true);
    if (OnShow) OnShow(this);
  }
  Application().activate(this);
}

void TForm::Hide() {
  if (!Visible()) return;
  SetVisible(false);
  if (OnHide) OnHide(this);
  if (Application().ActiveForm() == this) Application().activate(nullptr);
}

int TForm::ShowModal() {
  afterConstruction();
  if (Visible() || formStyle_ == fsMDIChild || !Enabled())
    throw EInvalidOperation("Não é possível exibir como modal uma janela visível ou desabilitada");
  Ref<TForm> self(this);
  Ref<TForm> previous(Application().ActiveForm());
  modal_ = true;
  modalResult_ = 0;
  Application().pushModal(this);
  // Whatever way the modal run ends, the form stops being modal and the caller is active again.
  struct Restore {
    Ref<TForm> self, previous;
    ~Restore() {
      if (auto *f = self.get()) {
        f->modal_ = false;
        Application().popModal(f);
        f->Hide();
      }
      if (auto *p = previous.get(); p && p->Visible()) Application().activate(p);
    }
  } restore{self, previous};

  Show();
  do {
    Application().dialogs().runModal(*this);
    if (!self) return mrCancel;
    if (modalResult_ == 0) modalResult_ = mrCancel;
    closeModal();
  } while (self && modalResult_ == 0);
  return self ? modalResult_ : mrCancel;
}

bool TForm::runCloseSteps(TCloseAction defaultAction, TCloseAction &action) {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  if (!canClose) return false;
  action = defaultAction;
  if (OnClose) OnClose(this, action);
  return true;
}

void TForm::closeModal() {
  TCloseAction action = caHide;
  if (!runCloseSteps(caHide, action) || action == caNone) {
    modalResult_ = 0;
    return;
  }
  if (action == caFree) Release();
}

void TForm::Close() {
  if (modal_) {
    SetModalResult(mrCancel);
    return;
  }
  TCloseAction action = caHide;
  if (!runCloseSteps(formStyle_ == fsMDIChild ? caMinimize : caHide, action) || action == caNone) return;
  if (Application().MainForm() == this) {
    Application().Terminate();
    return;
  }
  switch (action) {
  case caHide:
    Hide();
    break;
  case caMinimize:
    SetWindowState(wsMinimized);
    break;
  case caFree:
    Release();
    break;
  case caNone:
    break;
  }
}

void TForm::Release() {
  if (released_) return;
  released_ = true;
  Ref<TForm> self(this);
  Application().defer([self] { delete self.get(); });
}

void TForm::SetActiveControl(TWinControl *c) {
  if (!c) {
    activeControl_ = nullptr;
    return;
  }
  if (c->parentForm() != this || !c->CanFocus())
    throw EInvalidOperation(std::string(cannotFocus) + " (" + c->Name() + ")");
  if (Visible() && Application().ActiveForm() == this)
    moveFocus(c);
  else
    activeControl_ = c;
}

bool TForm::focusControl(TWinControl *target) {
  if (!target || target->parentForm() != this || !Visible() || !Enabled() || !target->CanFocus())
    throw EInvalidOperation(std::string(cannotFocus) + (target ? " (" + target->Name() + ")" : ""));
  if (Application().ActiveForm() != this) {
    activeControl_ = target;
    Application().activate(this);
    if (focusPoint_ == target) return true;
  }
  return moveFocus(target);
}

bool TForm::focusContainer(TWinControl *target) {
  if (!target || target->parentForm() != this) return false;
  return moveFocus(target);
}

bool TForm::runHandler(TWinControl *node, bool enter) {
  try {
    if (enter)
      node->doEnter();
    else
      node->doExit();
    return true;
  } catch (...) {
    Application().reportCurrentException();
    return false;
  }
}

bool TForm::moveFocus(TWinControl *target) {
  if (target == focusPoint_ && target == activeControl_) return true;
  FocusNotice notice(*this);
  Ref<TForm> self(this);
  const unsigned move = ++focusMoves_;
  TWinControl *from = focusPoint_;
  Ref<TWinControl> fromRef(from);
  activeControl_ = target;

  // Exit chain, innermost first, up to the nearest container that holds the target.
  TWinControl *node = from;
  while (node && node != this && !node->contains(target)) {
    TWinControl *next = node->Parent();
    focusPoint_ = next;
    bool ok = runHandler(node, false);
    if (!self) return false;
    if (focusMoves_ != move) return false; // a handler moved the focus: this chain is abandoned
    if (!ok) {
      focusPoint_ = activeControl_ = fromRef.get();
      return false;
    }
    node = next;
  }

  // Enter chain, outermost first, from just below the common ancestor down to the target.
  TWinControl *common = node ? node : this;
  std::vector<TWinControl *> path;
  for (TWinControl *n = target; n && n != common; n = n->Parent()) path.push_back(n);
  for (auto it = path.rbegin(); it != path.rend(); ++it) {
    focusPoint_ = *it;
    bool ok = runHandler(*it, true);
    if (!self) return false;
    if (focusMoves_ != move) return false;
    if (!ok) break;
  }
  focusPoint_ = target;
  return true;
}

void TForm::selectNext(TWinControl *from, bool forward) {
  std::vector<TWinControl *> order;
  collectTabOrder(this, order);
  if (order.empty()) return;
  auto at = std::find(order.begin(), order.end(), from);
  std::size_t start = at == order.end() ? (forward ? order.size() - 1 : 0) : std::size_t(at - order.begin());
  const std::size_t n = order.size();
  for (std::size_t step = 1; step <= n; ++step) {
    std::size_t i = forward ? (start + step) % n : (start + n - step % n) % n;
    auto *c = order[i];
    if (c != from && c->TabStop() && c->CanFocus()) {
      focusControl(c);
      return;
    }
  }
}

TWinControl *TForm::firstTabStop(TWinControl *container) const {
  std::vector<TWinControl *> order;
  collectTabOrder(container, order);
  for (auto *c : order)
    if (c->TabStop() && c->CanFocus()) return c;
  return nullptr;
}

void TForm::forgetControl(TControl *c) {
  if (!c || c == this) return;
  if (isInside(focusPoint_, c)) focusPoint_ = nullptr;
  if (isInside(activeControl_, c)) activeControl_ = nullptr;
}

void TForm::activated() {
  if (OnActivate) {
    try {
      OnActivate(this);
    } catch (...) {
      Application().reportCurrentException();
    }
  }
  if (focusPoint_ && focusPoint_ == activeControl_) return;
  TWinControl *target = activeControl_ && activeControl_->CanFocus() ? activeControl_ : firstTabStop(this);
  if (target) moveFocus(target);
}

std::string TForm::dumpState() const {
  std::string s = " \"" + Caption() + "\"";
  if (!Visible()) s += " hidden";
  if (modal_) s += " modal";
  if (formStyle_ == fsMDIChild) s += " mdichild";
  if (windowState_ == wsMinimized) s += " minimized";
  if (windowState_ == wsMaximized) s += " maximized";
  return s;
}

} // namespace kdr
