#include "platform/qt/controlpeer.h"

#include "platform/qt/alignlayout.h"
#include "platform/qt/fontscale.h"
#include "platform/rtl/utf8.h"
#include "platform/ui/application.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/userdoor.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QHash>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QPalette>

namespace kdr::qt {

QString qs(const std::string &s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

std::string utf8Of(const QString &s) { return s.toUtf8().toStdString(); }

QColor colorOf(TColor c) {
  const QPalette palette = QApplication::palette();
  switch (c) {
  case clWindow:
    return palette.color(QPalette::Base);
  case clBtnFace:
    return palette.color(QPalette::Button);
  case clInfoBk:
    return palette.color(QPalette::ToolTipBase);
  case clWindowText:
    return palette.color(QPalette::Text);
  case clHighlight:
    return palette.color(QPalette::Highlight);
  default:
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
  }
}

bool deliver(TComponent &component, const std::function<void()> &action) {
  std::weak_ptr<void> alive = component.liveness();
  action();
  if (Application().Terminated()) QCoreApplication::quit();
  return !alive.expired();
}

namespace {

QHash<const QWidget *, ControlPeer *> &registry() {
  static QHash<const QWidget *, ControlPeer *> peers;
  return peers;
}

// The virtual key of a Qt key, as OnKeyDown sees it; 0 for keys it never sees.
int virtualKey(int key) {
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) return key;
  if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return 112 + (key - Qt::Key_F1);
  switch (key) {
  case Qt::Key_Backspace:
    return VK_BACK;
  case Qt::Key_Tab:
  case Qt::Key_Backtab:
    return VK_TAB;
  case Qt::Key_Return:
  case Qt::Key_Enter:
    return VK_RETURN;
  case Qt::Key_Escape:
    return VK_ESCAPE;
  case Qt::Key_Space:
    return 32;
  case Qt::Key_PageUp:
    return 33;
  case Qt::Key_PageDown:
    return 34;
  case Qt::Key_End:
    return VK_END;
  case Qt::Key_Home:
    return VK_HOME;
  case Qt::Key_Left:
    return VK_LEFT;
  case Qt::Key_Up:
    return VK_UP;
  case Qt::Key_Right:
    return VK_RIGHT;
  case Qt::Key_Down:
    return VK_DOWN;
  case Qt::Key_Insert:
    return VK_INSERT;
  case Qt::Key_Delete:
    return VK_DELETE;
  default:
    return 0;
  }
}

TShiftState shiftOf(Qt::KeyboardModifiers m) {
  TShiftState s;
  if (m & Qt::ShiftModifier) s.bits |= ssShift;
  if (m & Qt::AltModifier) s.bits |= ssAlt;
  if (m & Qt::ControlModifier) s.bits |= ssCtrl;
  return s;
}

// The character a key press types; 0 for none.
char32_t characterOf(const QKeyEvent &e) {
  const QString text = e.text();
  if (text.isEmpty()) return 0;
  std::string bytes = utf8Of(text);
  std::size_t i = 0;
  char32_t ch = utf8::decode(bytes, i);
  return ch;
}

} // namespace

// Receives the widget's events for the peer; deleted first, so a dying peer hears nothing more.
class ControlPeer::Bridge : public QObject {
public:
  explicit Bridge(ControlPeer &peer) : peer_(peer) {}

  bool eventFilter(QObject *watched, QEvent *e) override {
    if (watched != peer_.widget_ || EchoGuard::active()) return false;
    switch (e->type()) {
    case QEvent::KeyPress:
      return peer_.keys_ && e->spontaneous() && peer_.handleKey(*static_cast<QKeyEvent *>(e));
    case QEvent::ShortcutOverride: {
      // Editing shortcuts stay with the control, where the model decides about them; Alt and the
      // function keys are left to the menus.
      auto *key = static_cast<QKeyEvent *>(e);
      const bool menuKey =
          (key->modifiers() & Qt::AltModifier) || (key->key() >= Qt::Key_F1 && key->key() <= Qt::Key_F35);
      if (peer_.keys_ && !menuKey) e->accept();
      return false;
    }
    case QEvent::InputMethod:
      if (!peer_.keys_) return false;
      peer_.typeText(static_cast<QInputMethodEvent *>(e)->commitString());
      return true;
    case QEvent::FocusIn:
      peer_.handleFocusIn(*static_cast<QFocusEvent *>(e));
      return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      return peer_.swallowMouse_;
    case QEvent::MouseButtonRelease: {
      bool swallow = peer_.swallowMouse_;
      peer_.swallowMouse_ = false;
      return swallow;
    }
    case QEvent::Drop:
    case QEvent::DragEnter:
      return peer_.keys_;
    default:
      return false;
    }
  }

private:
  ControlPeer &peer_;
};

ControlPeer::ControlPeer(TControl &control, QWidget *widget)
    : control_(control), widget_(widget), bridge_(std::make_unique<Bridge>(*this)) {
  registry().insert(widget, this);
  widget->installEventFilter(bridge_.get());
}

ControlPeer::~ControlPeer() {
  bridge_.reset();
  if (QWidget *w = widget_) {
    registry().remove(w);
    EchoGuard guard;
    w->hide();
    // The widget may be in the middle of delivering the event whose handler released the form.
    w->deleteLater();
  }
}

QObject *ControlPeer::context() const { return bridge_.get(); }

ControlPeer *ControlPeer::of(const QWidget *w) { return registry().value(w, nullptr); }

void ControlPeer::attach() {
  EchoGuard guard;
  if (auto *parent = control_.Parent())
    if (auto *parentPeer = dynamic_cast<ControlPeer *>(parent->peer())) parentPeer->adopt(*this);
  for (Prop p :
       {Prop::Align,       Prop::Bounds,  Prop::Font,     Prop::Color,    Prop::Hint,       Prop::Items,
        Prop::Caption,     Prop::Text,    Prop::EditMask, Prop::ReadOnly, Prop::Checked,    Prop::ScrollBars,
        Prop::Glyph,       Prop::Columns, Prop::Options,  Prop::Contents, Prop::ActivePage, Prop::TabStop,
        Prop::WindowState, Prop::Enabled, Prop::Visible,  Prop::Layout})
    update(p);
}

void ControlPeer::adopt(ControlPeer &child) {
  QWidget *area = clientArea();
  QWidget *w = child.widget();
  if (!area || !w) return;
  w->setParent(area);
  if (area->layout()) area->layout()->addWidget(w);
}

void ControlPeer::propertyChanged(Prop p) {
  if (!widget_) return;
  EchoGuard guard;
  update(p);
}

void ControlPeer::update(Prop p) {
  QWidget *w = widget_;
  switch (p) {
  case Prop::Enabled:
    w->setEnabled(control_.Enabled());
    break;
  case Prop::Visible:
    // A widget not yet placed in a container would show as a window of its own.
    if (w->parentWidget()) w->setVisible(control_.Visible());
    break;
  case Prop::Hint:
    w->setToolTip(qs(control_.Hint()));
    break;
  case Prop::Color: {
    if (colorRole_ == QPalette::NoRole) break;
    // A container keeps the style's own face unless the model gives it another colour.
    if (colorRole_ == QPalette::Window) w->setAutoFillBackground(control_.Color() != clBtnFace);
    QPalette palette = w->palette();
    palette.setColor(colorRole_, colorOf(control_.Color()));
    w->setPalette(palette);
    break;
  }
  case Prop::Font: {
    QFont font = w->font();
    font.setBold(control_.FontBold());
    w->setFont(font);
    break;
  }
  case Prop::Align:
  case Prop::Bounds:
    w->setProperty(alignProperty, static_cast<int>(control_.Align()));
    w->setProperty(widthProperty, scaled(control_.Width()));
    w->setProperty(heightProperty, scaled(control_.Height()));
    w->updateGeometry();
    if (QWidget *parent = w->parentWidget(); parent && parent->layout()) parent->layout()->invalidate();
    break;
  case Prop::Layout:
    if (auto *win = dynamic_cast<TWinControl *>(&control_)) {
      w->setProperty(labelColumnProperty, win->LabelColumn());
      if (w->layout()) w->layout()->invalidate();
    }
    break;
  case Prop::Parent:
    if (auto *parent = control_.Parent())
      if (auto *parentPeer = dynamic_cast<ControlPeer *>(parent->peer())) {
        parentPeer->adopt(*this);
        w->setVisible(control_.Visible());
      }
    break;
  case Prop::TabStop:
    if (keys_)
      if (auto *win = dynamic_cast<TWinControl *>(&control_))
        w->setFocusPolicy(win->TabStop() ? Qt::StrongFocus : Qt::ClickFocus);
    break;
  default:
    break;
  }
}

void ControlPeer::focusChanged(bool focused) {
  if (!widget_ || !focused) return;
  EchoGuard guard;
  widget_->setFocus(Qt::OtherFocusReason);
}

void ControlPeer::showModelFocus(TForm &form) {
  TWinControl *target = form.focusedControl();
  auto *peer = target ? dynamic_cast<ControlPeer *>(target->peer()) : nullptr;
  if (!peer || !peer->widget_ || QApplication::focusWidget() == peer->widget_) return;
  EchoGuard guard;
  peer->widget_->setFocus(Qt::OtherFocusReason);
}

void ControlPeer::takeKeys() {
  keys_ = true;
  widget_->setAcceptDrops(false);
  widget_->setContextMenuPolicy(Qt::NoContextMenu);
}

bool ControlPeer::requestFocus() {
  auto *win = dynamic_cast<TWinControl *>(&control_);
  TForm *form = win ? win->parentForm() : nullptr;
  if (!form) return false;
  if (win->Focused() && Application().ActiveForm() == form) return true;
  std::weak_ptr<void> formAlive = form->liveness();
  bool granted = false;
  if (deliver(*win, [win, &granted] { granted = user::focus(*win); }) && granted) return true;
  if (!formAlive.expired()) showModelFocus(*form);
  return false;
}

void ControlPeer::handleFocusIn(QFocusEvent &e) {
  switch (e.reason()) {
  case Qt::MouseFocusReason:
  case Qt::TabFocusReason:
  case Qt::BacktabFocusReason:
  case Qt::ShortcutFocusReason:
  case Qt::OtherFocusReason:
    if (!requestFocus() && e.reason() == Qt::MouseFocusReason) swallowMouse_ = true;
    break;
  default:
    break;
  }
}

void ControlPeer::typeText(const QString &text) {
  auto *win = dynamic_cast<TWinControl *>(&control_);
  if (!win) return;
  // Line breaks become Enter; other control characters are not typed.
  std::string bytes = utf8Of(text), typed;
  for (std::size_t i = 0; i < bytes.size();) {
    char32_t ch = utf8::decode(bytes, i);
    if (ch == U'\r') continue;
    if (ch == U'\n') ch = 13;
    if (ch >= 32 || ch == 13) utf8::append(typed, ch);
  }
  if (!typed.empty()) deliver(*win, [win, &typed] { user::type(*win, typed); });
}

bool ControlPeer::handleKey(QKeyEvent &e) {
  auto *win = dynamic_cast<TWinControl *>(&control_);
  if (!win) return false;
  if (specialKey(e)) return true;
  if (e.matches(QKeySequence::Copy)) return false;
  if (e.matches(QKeySequence::Paste)) {
    if (e.key() == Qt::Key_Insert && !deliver(*win, [win] { user::press(*win, VK_INSERT, ssShift); }))
      return true;
    typeText(QApplication::clipboard()->text());
    return true;
  }
  if (e.matches(QKeySequence::SelectAll)) {
    if (auto *edit = dynamic_cast<TCustomEdit *>(win)) deliver(*edit, [edit] { user::selectAll(*edit); });
    return false;
  }
  const int vk = virtualKey(e.key());
  const TShiftState shift = shiftOf(e.modifiers());
  if (qtMayHandle(e)) {
    // Moving inside a list or a text: the model hears the key first and Qt moves unless it was taken.
    bool consumed = false;
    if (!deliver(*win, [&] { dispatch([&] { consumed = win->keyDown(vk, shift); }); })) return true;
    return consumed;
  }
  if (vk && !deliver(*win, [win, vk, shift] { user::press(*win, vk, shift); })) return true;
  const char32_t ch = characterOf(e);
  const bool typing = ch >= 32 && !(e.modifiers() & (Qt::ControlModifier | Qt::AltModifier));
  if (typing) {
    std::string text;
    utf8::append(text, ch);
    deliver(*win, [win, &text] { user::type(*win, text); });
  }
  return true;
}

} // namespace kdr::qt
