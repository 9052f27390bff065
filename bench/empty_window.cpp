// The baseline of the desktop's memory: an empty Qt main window, shown and painted, then closed.
// Run under the same platform plugin as the host it is set beside (QT_QPA_PLATFORM=offscreen).
#include <QApplication>
#include <QMainWindow>
#include <QTimer>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.resize(1024, 768);
  window.show();
  QTimer::singleShot(200, &app, &QApplication::quit);
  return app.exec();
}
