// kdr-host with the Qt widget set, as a user starts it: the real module's billing-parameters
// screen in the host's window on the offscreen platform, its picture, and a scenario that never
// waits for a person to answer a dialog.
#include <gtest/gtest.h>

#include "platform/qt/fontscale.h"
#include "platform/qt/qtwidgetset.h"

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

namespace kdr::qt {
namespace {

struct HostRun {
  int code = -1;
  QString out, err;
};

// Runs kdr-host with its own demo server; a host that hangs is killed and fails the test.
HostRun runHost(const QStringList &args) {
  QProcess host;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  host.setProcessEnvironment(env);
  host.start(qEnvironmentVariable("KDR_BIN_DIR") + QStringLiteral("/kdr-host"), QStringList{"--demo"} + args);
  HostRun run;
  if (!host.waitForFinished(60000)) {
    host.kill();
    host.waitForFinished();
    ADD_FAILURE() << "kdr-host did not finish";
    return run;
  }
  run.code = host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1;
  run.out = QString::fromUtf8(host.readAllStandardOutput());
  run.err = QString::fromUtf8(host.readAllStandardError());
  return run;
}

QString scenario(const char *name) { return QStringLiteral(KDR_SOURCE_DIR "/tests/scenarios/") + name; }

// The palette colour of clInfoBk as the host's widget set sees it (same platform, same style).
QRgb infoBackground() {
  static int argc = 1;
  static char arg0[] = "test_qt";
  static char *argv[] = {arg0, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  install(argc, argv);
  return QApplication::palette().color(QPalette::ToolTipBase).rgb();
}

TEST(HostWindow, TheBillingScreenWithAClientShowsInTheMainWindowAndItsPictureIsNotBlank) {
  QTemporaryDir dir;
  const QString png = dir.filePath(QStringLiteral("billing.png"));
  HostRun run = runHost({"--script", scenario("billing_screen_shown.kdr"), "--screenshot", png});
  ASSERT_EQ(run.code, 0) << run.err.toStdString();
  EXPECT_TRUE(run.out.contains(QStringLiteral("scenario passed"))) << run.out.toStdString();

  QImage image(png);
  ASSERT_FALSE(image.isNull());
  // The main window holds the screen: larger than the screen's own window.
  EXPECT_GE(image.width(), 800);
  EXPECT_GE(image.height(), 560);
  QSet<QRgb> colours;
  int infoPixels = 0;
  const QRgb info = infoBackground();
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb pixel = image.pixel(x, y);
      colours.insert(pixel);
      infoPixels += pixel == info;
    }
  // Icons, text with anti-aliasing and the frames give far more than a handful of colours.
  EXPECT_GT(colours.size(), 64);
  // The client number is a looked-up code: its edit stands out in the tool-tip colour.
  EXPECT_GT(infoPixels, 1000);
}

// The picture kdr-host takes with the scenario (at its snapshot line, or when it ends).
QImage pictureOf(const char *name) {
  QTemporaryDir dir;
  const QString png = dir.filePath(QStringLiteral("picture.png"));
  HostRun run = runHost({"--script", scenario(name), "--screenshot", png});
  EXPECT_EQ(run.code, 0) << run.err.toStdString();
  return QImage(png);
}

// A screen with a window of its own is pictured in that window, not in the main one: a routine
// screen, and a modal one, which can be pictured only while it runs.
TEST(HostWindow, AScreenWithAWindowOfItsOwnIsPicturedInThatWindow) {
  // The screens' designed sizes, grown with the font as every size of theirs is.
  const QRgb info = infoBackground();
  EXPECT_EQ(pictureOf("autom_screen_shown.kdr").size(), QSize(scaled(600), scaled(470)));
  const QImage descPad = pictureOf("descpad_screen_shown.kdr");
  ASSERT_EQ(descPad.size(), QSize(scaled(640), scaled(480)));
  int infoPixels = 0;
  for (int y = 0; y < descPad.height(); ++y)
    for (int x = 0; x < descPad.width(); ++x) infoPixels += descPad.pixel(x, y) == info;
  // The billing types are listed on the tool-tip colour.
  EXPECT_GT(infoPixels, 1000);
}

TEST(HostWindow, ADialogTheScenarioDidNotExpectFailsItInsteadOfWaitingForAPerson) {
  QTemporaryDir dir;
  const QString script = dir.filePath(QStringLiteral("t.kdr"));
  QFile file(script);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("call IniProc\nfocus dbgPadrao\n");
  file.close();
  HostRun run = runHost({"--script", script});
  EXPECT_EQ(run.code, 1) << run.err.toStdString();
  EXPECT_TRUE(run.err.contains(QStringLiteral("t.kdr:2:"))) << run.err.toStdString();
  EXPECT_TRUE(run.err.contains(QStringLiteral("Cliente deve ser informado."))) << run.err.toStdString();
}

} // namespace
} // namespace kdr::qt
