#include "host/desktop.h"

#include <dlfcn.h>

#include "platform/rtl/exceptions.h"

namespace kdr::host {

namespace {

// Qt keeps argc and argv for the life of the application.
int qtArgc = 1;
char qtProgramName[] = "kdr-host";
char *qtArgv[] = {qtProgramName, nullptr};

} // namespace

QtDesktop::QtDesktop(const std::string &libraryPath) : path_(libraryPath) {
  handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char *why = dlerror();
    throw Exception("Não foi possível carregar as janelas Qt (" + path_ +
                    "): " + (why ? why : "erro desconhecido"));
  }
  try {
    install_ = reinterpret_cast<decltype(install_)>(symbol("kdr_qt_install"));
    exec_ = reinterpret_cast<decltype(exec_)>(symbol("kdr_qt_exec"));
    screenshot_ = reinterpret_cast<decltype(screenshot_)>(symbol("kdr_qt_screenshot"));
    shutdown_ = reinterpret_cast<decltype(shutdown_)>(symbol("kdr_qt_shutdown"));
  } catch (...) {
    dlclose(handle_);
    throw;
  }
}

// The library stays mapped: Qt leaves process-wide hooks behind that outlive its application.
QtDesktop::~QtDesktop() { shutdown(); }

void *QtDesktop::symbol(const char *name) {
  if (void *address = dlsym(handle_, name)) return address;
  throw Exception("A biblioteca " + path_ + " não exporta o ponto de entrada " + name);
}

void QtDesktop::install() {
  if (!install_(&qtArgc, qtArgv)) throw Exception("As janelas Qt não puderam ser iniciadas (sem display?)");
  installed_ = true;
}

int QtDesktop::exec() { return exec_(); }

bool QtDesktop::screenshot(const std::string &path) { return screenshot_(path.c_str()); }

void QtDesktop::shutdown() {
  if (!installed_) return;
  installed_ = false;
  shutdown_();
}

} // namespace kdr::host
