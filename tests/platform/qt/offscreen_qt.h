#pragma once
// The widget set on the offscreen platform for a test window, whatever display the machine has,
// and its end: the windows go while Qt is still there.
#include "platform/qt/qtwidgetset.h"
#include "platform/ui/application.h"

#include <QCoreApplication>

namespace kdr::test {

inline void startOffscreen() {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  Application().reset();
  static int argc = 1;
  static char arg0[] = "test_qt";
  static char *argv[] = {arg0, nullptr};
  qt::install(argc, argv);
}

inline void endOffscreen() {
  Application().reset();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace kdr::test
