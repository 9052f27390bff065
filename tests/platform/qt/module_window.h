#pragma once
// A screen of the real module in real widgets, on the offscreen platform: the module loaded as the
// host loads it, a demo kdr-server, the host's frame, and the check that every control of a screen
// shows inside its container and clear of its neighbours.
#include <gtest/gtest.h>

#include "platform/host/localdb.h"
#include "platform/host/zelnor.h"
#include "platform/qt/qtwidgetset.h"
#include "platform/ui/forms.h"
#include "platform/ui/scripteduser.h"
#include "tests/module/loaded_module.h"

#include <QApplication>
#include <QWidget>

#include <map>

namespace kdr::qt {

class ModuleWindow : public ::testing::Test {
protected:
  ModuleWindow() {
    Zelnor::config.webUrl = server.host();
    Zelnor::config.webPort = server.port();
    dtmDBGeral = &db;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    Application().reset();
    static int argc = 1;
    static char arg0[] = "test_qt";
    static char *argv[] = {arg0, nullptr};
    install(argc, argv);
    TForm *frame = TForm::create<TForm>(&Application());
    Application().SetMainForm(frame);
    frame->Show();
  }
  ~ModuleWindow() override {
    // The screens go while the module's code and Qt are both still there.
    Application().reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    dtmDBGeral = nullptr;
  }

  // Pending layout done, as a user would see the screen.
  static void settle() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }

  test::ServerProcess server{{"--seed", "demo"}};
  test::TempDir dir;
  TdtmDBGeral db{dir.file("local.db")};
  test::LoadedModule module;
  ScriptedUser user{[](const std::string &failure) { ADD_FAILURE() << failure; }};
};

// The widget's rectangle in its window's coordinates.
inline QRect inWindow(const QWidget &w) { return QRect(w.mapTo(w.window(), QPoint(0, 0)), w.size()); }

// Every control of the screen has a visible widget of a usable size, inside its container's, and
// no two children of one container overlap. Returns how many controls there are.
inline int expectEveryControlShows(TForm &screen) {
  std::map<const TWinControl *, std::vector<const QWidget *>> byParent;
  int controls = 0;
  for (int i = 0; i < screen.ComponentCount(); ++i) {
    auto *control = dynamic_cast<TControl *>(screen.Components(i));
    if (!control) continue;
    ++controls;
    const QWidget *w = widgetOf(*control);
    if (!w) {
      ADD_FAILURE() << control->Name() << " has no widget";
      continue;
    }
    EXPECT_TRUE(w->isVisible()) << control->Name();
    // A splitter is a thin handle; everything else must be large enough to be used.
    const int least = control->className() == "TSplitter" ? 3 : 12;
    EXPECT_GE(w->width(), least) << control->Name();
    EXPECT_GE(w->height(), least) << control->Name();
    if (const TWinControl *parent = control->Parent(); parent && parent != &screen) {
      const QWidget *box = widgetOf(*parent);
      if (!box) continue;
      EXPECT_TRUE(inWindow(*box).contains(inWindow(*w))) << control->Name() << " outside " << parent->Name();
      byParent[parent].push_back(w);
    }
  }
  for (const auto &[parent, children] : byParent)
    for (std::size_t a = 0; a < children.size(); ++a)
      for (std::size_t b = a + 1; b < children.size(); ++b)
        EXPECT_FALSE(inWindow(*children[a]).intersects(inWindow(*children[b])))
            << children[a]->objectName().toStdString() << " over " << children[b]->objectName().toStdString()
            << " in " << parent->Name();
  return controls;
}

} // namespace kdr::qt
