// Which widget set kdr-host takes: the Qt windows when there is a display (or a Qt platform named),
// the headless one when asked or for a scenario with no display; and a clear refusal when the
// windows cannot be had, before anything starts.
#include <gtest/gtest.h>

#include <sstream>

#include "host/config.h"
#include "host/host_app.h"
#include "platform/rtl/exceptions.h"

namespace kdr::host {
namespace {

using Env = std::map<std::string, std::string>;

TEST(DesktopChoice, DisplayOrQtPlatformGivesWindowsHeadlessWhenAskedOrNothingToShowOn) {
  struct Case {
    std::vector<std::string> args;
    Env env;
    bool headless;
  };
  const Case cases[] = {
      {{}, {{"DISPLAY", ":0"}}, false},
      {{}, {{"WAYLAND_DISPLAY", "wayland-0"}}, false},
      {{"--script", "a.kdr"}, {{"QT_QPA_PLATFORM", "offscreen"}}, false},
      {{"--script", "a.kdr"}, {{"DISPLAY", ""}}, true},
      {{"--headless"}, {{"DISPLAY", ":0"}}, true},
      {{"--headless", "--script", "a.kdr"}, {{"QT_QPA_PLATFORM", "offscreen"}}, true},
      // The desktop without a display is refused by the host itself, which says how to get one.
      {{}, {}, false},
  };
  for (const Case &c : cases) {
    HostConfig config = parseConfig(c.args, c.env);
    EXPECT_EQ(config.headless, c.headless)
        << ::testing::PrintToString(c.args) << ::testing::PrintToString(c.env);
  }
}

TEST(DesktopChoice, ScreenshotAndLibraryOptions) {
  HostConfig config =
      parseConfig({"--screenshot", "a.png"}, {{"DISPLAY", ":0"}, {"KDR_QT_LIBRARY", "/x/qt.so"}});
  EXPECT_EQ(config.screenshot, "a.png");
  EXPECT_EQ(config.qtLibrary, "/x/qt.so");
  EXPECT_NE(parseConfig({}, {}).qtLibrary.find("libkdr-qt.so"), std::string::npos);
  // There is no picture of a window that is never made.
  EXPECT_THROW(parseConfig({"--headless", "--screenshot", "a.png"}, {{"DISPLAY", ":0"}}), Exception);
  EXPECT_THROW(parseConfig({"--script", "a.kdr", "--screenshot", "a.png"}, {}), Exception);
}

TEST(DesktopChoice, WindowsThatCannotBeHadAreRefusedNamingWhatIsMissing) {
  struct Case {
    std::vector<std::string> args;
    Env env;
    std::vector<std::string> told;
  };
  const std::string module = programFolder() + "/libkdr03020.so";
  const Case cases[] = {
      {{}, {}, {"xvfb-run -a", "--headless --script"}},
      {{"--qt-library", "/nonexistent/libkdr-qt.so"},
       {{"QT_QPA_PLATFORM", "offscreen"}},
       {"/nonexistent/libkdr-qt.so"}},
      // A library that is not the widget set lacks its entry points.
      {{"--qt-library", module}, {{"QT_QPA_PLATFORM", "offscreen"}}, {module, "kdr_qt_install"}},
  };
  for (const Case &c : cases) {
    std::ostringstream out, err;
    EXPECT_EQ(runHost(c.args, c.env, out, err), 2) << err.str();
    for (const std::string &text : c.told) EXPECT_NE(err.str().find(text), std::string::npos) << err.str();
  }
}

} // namespace
} // namespace kdr::host
