#pragma once
// The Qt widget set and its entry points. kdr-host reaches them by name through dlopen/dlsym (the
// extern "C" functions); tests linking the library call the C++ ones.
#include "platform/ui/peer.h"

#include <string>

class QWidget;

namespace kdr {
class TComponent;
class TForm;
} // namespace kdr

namespace kdr::qt {

class QtWidgetSet : public WidgetSet {
public:
  std::unique_ptr<ComponentPeer> createPeer(TComponent &component) override;
};

// Makes the QApplication (when there is none) and installs the widget set, the Qt dialogs, the
// wait box and the busy cursor into the application object. argc must outlive the application.
QtWidgetSet *install(int &argc, char **argv);
// Runs the event loop until the main form closes or the application terminates. Deferred work
// (a form's release) runs whenever the loop is about to wait.
int exec();
// Lays out pending changes and saves as a PNG the active form's window when it is one of its own,
// else the main form's window with its children.
bool screenshot(const std::string &path);
// Saves one form's window as a PNG.
bool screenshotForm(TForm &form, const std::string &path);
// Destroys every form while Qt still runs, uninstalls the widget set and the dialogs, and deletes
// the QApplication made by install().
void shutdown();

// The widget that shows a component (a form's window content, a control's widget), or null.
QWidget *widgetOf(const TComponent &component);

} // namespace kdr::qt

extern "C" {
// Returns the installed widget set (owned by the application object), or null when no display.
kdr::WidgetSet *kdr_qt_install(int *argc, char **argv);
int kdr_qt_exec();
bool kdr_qt_screenshot(const char *path);
void kdr_qt_shutdown();
}
