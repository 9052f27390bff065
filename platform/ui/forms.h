#pragma once
// TForm: a top-level window with its focus manager. A screen is a class deriving from TForm that
// creates its components in its constructor (Owner and Parent the form) and assigns handlers.
#include "platform/ui/control.h"

#include <functional>

namespace kdr {

enum class TFormStyle { fsNormal, fsMDIChild };
using enum TFormStyle;
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
using enum TWindowState;
// How an MDI frame last arranged its children: overlapping from the top left, or side by side.
enum class TMDIArrangement { maNone, maCascade, maTile };
using enum TMDIArrangement;
enum class TCloseAction { caNone, caHide, caFree, caMinimize };
using enum TCloseAction;

using TCloseEvent = std::function<void(TComponent *Sender, TCloseAction &Action)>;
using TCloseQueryEvent = std::function<void(TComponent *Sender, bool &CanClose)>;

class TForm : public TWinControl {
public:
  explicit TForm(TComponent *owner);
  ~TForm() override;
  std::string className() const override { return "TForm"; }
  bool focusOnClick() const override { return false; }

  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle s);
  TWindowState WindowState() const { return windowState_; }
  void SetWindowState(TWindowState s);
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int r);
  bool Modal() const { return modal_; }
  // The form hears a key (its OnKeyDown) before the focused control does; a key the form zeroes
  // goes no further. For a screen's own keys that no menu item carries.
  bool KeyPreview = false;
  // The MDI frame arranges its open children; a widget set without windows ignores it.
  void Cascade() { arrange(maCascade); }
  void Tile() { arrange(maTile); }
  TMDIArrangement Arrangement() const { return arrangement_; }

  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDestroy;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  // Runs OnCreate (an exception is reported, the form survives) and shows an MDI child. Called by
  // CreateForm and create(); Show and ShowModal call it when nobody did.
  void afterConstruction();
  template <class T, class... Args> static T *create(TComponent *owner, Args &&...args) {
    T *form = new T(owner, std::forward<Args>(args)...);
    form->afterConstruction();
    return form;
  }

  void Show();
  void Hide();
  int ShowModal();
  void Close();
  // Destroys the form after the running event, through the deferred queue.
  void Release();
  bool released() const { return released_; }

  // The control that has, or will get, the focus.
  TWinControl *ActiveControl() const { return activeControl_; }
  void SetActiveControl(TWinControl *c);
  // The control holding the focus now (null when none, or while the form is not active).
  TWinControl *focusedControl() const { return focusPoint_ == this ? nullptr : focusPoint_; }

  // The focus manager. Moves the focus to target with the exit and enter chains; handler
  // exceptions are reported at the dispatch boundary. Raises EInvalidOperation when the target
  // cannot take the focus. Returns true when the focus ended on target.
  bool focusControl(TWinControl *target);
  // Moves the focus to a container itself (a tab sheet being left); no checks of TabStop.
  bool focusContainer(TWinControl *target);
  // Tab and Shift+Tab: the next tab stop after from, in tab order, wrapping around.
  void selectNext(TWinControl *from, bool forward);
  // The first control that can take the focus inside container, in tab order, or null.
  TWinControl *firstTabStop(TWinControl *container) const;
  // A control or one of its ancestors became disabled, invisible or is going away: the focus
  // leaves it without events.
  void forgetControl(TControl *c);

  // Called by the application when the form becomes the active one.
  void activated();

  std::string dumpState() const override;

private:
  void arrange(TMDIArrangement a) {
    arrangement_ = a;
    changed(Prop::Arrange);
  }
  bool moveFocus(TWinControl *target);
  bool runHandler(TWinControl *node, bool enter);
  void closeModal();
  bool runCloseSteps(TCloseAction defaultAction, TCloseAction &action);

  TFormStyle formStyle_ = fsNormal;
  TWindowState windowState_ = wsNormal;
  TMDIArrangement arrangement_ = maNone;
  int modalResult_ = 0;
  bool modal_ = false;
  bool created_ = false;
  bool released_ = false;
  TWinControl *activeControl_ = nullptr;
  // Where the focus sits now; moves along the chains while a focus move runs.
  TWinControl *focusPoint_ = nullptr;
  // Counts focus moves, so a chain sees that a handler started another one.
  unsigned focusMoves_ = 0;
};

} // namespace kdr
