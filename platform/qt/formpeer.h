#pragma once
// A form's peer. The main form is the MDI frame: its controls dock around the MDI area, and MDI
// children live inside it as sub-windows. Other forms are windows of their own, application-modal
// while the model runs them modally.
#include "platform/qt/controlpeer.h"
#include "platform/ui/forms.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

class QEventLoop;
class QMenuBar;

namespace kdr::qt {

class FormPeer : public ControlPeer {
public:
  FormPeer(TForm &form, QWidget *content);
  ~FormPeer() override;

  TForm &form() const { return static_cast<TForm &>(control()); }
  QWidget *clientArea() const override { return widget(); }
  // The top-level window or MDI sub-window that holds the form.
  QWidget *window() const { return window_; }
  QMdiArea *mdiArea() const { return mdi_; }
  void setMenuBar(QMenuBar *bar);
  // A local event loop until the model's ModalResult is set, the form hides or it goes away.
  void runModal();

protected:
  void update(Prop p) override;
  void focusChanged(bool) override {}

private:
  void userClose();
  void userActivate(TForm *form);
  void show();

  QPointer<QWidget> window_;
  QPointer<QMdiSubWindow> sub_;
  QPointer<QMdiArea> mdi_;
  QEventLoop *loop_ = nullptr;
  bool sized_ = false;
};

} // namespace kdr::qt
