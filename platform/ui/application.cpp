#include "platform/ui/application.h"

#include "platform/rtl/exceptions.h"
#include "platform/ui/forms.h"
#include "platform/ui/peer.h"

#include <algorithm>
#include <cstdio>

namespace kdr {

void TScreen::SetCursor(TCursor c) {
  cursor_ = c;
  if (onCursorChange) onCursorChange(c);
}

void WaitIndicator::on() {
  if (on_) return;
  on_ = true;
  ++shown_;
  if (onChange) onChange(true);
}

void WaitIndicator::off() {
  if (!on_) return;
  on_ = false;
  if (onChange) onChange(false);
}

void ProgressIndicator::show(std::string text, std::size_t done, std::size_t total) {
  on_ = true;
  text_ = std::move(text);
  done_ = done;
  total_ = total;
  if (onChange) onChange();
}

void ProgressIndicator::hide() {
  if (!on_) return;
  on_ = false;
  if (onChange) onChange();
}

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() { reset(); }

void TApplication::formCreated(TForm *form) {
  if (!mainForm_) mainForm_ = form;
  form->afterConstruction();
}

void TApplication::HandleException(const std::exception &e) {
  if (dynamic_cast<const EAbort *>(&e)) return;
  dialogs().messageDlg(Title, e.what(), mtError, {mbOK});
}

void TApplication::reportCurrentException() {
  try {
    throw;
  } catch (const ScriptFailure &) {
    throw;
  } catch (const std::exception &e) {
    HandleException(e);
  } catch (...) {
    HandleException(Exception("Erro desconhecido"));
  }
}

Dialogs &TApplication::dialogs() {
  if (!dialogs_) throw ScriptFailure("a dialog was opened but no Dialogs service is installed");
  return *dialogs_;
}

void TApplication::SetWidgetSet(std::unique_ptr<WidgetSet> ws) { widgetSet_ = std::move(ws); }

void TApplication::diagnose(const std::string &message) {
  if (diagnosticSink_)
    diagnosticSink_(message);
  else
    std::fprintf(stderr, "kdr: %s\n", message.c_str());
}

void TApplication::defer(std::function<void()> work) { deferred_.push_back(std::move(work)); }

void TApplication::drainDeferred(int maxRounds) {
  for (int round = 0; !deferred_.empty(); ++round) {
    if (round >= maxRounds) throw ScriptFailure("the deferred queue never empties");
    auto work = std::move(deferred_.front());
    deferred_.pop_front();
    try {
      work();
    } catch (...) {
      reportCurrentException();
    }
  }
}

void TApplication::activate(TForm *form) {
  if (activeForm_.get() == form) return;
  activeForm_ = form;
  if (form) form->activated();
}

void TApplication::pushModal(TForm *form) { modal_.emplace_back(form); }

void TApplication::popModal(TForm *form) {
  std::erase_if(modal_, [form](const Ref<TForm> &r) { return !r || r.get() == form; });
}

TForm *TApplication::modalForm() const {
  for (auto it = modal_.rbegin(); it != modal_.rend(); ++it)
    if (auto *f = it->get()) return f;
  return nullptr;
}

void TApplication::formDestroyed(TForm *form) {
  popModal(form);
  if (activeForm_.get() == form) activeForm_ = nullptr;
  if (mainForm_.get() == form) mainForm_ = nullptr;
}

std::vector<TForm *> TApplication::forms() const {
  std::vector<TForm *> list;
  for (int i = 0; i < ComponentCount(); ++i)
    if (auto *f = dynamic_cast<TForm *>(Components(i))) list.push_back(f);
  return list;
}

void TApplication::reset() {
  DestroyComponents();
  deferred_.clear();
  modal_.clear();
  mainForm_ = nullptr;
  activeForm_ = nullptr;
  terminated_ = false;
  dispatchDepth = 0;
  screen_ = TScreen();
  wait_ = WaitIndicator();
  progress_ = ProgressIndicator();
  OnIdle = nullptr;
}

TApplication &Application() {
  static TApplication app;
  return app;
}

bool dispatch(const std::function<void()> &fn) {
  auto &app = Application();
  bool ok = true;
  ++app.dispatchDepth;
  try {
    fn();
  } catch (...) {
    ok = false;
    try {
      app.reportCurrentException();
    } catch (...) {
      --app.dispatchDepth;
      throw;
    }
  }
  --app.dispatchDepth;
  if (app.dispatchDepth == 0) app.drainDeferred();
  return ok;
}

} // namespace kdr
