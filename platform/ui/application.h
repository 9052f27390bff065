#pragma once
// The application object: it owns the forms made through CreateForm, knows the main and the
// active form, reports exceptions that reach the dispatch boundary, and holds the deferred queue,
// the screen cursor, the wait indicator, the Dialogs service and the widget set.
#include "platform/rtl/component.h"
#include "platform/ui/dialogs.h"

#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace kdr {

class TForm;
class WidgetSet;

// A failure of the test or scenario itself (a dialog nobody expected, a modal form left open).
// It is deliberately not a kdr::Exception: the dispatch boundary lets it through.
class ScriptFailure : public std::logic_error {
public:
  using std::logic_error::logic_error;
};

enum class TCursor { crDefault, crHourGlass };
using enum TCursor;

class TScreen {
public:
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor c);
  std::function<void(TCursor)> onCursorChange; // for the widget set

private:
  TCursor cursor_ = crDefault;
};

// The "please wait" animation. Off when it is not on does nothing.
class WaitIndicator {
public:
  void on();
  void off();
  bool isOn() const { return on_; }
  int timesShown() const { return shown_; }
  std::function<void(bool)> onChange; // for the widget set

private:
  bool on_ = false;
  int shown_ = 0;
};

// Long work the user watches instead of a frozen window: what it is doing and how far it got.
// The caller's thread is busy meanwhile, so the widget set paints each change at once.
class ProgressIndicator {
public:
  void show(std::string text, std::size_t done, std::size_t total);
  void hide();
  bool isOn() const { return on_; }
  const std::string &text() const { return text_; }
  std::size_t done() const { return done_; }
  std::size_t total() const { return total_; }
  std::function<void()> onChange; // for the widget set

private:
  bool on_ = false;
  std::string text_;
  std::size_t done_ = 0, total_ = 0;
};

class TApplication : public TComponent {
public:
  TApplication();
  ~TApplication() override;
  std::string className() const override { return "TApplication"; }

  std::string Title;

  // Builds a form owned by the application and stores it in ref before its OnCreate runs, like
  // the classic CreateForm. The first form made this way becomes the main form.
  template <class T> void CreateForm(T *&ref) {
    T *form = new T(this);
    ref = form;
    formCreated(form);
  }
  TForm *MainForm() const { return mainForm_.get(); }
  void SetMainForm(TForm *f) { mainForm_ = f; }
  TForm *ActiveForm() const { return activeForm_.get(); }
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }

  // Shows the message of any exception but the silent abort through the Dialogs service.
  void HandleException(const std::exception &e);
  // Inside a catch block: reports the exception in flight, or rethrows a ScriptFailure.
  void reportCurrentException();

  Dialogs &dialogs();
  void setDialogs(Dialogs *d) { dialogs_ = d; }
  Dialogs *installedDialogs() const { return dialogs_; }

  WidgetSet *widgetSet() const { return widgetSet_.get(); }
  void SetWidgetSet(std::unique_ptr<WidgetSet> ws);

  TScreen &Screen() { return screen_; }
  WaitIndicator &Wait() { return wait_; }
  ProgressIndicator &Progress() { return progress_; }
  // Runs now and then while the desktop waits for its user (the widget set calls it; headless
  // nobody does): the main window shows there what goes on in the background.
  std::function<void()> OnIdle;

  // A fault only a developer can mend (a catalogue key the screen does not carry): the desktop
  // writes it to its error output and goes on; a scripted user fails the test on it. The text is
  // English, for the developer.
  void diagnose(const std::string &message);
  using DiagnosticSink = std::function<void(const std::string &)>;
  DiagnosticSink setDiagnosticSink(DiagnosticSink sink) {
    return std::exchange(diagnosticSink_, std::move(sink));
  }

  // Work that must run after the current event (a form's release).
  void defer(std::function<void()> work);
  std::size_t pendingDeferred() const { return deferred_.size(); }
  // Runs the deferred work, including work queued meanwhile; raises ScriptFailure when it never
  // empties (more than maxRounds rounds).
  void drainDeferred(int maxRounds = 1000);

  // Bookkeeping of forms, used by TForm.
  void activate(TForm *form);
  void pushModal(TForm *form);
  void popModal(TForm *form);
  TForm *modalForm() const;
  void formDestroyed(TForm *form);
  // Visible forms owned by the application, for teardown checks and the host's window list.
  std::vector<TForm *> forms() const;

  // Nesting depth of dispatch; the deferred queue is drained only when the outermost call ends.
  int dispatchDepth = 0;

  // Destroys every form and clears all state; tests call it between cases.
  void reset();

private:
  void formCreated(TForm *form);

  Ref<TForm> mainForm_;
  Ref<TForm> activeForm_;
  std::vector<Ref<TForm>> modal_;
  bool terminated_ = false;
  Dialogs *dialogs_ = nullptr;
  std::unique_ptr<WidgetSet> widgetSet_;
  TScreen screen_;
  WaitIndicator wait_;
  ProgressIndicator progress_;
  std::deque<std::function<void()>> deferred_;
  DiagnosticSink diagnosticSink_;
};

// The one application object.
TApplication &Application();
inline TScreen &Screen() { return Application().Screen(); }

// The dispatch boundary: runs fn as the event loop would run a handler. An exception is reported
// through Application().HandleException and swallowed (a ScriptFailure goes on); when the
// outermost dispatch ends, the deferred queue is drained. Returns false when fn raised.
bool dispatch(const std::function<void()> &fn);

} // namespace kdr
