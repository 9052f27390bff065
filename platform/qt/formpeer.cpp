#include "platform/qt/formpeer.h"

#include "platform/qt/alignlayout.h"
#include "platform/qt/fontscale.h"
#include "platform/qt/peers.h"
#include "platform/ui/application.h"
#include "platform/ui/userdoor.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QLayout>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>

#include <functional>

namespace kdr::qt {

namespace {

// A window whose close box and activation are offered to the model instead of acting on their own.
template <class Base> class HookedWindow : public Base {
public:
  using Base::Base;
  std::function<void()> onClose;
  std::function<void()> onActivate;

protected:
  void closeEvent(QCloseEvent *e) override {
    if (!onClose || EchoGuard::active()) return Base::closeEvent(e);
    e->ignore();
    auto run = onClose; // the handler may release the form and with it this hook
    run();
  }
  void changeEvent(QEvent *e) override {
    Base::changeEvent(e);
    if (e->type() != QEvent::ActivationChange || !this->isActiveWindow() || !onActivate ||
        EchoGuard::active())
      return;
    auto run = onActivate;
    run();
  }
};

using FormWindow = HookedWindow<QWidget>;
using FrameWindow = HookedWindow<QMainWindow>;
using ChildWindow = HookedWindow<QMdiSubWindow>;

template <class W> void clearHooks(QWidget *w) {
  if (auto *hooked = dynamic_cast<W *>(w)) {
    hooked->onClose = nullptr;
    hooked->onActivate = nullptr;
  }
}

FormPeer *frameOf(TForm &form) {
  TForm *main = Application().MainForm();
  if (!main || main == &form) return nullptr;
  auto *peer = dynamic_cast<FormPeer *>(main->peer());
  return peer && peer->mdiArea() ? peer : nullptr;
}

} // namespace

FormPeer::FormPeer(TForm &form, QWidget *content) : ControlPeer(form, content) {
  giveAlignLayout(content);
  if (form.FormStyle() == fsNormal && Application().MainForm() == &form) {
    auto *frame = new FrameWindow;
    frame->setCentralWidget(content);
    mdi_ = new QMdiArea;
    mdi_->setProperty(alignProperty, static_cast<int>(alClient));
    content->layout()->addWidget(mdi_);
    QObject::connect(mdi_, &QMdiArea::subWindowActivated, context(), [this](QMdiSubWindow *sub) {
      if (EchoGuard::active() || !sub) return;
      if (auto *peer = dynamic_cast<FormPeer *>(ControlPeer::of(sub->widget()))) userActivate(&peer->form());
    });
    frame->onClose = [this] { userClose(); };
    frame->onActivate = [this] {
      QMdiSubWindow *sub = mdi_ ? mdi_->activeSubWindow() : nullptr;
      auto *child = sub ? dynamic_cast<FormPeer *>(ControlPeer::of(sub->widget())) : nullptr;
      userActivate(child ? &child->form() : &this->form());
    };
    window_ = frame;
  } else if (FormPeer *frame = form.FormStyle() == fsMDIChild ? frameOf(form) : nullptr) {
    auto *sub = new ChildWindow;
    sub->setWidget(content);
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    frame->mdiArea()->addSubWindow(sub);
    sub->onClose = [this] { userClose(); };
    sub_ = sub;
    window_ = sub;
  } else if (auto *window = dynamic_cast<FormWindow *>(content)) {
    window->onClose = [this] { userClose(); };
    window->onActivate = [this] { userActivate(&this->form()); };
    window_ = window;
  }
}

FormPeer::~FormPeer() {
  if (loop_) loop_->quit();
  if (QWidget *w = window_) {
    clearHooks<FormWindow>(w);
    clearHooks<FrameWindow>(w);
    clearHooks<ChildWindow>(w);
    EchoGuard guard;
    w->hide();
    if (w != widget()) w->deleteLater();
  }
}

void FormPeer::setMenuBar(QMenuBar *bar) {
  if (auto *frame = dynamic_cast<QMainWindow *>(window_.data()))
    frame->setMenuBar(bar);
  else if (widget() && widget()->layout())
    widget()->layout()->setMenuBar(bar);
}

void FormPeer::userClose() {
  deliver(form(), [f = &form()] { user::closeForm(*f); });
}

void FormPeer::userActivate(TForm *f) {
  if (!f || Application().ActiveForm() == f) return;
  std::weak_ptr<void> alive = f->liveness();
  deliver(*f, [f] { user::activateForm(*f); });
  if (!alive.expired()) ControlPeer::showModelFocus(*f);
}

void FormPeer::show() {
  QWidget *w = window_;
  if (!sized_) {
    sized_ = true;
    if (form().Width() <= 0 || form().Height() <= 0)
      w->resize(w->sizeHint().expandedTo(mdi_ ? QSize(1024, 720) : sub_ ? QSize(760, 520) : QSize(480, 320)));
  }
  if (!sub_) w->setWindowModality(form().Modal() ? Qt::ApplicationModal : Qt::NonModal);
  switch (form().WindowState()) {
  case wsMaximized:
    w->showMaximized();
    break;
  case wsMinimized:
    w->showMinimized();
    break;
  case wsNormal:
    w->showNormal();
    break;
  }
  w->raise();
  if (sub_ && sub_->mdiArea())
    sub_->mdiArea()->setActiveSubWindow(sub_);
  else
    w->activateWindow();
}

void FormPeer::update(Prop p) {
  QWidget *w = window_;
  if (!w) return;
  switch (p) {
  case Prop::Visible:
    if (form().Visible()) {
      show();
    } else {
      w->hide();
      if (loop_) loop_->quit();
    }
    return;
  case Prop::WindowState:
    if (form().Visible()) show();
    return;
  case Prop::Text:
  case Prop::Caption:
    w->setWindowTitle(qs(form().Caption()));
    return;
  case Prop::Enabled:
    w->setEnabled(form().Enabled());
    return;
  case Prop::Bounds:
    if (form().Width() > 0 && form().Height() > 0) {
      w->resize(scaled(form().Width()), scaled(form().Height()));
      sized_ = true;
    }
    return;
  case Prop::ModalResult:
    if (loop_ && form().ModalResult() != 0) loop_->quit();
    return;
  case Prop::Arrange:
    if (mdi_) form().Arrangement() == maTile ? mdi_->tileSubWindows() : mdi_->cascadeSubWindows();
    return;
  case Prop::Align:
    return;
  default:
    ControlPeer::update(p);
  }
}

void FormPeer::runModal() {
  QEventLoop loop;
  loop_ = &loop;
  std::weak_ptr<void> alive = form().liveness();
  if (form().ModalResult() == 0 && form().Visible()) loop.exec(QEventLoop::DialogExec);
  if (!alive.expired()) loop_ = nullptr;
}

void runFormModal(TForm &form) {
  auto *peer = dynamic_cast<FormPeer *>(form.peer());
  if (!peer) {
    form.SetModalResult(mrCancel);
    return;
  }
  peer->runModal();
}

QWidget *windowOf(TForm &form) {
  auto *peer = dynamic_cast<FormPeer *>(form.peer());
  return peer ? peer->window() : nullptr;
}

std::unique_ptr<ControlPeer> makeFormPeer(TForm &form) {
  // A form that is neither the frame nor one of its children is a window of its own.
  const bool framed = Application().MainForm() == &form ? form.FormStyle() == fsNormal
                                                        : form.FormStyle() == fsMDIChild && frameOf(form);
  QWidget *content = framed ? new QWidget : new FormWindow(nullptr, Qt::Window);
  return std::make_unique<FormPeer>(form, content);
}

} // namespace kdr::qt
