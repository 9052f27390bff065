#pragma once
// The base of every Qt peer. A peer mirrors its control into a widget and turns the widget's
// spontaneous input into calls on the model at the dispatch boundary. Model-to-widget updates run
// under an EchoGuard, so the signals and focus events they cause are never taken for user input.
#include "platform/ui/control.h"
#include "platform/ui/peer.h"

#include <QColor>
#include <QPalette>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QKeyEvent;
class QFocusEvent;

namespace kdr {
class TForm;
}

namespace kdr::qt {

QString qs(const std::string &s);
std::string utf8Of(const QString &s);
// The palette colour a model colour stands for (clWindow is the base, clInfoBk the tool-tip base,
// clBtnFace the button face); plain colours are $00BBGGRR.
QColor colorOf(TColor c);

// While one lives, widget signals and events are the model's own doing.
class EchoGuard {
public:
  EchoGuard() { ++depth_; }
  ~EchoGuard() { --depth_; }
  EchoGuard(const EchoGuard &) = delete;
  EchoGuard &operator=(const EchoGuard &) = delete;
  static bool active() { return depth_ > 0; }

private:
  static inline int depth_ = 0;
};

// Runs a user action at the dispatch boundary. Returns false when the component did not survive
// it (a handler released its form): the caller must then touch nothing of it.
bool deliver(TComponent &component, const std::function<void()> &action);

class ControlPeer : public ComponentPeer {
public:
  ControlPeer(TControl &control, QWidget *widget);
  ~ControlPeer() override;

  TControl &control() const { return control_; }
  QWidget *widget() const { return widget_; }
  // Where the children's widgets go; null for controls that hold none.
  virtual QWidget *clientArea() const { return nullptr; }
  // Places a child's widget in this container.
  virtual void adopt(ControlPeer &child);
  // Puts the widget into its parent's area and mirrors every property. Called once by the factory.
  void attach();

  void propertyChanged(Prop p) final;
  void focusChanged(bool focused) override;

  // The receiver of the widget's signals: it goes with the peer, so no signal reaches a dead peer
  // while its widget waits for deletion.
  QObject *context() const;

  // The peer of a widget made by this widget set, or null.
  static ControlPeer *of(const QWidget *w);
  // Gives the Qt focus to the control the form's focus manager holds.
  static void showModelFocus(TForm &form);

protected:
  // Mirrors one property; runs under the guard.
  virtual void update(Prop p);
  // The palette role that shows the control's Color (the base of inputs, the window of containers).
  void mirrorColor(QPalette::ColorRole role) { colorRole_ = role; }
  // Windowed controls that take keys say so; their widget's key presses go to the model.
  void takeKeys();
  // A key the model did not consume: true when Qt may still process it (moving in a list).
  virtual bool qtMayHandle(const QKeyEvent &) const { return false; }
  // A key the peer answers itself before the model hears it (opening a drop-down list); true when taken.
  virtual bool specialKey(const QKeyEvent &) { return false; }
  // Text pasted by the user; it reaches the model one character at a time through KeyPress.
  void typeText(const QString &text);
  // A windowed control asks the focus manager for the focus; false when it was refused.
  bool requestFocus();

private:
  class Bridge;
  friend class Bridge;
  bool handleKey(QKeyEvent &e);
  void handleFocusIn(QFocusEvent &e);

  TControl &control_;
  QPointer<QWidget> widget_;
  std::unique_ptr<Bridge> bridge_;
  QPalette::ColorRole colorRole_ = QPalette::NoRole;
  bool keys_ = false;
  bool swallowMouse_ = false;
};

} // namespace kdr::qt
