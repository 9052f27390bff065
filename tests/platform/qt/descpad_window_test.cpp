// The default-descriptions screen of the real module in real widgets, on the offscreen platform:
// a window of its own over the desktop, every control shown, the lists side by side above the two
// editors, and the bottom bar reading navigator, company, " - ", billing type.
#include "platform/ui/userdoor.h"
#include "tests/platform/qt/module_window.h"

#include <QFont>

namespace kdr::qt {
namespace {

using DescPadWindow = ModuleWindow;

TEST_F(DescPadWindow, AWindowOverTheDesktopWithEveryControlShown) {
  // The modal run is driven here rather than by a Qt event loop waiting for a person.
  Application().setDialogs(&user);
  int controls = 0;
  user.expectModal("frmDescPad", [&](TForm &form) {
    settle();
    EXPECT_TRUE(form.Modal());
    controls = expectEveryControlShows(form);
    expectNothingCut(form);
    const QWidget *window = widgetOf(form)->window();
    EXPECT_NE(window, widgetOf(*Application().MainForm())->window()) << "a window of its own";
    EXPECT_GE(window->width(), 600);
    EXPECT_GE(window->height(), 440);

    auto at = [&](const char *name) { return inWindow(*widgetOf(*form.findDeep(name))); };
    EXPECT_EQ(at("dbgPadrao").top(), at("dbgFat").top());
    EXPECT_LT(at("dbgPadrao").right(), at("dbgFat").left());
    EXPECT_GT(at("memDesFatu").top(), at("dbgPadrao").bottom());
    EXPECT_LT(at("memDesFatu").right(), at("memDescBol").left());
    EXPECT_GT(at("memDesFatu").top(), at("panCapFat").bottom() - 1);
    EXPECT_GT(at("memDesFatu").height(), 100) << "room to write";
    const char *bar[] = {"dbnPadrao", "dbtNome", "lblIfen", "DBText1"};
    for (int i = 1; i < 4; ++i) EXPECT_LT(at(bar[i - 1]).right(), at(bar[i]).left()) << bar[i];
    EXPECT_TRUE(widgetOf(*form.findDeep("DBText1"))->font().bold());
    EXPECT_TRUE(widgetOf(*form.findDeep("panCapFat"))->font().bold());
    user::closeForm(form);
  });
  dispatch([&] { module.call("CriaDescPad"); });
  user.verify();
  // The base's toolbar, bar and page 15; the lists 3, the editors with captions 8, splitters 3 of
  // those 11, the bar's " - " and billing type 2.
  EXPECT_EQ(controls, 29);
}

} // namespace
} // namespace kdr::qt
