// The host's main window in real widgets: its menu bar with access keys, Janela listing the open
// screens as it opens, and the screens arranged side by side or in cascade.
#include <gtest/gtest.h>

#include "host/main_form.h"
#include "platform/qt/qtwidgetset.h"
#include "platform/ui/application.h"
#include "platform/ui/userdoor.h"
#include "tests/platform/qt/offscreen_qt.h"

#include <QApplication>
#include <QKeySequence>
#include <QLabel>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>

namespace kdr::qt {
namespace {

class MainWindowOnQt : public ::testing::Test {
protected:
  MainWindowOnQt() {
    test::startOffscreen();
    frame = TForm::create<host::TfrmPrincipal>(&Application(), [](std::string_view) {});
    Application().SetMainForm(frame);
    frame->Show();
  }
  ~MainWindowOnQt() override { test::endOffscreen(); }
  TForm *openScreen(const char *caption) {
    auto *screen = TForm::create<TForm>(&Application());
    screen->SetCaption(caption);
    screen->SetFormStyle(fsMDIChild);
    screen->SetWidth(300);
    screen->SetHeight(200);
    screen->Show();
    return screen;
  }
  QMenuBar *menuBar() const { return static_cast<QMainWindow *>(widgetOf(*frame)->window())->menuBar(); }
  QAction *topMenu(const QString &text) const {
    for (QAction *action : menuBar()->actions())
      if (action->text() == text) return action;
    return nullptr;
  }
  static void settle() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }

  host::TfrmPrincipal *frame = nullptr;
};

TEST_F(MainWindowOnQt, TheMenusOpenWithAltAndTheirLetter) {
  const std::pair<const char *, Qt::Key> menus[] = {
      {"&Arquivo", Qt::Key_A}, {"&Faturamento", Qt::Key_F}, {"&Janela", Qt::Key_J}, {"Aj&uda", Qt::Key_U}};
  for (const auto &[text, key] : menus) {
    QAction *action = topMenu(QString::fromUtf8(text));
    ASSERT_NE(action, nullptr) << text;
    EXPECT_EQ(QKeySequence::mnemonic(action->text()), QKeySequence(Qt::ALT | key)) << text;
  }
}

TEST_F(MainWindowOnQt, JanelaListsTheOpenScreensAsItOpens) {
  openScreen("Parâmetros de Faturamento por Cliente");
  openScreen("Descrição Padrão");
  QAction *janela = topMenu(QStringLiteral("&Janela"));
  ASSERT_NE(janela, nullptr);
  QMenu *menu = janela->menu<QMenu *>();
  ASSERT_NE(menu, nullptr);
  emit menu->aboutToShow();
  QStringList texts;
  for (QAction *action : menu->actions())
    if (!action->isSeparator()) texts << action->text();
  EXPECT_EQ(texts, (QStringList{"&Cascata", "&Lado a Lado", "&1 Parâmetros de Faturamento por Cliente",
                                "&2 Descrição Padrão"}));
  // The same menu, filled again in place: a menu being opened is not torn down under the user.
  emit menu->aboutToShow();
  EXPECT_EQ(janela->menu<QMenu *>(), menu);
  EXPECT_EQ(menu->actions().size(), 5);
}

TEST_F(MainWindowOnQt, LadoALadoPutsTheScreensSideBySideAndCascataOverlapsThem) {
  QWidget *first = widgetOf(*openScreen("Parâmetros de Faturamento por Cliente"));
  QWidget *second = widgetOf(*openScreen("Descrição Padrão"));
  ASSERT_TRUE(first && second);
  settle();
  user::clickMenu(*frame->mnuLadoALado);
  settle();
  EXPECT_FALSE(first->geometry().intersects(second->geometry()));
  user::clickMenu(*frame->mnuCascata);
  settle();
  EXPECT_TRUE(first->geometry().intersects(second->geometry()));
  EXPECT_NE(first->geometry().topLeft(), second->geometry().topLeft());
}

// A screen blocked by a first load shows how far it got instead of a frozen window.
TEST_F(MainWindowOnQt, TheProgressOfLongWorkShowsAtOnceOverTheWindowAndGoesWhenItEnds) {
  auto shownBar = []() -> QProgressBar * {
    for (QWidget *w : QApplication::allWidgets())
      if (auto *bar = qobject_cast<QProgressBar *>(w); bar && bar->isVisible() && bar->maximum() == 1000000)
        return bar;
    return nullptr;
  };
  Application().Progress().show("carregando 250.000 de 1.000.000 linhas", 250000, 1000000);
  QProgressBar *bar = shownBar();
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->value(), 250000);
  bool textShown = false;
  for (QLabel *label : bar->parentWidget()->findChildren<QLabel *>())
    textShown = textShown || label->text() == QString::fromUtf8("carregando 250.000 de 1.000.000 linhas");
  EXPECT_TRUE(textShown);
  Application().Progress().hide();
  EXPECT_EQ(shownBar(), nullptr);
}

// The status bar sits under the screens, its texts whole.
TEST_F(MainWindowOnQt, TheStatusBarLiesAlongTheBottomOfTheMainWindow) {
  frame->showConnection(false);
  frame->showLoading(120000, 1000000);
  settle();
  QWidget *bar = widgetOf(*frame->stbPrincipal);
  QWidget *window = widgetOf(*frame)->window();
  ASSERT_TRUE(bar && bar->isVisible());
  EXPECT_GE(bar->mapTo(window, QPoint(0, bar->height())).y(), window->height() - 2);
  for (TLabel *label : {frame->lblServidor, frame->lblConexao, frame->lblCopiaLocal}) {
    auto *shown = qobject_cast<QLabel *>(widgetOf(*label));
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->text().toStdString(), label->Caption());
    EXPECT_LE(shown->fontMetrics().horizontalAdvance(shown->text()), shown->width()) << label->Caption();
  }
  EXPECT_TRUE(widgetOf(*frame->pgbCopiaLocal)->isVisible());
}

} // namespace
} // namespace kdr::qt
