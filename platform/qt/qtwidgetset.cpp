#include "platform/qt/qtwidgetset.h"

#include "platform/qt/peers.h"
#include "platform/qt/qtdialogs.h"
#include "platform/ui/application.h"
#include "platform/ui/forms.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QPixmap>
#include <QTimer>

namespace kdr::qt {

std::unique_ptr<ComponentPeer> QtWidgetSet::createPeer(TComponent &component) {
  std::unique_ptr<ControlPeer> peer;
  if (auto *form = dynamic_cast<TForm *>(&component))
    peer = makeFormPeer(*form);
  else if (auto *control = dynamic_cast<TControl *>(&component))
    peer = makeDataPeer(*control);
  else
    return makeMenuPeer(component);
  if (!peer) peer = makeStandardPeer(static_cast<TControl &>(component));
  peer->attach();
  return peer;
}

namespace {

struct Installation {
  std::unique_ptr<QApplication> app; // only when install() made it
  QtDialogs dialogs;
  WaitOverlay wait;
  ProgressOverlay progress;
  QMetaObject::Connection drain;
  // Calls the application's OnIdle now and then while the desktop waits for its user.
  QTimer idle;
};
Installation *installed = nullptr;

// The application object forgets these hooks when it is reset, so install() sets them every time.
void hookIndicators() {
  Application().Wait().onChange = [](bool on) {
    if (installed) installed->wait.show(on);
  };
  Application().Screen().onCursorChange = [](TCursor c) {
    if (installed) installed->wait.busyCursor(c == crHourGlass);
  };
  Application().Progress().onChange = [] {
    if (installed) installed->progress.show(Application().Progress());
  };
}

// Only between user actions: a modal screen's own loop runs inside one and is left alone.
void runIdle() {
  auto &app = Application();
  if (app.dispatchDepth == 0 && app.OnIdle)
    dispatch([&app] {
      if (app.OnIdle) app.OnIdle();
    });
}

// Deferred work (a form's release) runs when the event loop is about to wait, never inside a
// running event handler.
void drainWhenIdle() {
  auto &app = Application();
  if (app.dispatchDepth == 0 && app.pendingDeferred() > 0) dispatch([] {});
  if (app.Terminated()) QCoreApplication::quit();
}

} // namespace

QtWidgetSet *install(int &argc, char **argv) {
  if (!installed) installed = new Installation;
  if (!QApplication::instance()) {
    installed->app = std::make_unique<QApplication>(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
  }
  QApplication::setQuitOnLastWindowClosed(false);
  auto widgetSet = std::make_unique<QtWidgetSet>();
  QtWidgetSet *raw = widgetSet.get();
  Application().SetWidgetSet(std::move(widgetSet));
  Application().setDialogs(&installed->dialogs);
  hookIndicators();
  if (!installed->idle.isActive()) {
    installed->idle.setInterval(500);
    QObject::connect(&installed->idle, &QTimer::timeout, &runIdle);
    installed->idle.start();
  }
  if (!installed->drain)
    if (auto *dispatcher = QAbstractEventDispatcher::instance())
      installed->drain =
          QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &drainWhenIdle);
  return raw;
}

int exec() {
  if (TForm *main = Application().MainForm(); main && !main->Visible()) dispatch([main] { main->Show(); });
  if (Application().Terminated()) return 0;
  return QApplication::exec();
}

bool screenshotForm(TForm &form, const std::string &path) {
  QWidget *window = windowOf(form);
  if (!window) return false;
  // Layout requests are posted events: settle them so the picture shows the final geometry.
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  if (QWidget *top = window->window()) window = top;
  return window->grab().save(qs(path), "PNG");
}

// The window the user faces: a screen in a window of its own (a routine screen, a modal one) when
// it is the active one, else the main window with its children.
bool screenshot(const std::string &path) {
  TForm *form = Application().ActiveForm();
  if (!form || form == Application().MainForm() || form->FormStyle() == fsMDIChild || !windowOf(*form))
    form = Application().MainForm();
  if (!form || !windowOf(*form)) form = Application().ActiveForm();
  return form && screenshotForm(*form, path);
}

void shutdown() {
  if (!installed) return;
  Application().reset();
  Application().SetWidgetSet(nullptr);
  if (Application().installedDialogs() == &installed->dialogs) Application().setDialogs(nullptr);
  Application().Wait().onChange = nullptr;
  Application().Screen().onCursorChange = nullptr;
  Application().Progress().onChange = nullptr;
  Application().OnIdle = nullptr;
  installed->idle.stop();
  QObject::disconnect(installed->drain);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  forgetStandardIcons();
  delete installed;
  installed = nullptr;
}

QWidget *widgetOf(const TComponent &component) {
  if (auto *form = dynamic_cast<const TForm *>(&component)) return windowOf(const_cast<TForm &>(*form));
  auto *peer = dynamic_cast<ControlPeer *>(component.peer());
  return peer ? peer->widget() : nullptr;
}

} // namespace kdr::qt

extern "C" {

kdr::WidgetSet *kdr_qt_install(int *argc, char **argv) {
  static int noArguments = 0;
  return kdr::qt::install(argc ? *argc : noArguments, argv);
}

int kdr_qt_exec() { return kdr::qt::exec(); }

bool kdr_qt_screenshot(const char *path) { return path && kdr::qt::screenshot(path); }

void kdr_qt_shutdown() { kdr::qt::shutdown(); }
}
