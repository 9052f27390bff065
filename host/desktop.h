#pragma once
// The Qt widget set as kdr-host reaches it: libkdr-qt.so mapped at run time and its entry points
// found by name, so the host program itself never links Qt and still runs where Qt is missing.
#include <string>

namespace kdr {
class WidgetSet;
}

namespace kdr::host {

class QtDesktop {
public:
  // Maps the library and finds every entry point before any runs. Raises kdr::Exception naming
  // the library, or the entry point it lacks.
  explicit QtDesktop(const std::string &libraryPath);
  ~QtDesktop();
  QtDesktop(const QtDesktop &) = delete;
  QtDesktop &operator=(const QtDesktop &) = delete;

  // Makes the Qt application and installs the widget set and its dialogs; before any form exists.
  void install();
  // The event loop, until the main window closes.
  int exec();
  bool screenshot(const std::string &path);
  // Destroys every form while Qt is alive; nothing when not installed.
  void shutdown();

private:
  void *symbol(const char *name);

  std::string path_;
  void *handle_ = nullptr;
  WidgetSet *(*install_)(int *, char **) = nullptr;
  int (*exec_)() = nullptr;
  bool (*screenshot_)(const char *) = nullptr;
  void (*shutdown_)() = nullptr;
  bool installed_ = false;
};

} // namespace kdr::host
