// The Qt widget set on the offscreen platform: every control kind gets a widget, the widgets mirror
// the model without echoing, Qt input reaches the model through the user door, and what is drawn
// is there to see.
#include <gtest/gtest.h>

#include "platform/data/clientdataset.h"
#include "platform/data/datasource.h"
#include "platform/host/adoibquery.h"
#include "platform/host/localdb.h"
#include "platform/qt/controlpeer.h"
#include "platform/qt/qtdialogs.h"
#include "platform/qt/qtwidgetset.h"
#include "platform/ui/application.h"
#include "platform/ui/buttons.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/dbctrls.h"
#include "platform/ui/dbgrids.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/passwordedit.h"
#include "platform/ui/scripteduser.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/userdoor.h"
#include "tests/support/client_list.h"
#include "tests/support/server_process.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <memory>

namespace kdr::qt {
namespace {

int argc = 1;
char arg0[] = "test_qt";
char *argv[] = {arg0, nullptr};

// The widget set on the offscreen platform, whatever display the machine has.
void installOffscreen() {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  install(argc, argv);
}

class QtTest : public ::testing::Test {
protected:
  void SetUp() override {
    // Resetting the application drops the indicator hooks; installing again sets them.
    Application().reset();
    installOffscreen();
    user_ = std::make_unique<ScriptedUser>([](const std::string &m) { ADD_FAILURE() << m; });
  }
  void TearDown() override {
    if (!HasFailure()) {
      EXPECT_NO_THROW(user_->verify()) << user_->transcriptText();
    }
    user_.reset();
    Application().reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // A shown form owned by the application, its window active so that Qt focus works.
  // The fixture's reset ends it, so a test may leave it open.
  TForm *shownForm() {
    user_->keep("frmTeste");
    auto *f = TForm::create<TForm>(&Application());
    f->SetName("frmTeste");
    f->SetCaption("Parâmetros de Faturamento por Cliente");
    return f;
  }
  void showActive(TForm *f) {
    f->Show();
    QWidget *w = widgetOf(*f);
    ASSERT_NE(w, nullptr);
    QApplication::setActiveWindow(w);
    QCoreApplication::processEvents();
  }
  template <class T> T *make(TForm *form, TWinControl *parent, const std::string &name) {
    auto *c = new T(form);
    c->SetName(name);
    c->SetParent(parent);
    return c;
  }
  template <class W> W *widget(const TComponent &c) {
    auto *w = dynamic_cast<W *>(widgetOf(c));
    EXPECT_NE(w, nullptr) << c.Name();
    return w;
  }

  std::unique_ptr<ScriptedUser> user_;
};

// Rows of companies with a hidden key column.
struct Companies {
  TClientDataSet cds;
  TDataSource src;
  Companies() {
    cds.AddStringField("CDEMPRESA", 2).SetDisplayLabel("Código");
    cds.AddStringField("NMEMPRESA", 40).SetDisplayLabel("Nome");
    cds.AddStringField("IDINTERNO", 1).SetVisible(false);
    cds.CreateDataSet();
    for (auto [code, name] :
         {std::pair{"01", "Manutenção Ltda"}, {"02", "Licença de Uso SA"}, {"03", "Romano Serviços"}}) {
      cds.Append();
      cds.FieldByName("CDEMPRESA").SetAsString(code);
      cds.FieldByName("NMEMPRESA").SetAsString(name);
      cds.FieldByName("IDINTERNO").SetAsString("X");
      cds.Post();
    }
    cds.First();
    src.SetDataSet(&cds);
  }
};

TEST_F(QtTest, EveryControlKindHasAWidgetOfItsKind) {
  Companies data;
  TForm *form = shownForm();
  auto *panel = make<TPanel>(form, form, "panCliente");
  panel->SetAlign(alTop);
  auto *group = make<TGroupBox>(form, form, "grbOutros");
  auto *pages = make<TPageControl>(form, form, "pgcPadrao");
  auto *sheet1 = new TTabSheet(form);
  sheet1->SetCaption("Parâmetros Principais");
  sheet1->SetPageControl(pages);
  auto *sheet2 = new TTabSheet(form);
  sheet2->SetCaption("Outros");
  sheet2->SetPageControl(pages);
  auto *menu = new TMainMenu(form);
  auto *item = new TMenuItem(form);
  item->SetCaption("&Operação");
  menu->Items()->Add(item);
  auto *grid = make<TDBGrid>(form, sheet1, "dbgPadrao");
  grid->SetDataSource(&data.src);
  auto *nav = make<TDBNavigator>(form, panel, "dbnPadrao");
  nav->SetDataSource(&data.src);

  struct Expect {
    TComponent *control;
    bool (*isKind)(QWidget *);
  };
  const std::vector<Expect> expected = {
      {panel, [](QWidget *w) { return w->layout() != nullptr; }},
      {group, [](QWidget *w) { return dynamic_cast<QGroupBox *>(w) != nullptr; }},
      {make<TLabel>(form, panel, "lbCliente"),
       [](QWidget *w) { return dynamic_cast<QLabel *>(w) != nullptr; }},
      {make<TEdit>(form, panel, "edtNmCliente"),
       [](QWidget *w) { return dynamic_cast<QLineEdit *>(w) != nullptr; }},
      {make<TMaskEdit>(form, panel, "medNrInsJurClie"),
       [](QWidget *w) { return dynamic_cast<QLineEdit *>(w) != nullptr; }},
      {make<TMemo>(form, group, "memDesFatu"),
       [](QWidget *w) { return dynamic_cast<QPlainTextEdit *>(w) != nullptr; }},
      {make<TCheckBox>(form, group, "chbFatura"),
       [](QWidget *w) { return dynamic_cast<QCheckBox *>(w) != nullptr; }},
      {make<TRadioButton>(form, group, "rbgTodosCli"),
       [](QWidget *w) { return dynamic_cast<QRadioButton *>(w) != nullptr; }},
      {make<TComboBox>(form, group, "dbcFatUnificada"),
       [](QWidget *w) { return dynamic_cast<QComboBox *>(w) != nullptr; }},
      {make<TSplitter>(form, form, "splDescricao"), [](QWidget *w) { return w != nullptr; }},
      {make<TSpeedButton>(form, panel, "sbtIncluir"),
       [](QWidget *w) { return dynamic_cast<QToolButton *>(w) != nullptr; }},
      {pages, [](QWidget *w) { return dynamic_cast<QTabWidget *>(w) != nullptr; }},
      {make<TDBEdit>(form, sheet2, "dbeTipoServico"),
       [](QWidget *w) { return dynamic_cast<QLineEdit *>(w) != nullptr; }},
      {make<TDBMemo>(form, sheet2, "dbDescreveFat"),
       [](QWidget *w) { return dynamic_cast<QPlainTextEdit *>(w) != nullptr; }},
      {make<TDBComboBox>(form, sheet2, "dbcGerente"),
       [](QWidget *w) { return dynamic_cast<QComboBox *>(w) != nullptr; }},
      {make<TDBText>(form, panel, "dbtNome"),
       [](QWidget *w) { return dynamic_cast<QLabel *>(w) != nullptr; }},
      {nav, [](QWidget *w) { return w->findChildren<QToolButton *>().size() == 9; }},
      {grid, [](QWidget *w) { return w->focusPolicy() == Qt::StrongFocus; }},
  };
  showActive(form);
  for (const auto &e : expected) {
    QWidget *w = widgetOf(*e.control);
    ASSERT_NE(w, nullptr) << e.control->Name();
    EXPECT_TRUE(e.isKind(w)) << e.control->Name();
  }
  auto *tabs = widget<QTabWidget>(*pages);
  ASSERT_EQ(tabs->count(), 2);
  EXPECT_EQ(tabs->tabText(1), QStringLiteral("Outros"));
  QMenuBar *bar = widgetOf(*form)->findChild<QMenuBar *>();
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(bar->actions().size(), 1);
  EXPECT_EQ(bar->actions()[0]->text(), QStringLiteral("&Operação"));
}

// A screen's buttons show a few kinds of picture many times; each kind is decoded once and shared,
// not once for every button (every size of it, a good part of a screen's memory).
TEST_F(QtTest, ButtonsOfOnePictureShareIt) {
  TForm *form = shownForm();
  auto *include = make<TSpeedButton>(form, form, "sbtIncluir");
  auto *includeItem = make<TSpeedButton>(form, form, "sbtIncluirItem");
  auto *remove = make<TSpeedButton>(form, form, "sbtExcluir");
  showActive(form);
  const QIcon first = widget<QToolButton>(*include)->icon(),
              second = widget<QToolButton>(*includeItem)->icon();
  ASSERT_FALSE(first.isNull());
  EXPECT_EQ(first.cacheKey(), second.cacheKey());
  EXPECT_NE(widget<QToolButton>(*remove)->icon().cacheKey(), first.cacheKey());
}

TEST_F(QtTest, ModelChangesShowInTheWidgetsWithoutComingBackAsInput) {
  TForm *form = shownForm();
  auto *edit = make<TEdit>(form, form, "edtNmCliente");
  auto *box = make<TCheckBox>(form, form, "chbFatura");
  auto *pages = make<TPageControl>(form, form, "pgcPadrao");
  auto *sheet1 = new TTabSheet(form);
  sheet1->SetPageControl(pages);
  auto *sheet2 = new TTabSheet(form);
  sheet2->SetPageControl(pages);
  auto *item = new TMenuItem(form);
  auto *menu = new TMainMenu(form);
  item->SetCaption("&Outros");
  menu->Items()->Add(item);
  int changes = 0, clicks = 0, pageChanges = 0;
  edit->OnChange = [&](TComponent *) { ++changes; };
  box->OnClick = [&](TComponent *) { ++clicks; };
  pages->OnChange = [&](TComponent *) { ++pageChanges; };
  showActive(form);

  edit->SetText("Manutenção");
  box->SetChecked(true);
  pages->SetActivePage(sheet2);
  item->SetEnabled(false);
  item->SetChecked(true);

  EXPECT_EQ(widget<QLineEdit>(*edit)->text(), QStringLiteral("Manutenção"));
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(widget<QCheckBox>(*box)->isChecked());
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(widget<QTabWidget>(*pages)->currentIndex(), 1);
  EXPECT_EQ(pageChanges, 0);
  QAction *action = widgetOf(*form)->findChild<QMenuBar *>()->actions().value(0);
  ASSERT_NE(action, nullptr);
  EXPECT_FALSE(action->isEnabled());
  EXPECT_TRUE(action->isChecked());

  // Colours come from the palette roles the classic system colours stand for.
  const QPalette palette = QApplication::palette();
  const std::pair<TColor, QPalette::ColorRole> colours[] = {
      {clInfoBk, QPalette::ToolTipBase}, {clWindow, QPalette::Base}, {clBtnFace, QPalette::Button}};
  for (auto [colour, role] : colours) {
    edit->SetColor(colour);
    EXPECT_EQ(widget<QLineEdit>(*edit)->palette().color(QPalette::Base), palette.color(role))
        << colorToString(colour);
  }
  edit->SetEnabled(false);
  EXPECT_FALSE(widget<QLineEdit>(*edit)->isEnabled());
}

// A password is typed into the model like any text, and neither the window nor the dump shows it.
TEST_F(QtTest, APasswordEditHidesWhatIsTyped) {
  TForm *form = shownForm();
  auto *password = make<TPasswordEdit>(form, form, "edtSenha");
  auto *plain = make<TEdit>(form, form, "edtOperador");
  showActive(form);
  password->SetText("segredo");
  EXPECT_EQ(widget<QLineEdit>(*password)->echoMode(), QLineEdit::Password);
  EXPECT_EQ(widget<QLineEdit>(*plain)->echoMode(), QLineEdit::Normal);
  EXPECT_EQ(password->Text(), "segredo");
  EXPECT_EQ(password->dumpState().find("segredo"), std::string::npos);
  EXPECT_EQ(password->dumpState().rfind(" \"*******\"", 0), 0u) << password->dumpState();
}

TEST_F(QtTest, KeysAndPasteGoThroughTheKeyPressChain) {
  TForm *form = shownForm();
  auto *code = make<TEdit>(form, form, "dbeTipoServico");
  std::u32string seen;
  code->OnKeyPress = [&](TComponent *, char32_t &key) {
    seen += key;
    if (!(key >= U'0' && key <= U'9') && key != 8) key = 0;
  };
  showActive(form);
  ASSERT_TRUE(user::focus(*code));
  auto *line = widget<QLineEdit>(*code);

  QTest::keyClicks(line, "1a2b3");
  EXPECT_EQ(code->Text(), "123");
  EXPECT_EQ(line->text(), QStringLiteral("123"));
  EXPECT_EQ(seen, U"1a2b3");

  QTest::keyClick(line, 'x');
  EXPECT_EQ(line->text(), QStringLiteral("123")) << "a discarded key changes nothing";
  QTest::keyClick(line, Qt::Key_Backspace);
  EXPECT_EQ(code->Text(), "12");

  // Every paste route types through the filter: a digits-only field stays digits-only.
  QApplication::clipboard()->setText(QStringLiteral("4x5ç"));
  QTest::keyClick(line, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(code->Text(), "1245");
  QTest::keyClick(line, Qt::Key_Insert, Qt::ShiftModifier);
  EXPECT_EQ(code->Text(), "124545");
  EXPECT_EQ(line->text(), QStringLiteral("124545"));
}

TEST_F(QtTest, AClickTheExitHandlerRefusesPutsTheFocusBack) {
  TForm *form = shownForm();
  auto *client = make<TMaskEdit>(form, form, "medNrInsJurClie");
  auto *other = make<TEdit>(form, form, "edtOutro");
  int enters = 0;
  client->OnExit = [](TComponent *) { Abort(); };
  other->OnEnter = [&](TComponent *) { ++enters; };
  showActive(form);
  ASSERT_TRUE(user::focus(*client));
  ASSERT_EQ(QApplication::focusWidget(), widgetOf(*client));

  QTest::mouseClick(widgetOf(*other), Qt::LeftButton);

  EXPECT_TRUE(client->Focused());
  EXPECT_EQ(enters, 0);
  EXPECT_EQ(QApplication::focusWidget(), widgetOf(*client));

  // Once the handler lets go, the same click moves the focus.
  client->OnExit = nullptr;
  QTest::mouseClick(widgetOf(*other), Qt::LeftButton);
  EXPECT_TRUE(other->Focused());
  EXPECT_EQ(QApplication::focusWidget(), widgetOf(*other));
}

TEST_F(QtTest, AFormReleasedByItsOwnClickHandlerGoesSafely) {
  TForm *form = shownForm();
  auto *exit = make<TSpeedButton>(form, form, "sbtSair");
  auto *box = make<TCheckBox>(form, form, "chbFechar");
  exit->OnClick = [form](TComponent *) { form->Release(); };
  showActive(form);
  QPointer<QWidget> button = widgetOf(*exit);
  Ref<TForm> alive(form);

  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_FALSE(alive) << "released once the click was handled";
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(button.isNull());

  // The same through a windowed control whose handler closes the form with a free action.
  form = shownForm();
  box = make<TCheckBox>(form, form, "chbFechar");
  box->OnClick = [form](TComponent *) { form->Close(); };
  form->OnClose = [](TComponent *, TCloseAction &action) { action = caFree; };
  showActive(form);
  alive = Ref<TForm>(form);
  QTest::mouseClick(widgetOf(*box), Qt::LeftButton);
  EXPECT_FALSE(alive);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(QtTest, ATabClickIsOfferedToThePageControl) {
  TForm *form = shownForm();
  auto *pages = make<TPageControl>(form, form, "pgcPadrao");
  auto *main = new TTabSheet(form);
  main->SetPageControl(pages);
  auto *others = new TTabSheet(form);
  others->SetPageControl(pages);
  others->SetCaption("Outros");
  bool allow = false;
  pages->OnChanging = [&](TComponent *, bool &allowChange) { allowChange = allow; };
  showActive(form);
  QTabBar *bar = widget<QTabWidget>(*pages)->tabBar();

  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
  EXPECT_EQ(pages->ActivePage(), main);
  EXPECT_EQ(bar->currentIndex(), 0);

  allow = true;
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
  EXPECT_EQ(pages->ActivePage(), others);
  EXPECT_EQ(bar->currentIndex(), 1);

  // A disabled sheet cannot be chosen by the user.
  main->SetEnabled(false);
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
  EXPECT_EQ(pages->ActivePage(), others);
}

TEST_F(QtTest, TheGridPaintsWhatTheModelDrawsAndAClickPicksTheCell) {
  Companies data;
  TForm *form = shownForm();
  auto *grid = make<TDBGrid>(form, form, "dbgPadrao");
  grid->SetAlign(alClient);
  grid->SetDataSource(&data.src);
  grid->addColumn("CDEMPRESA")->Width = 40;
  grid->addColumn("NMEMPRESA")->Width = 200;
  grid->OnDrawColumnCell = [grid](TComponent *, const TRect &rect, int col, TColumn *, TGridDrawState) {
    if (col != 1) return;
    grid->Canvas().Brush.Color = clInfoBk;
    grid->Canvas().FillRect(rect);
  };
  form->SetWidth(400);
  form->SetHeight(200);
  showActive(form);
  QWidget *view = widgetOf(*grid);
  QCoreApplication::sendPostedEvents();

  const QImage image = view->grab().toImage();
  const TRect cell = grid->cellRect(2, 1);
  EXPECT_EQ(image.pixelColor(cell.Left + 100, cell.Top + 9), colorOf(clInfoBk)) << "owner-drawn cell";

  const TRect target = grid->cellRect(2, 0);
  QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(target.Left + 5, target.Top + 5));
  EXPECT_EQ(data.cds.RecNo(), 3u);
  EXPECT_TRUE(grid->Focused());
}

TEST_F(QtTest, TheSearchListShowsVisibleFieldsAndFiltersAsTheUserTypes) {
  Companies data;
  SearchDialog single("Empresa", data.src, false);
  QTableWidget *table = single.table();
  ASSERT_EQ(table->columnCount(), 2) << "the hidden field is not offered";
  EXPECT_EQ(table->horizontalHeaderItem(0)->text(), QStringLiteral("Código"));
  EXPECT_EQ(single.visibleRows(), 3);

  single.filter()->setText(QStringLiteral("MAN"));
  EXPECT_EQ(single.visibleRows(), 2) << "Manutenção and Romano, regardless of case";
  single.filter()->setText(QStringLiteral("licença"));
  EXPECT_EQ(single.visibleRows(), 1);
  EXPECT_EQ(single.chosenRow(), 1);

  SearchDialog multi("Empresas", data.src, true, "CDEMPRESA");
  multi.table()->item(0, 0)->setCheckState(Qt::Checked);
  multi.table()->item(2, 0)->setCheckState(Qt::Checked);
  EXPECT_EQ(multi.tickedKeys(), (std::vector<std::string>{"01", "03"}));
}

// 300 clients served 50 at a time, as a server's pages would be.
struct PagedClients {
  TClientDataSet cds;
  TDataSource src;
  std::string filter;
  int asked = 0;
  SearchPages pages{[this](const std::string &text) { load(text, {}); },
                    [this] {
                      cds.Last();
                      return load(filter, cds.FieldByName("CDCLIENTE").AsString());
                    }};
  PagedClients() {
    src.SetDataSet(&cds);
    load("", {});
  }
  bool load(const std::string &text, const std::string &after) {
    ++asked;
    DataPacket page = after.empty() ? DataPacket{} : *cds.Data().packet();
    page.fields = {FieldDef{"CDCLIENTE", FieldType::String, 6, false},
                   FieldDef{"NMFANTCLIE", FieldType::String, 40, false}};
    filter = text;
    int added = 0;
    for (int i = 1; i <= 300 && added < 50; ++i) {
      char code[8];
      std::snprintf(code, sizeof code, "%04d", i);
      const std::string name = "Cliente " + std::to_string(i);
      if (code <= after || name.find(text) == std::string::npos) continue;
      page.rows.push_back(PacketRow{RowStatus::Unmodified, {Variant(code), Variant(name)}});
      ++added;
    }
    cds.SetData(makePacketVariant(std::move(page)));
    return added > 0;
  }
};

TEST_F(QtTest, APagedSearchAsksForTheFilteredFirstPageAndForMoreAtTheEnd) {
  PagedClients data;
  SearchDialog dialog("Cliente", data.src, false, {}, &data.pages);
  dialog.show();
  EXPECT_EQ(dialog.table()->rowCount(), 50) << "the first page at once";

  dialog.filter()->setText(QStringLiteral("7"));
  EXPECT_EQ(data.filter, "7");
  ASSERT_EQ(dialog.table()->rowCount(), 50);
  EXPECT_EQ(dialog.table()->item(0, 1)->text(), QStringLiteral("Cliente 7"));

  QScrollBar *bar = dialog.table()->verticalScrollBar();
  bar->setValue(bar->maximum());
  EXPECT_EQ(dialog.table()->rowCount(), 57) << "every client with a 7, the next page appended";
  const int asked = data.asked;
  bar->setValue(bar->maximum());
  bar->setValue(0);
  bar->setValue(bar->maximum());
  EXPECT_EQ(data.asked, asked + 1) << "after an empty page nothing more is asked";
  EXPECT_EQ(dialog.chosenRow(), 0);
}

TEST_F(QtTest, AMultiChoiceListOverALocalQueryKeepsItsMarksAcrossPagesAndFilters) {
  test::TempDir dir;
  TdtmDBGeral db(dir.file("local.db"));
  test::fillClients(db.adcGeral);
  TADOIBQuery clients;
  clients.Connection = &db.adcGeral;
  test::declareClientList(clients);
  clients.Open();
  TDataSource dts;
  dts.SetDataSet(&clients.Query);
  const SearchPages pages = clients.ListPages();
  SearchDialog dialog("Cliente", dts, true, "CDCLIENTE", &pages);
  dialog.show();
  QTableWidget *table = dialog.table();
  ASSERT_EQ(table->rowCount(), 500) << "the first packet";
  ASSERT_EQ(table->item(0, 1)->text(), QStringLiteral("Cliente 1300"));
  table->item(0, 0)->setCheckState(Qt::Checked);

  QScrollBar *bar = table->verticalScrollBar();
  bar->setValue(bar->maximum());
  ASSERT_EQ(table->rowCount(), 1000) << "the next packet at the end of the list";
  ASSERT_EQ(table->item(999, 1)->text(), QStringLiteral("Cliente 301"));
  table->item(999, 0)->setCheckState(Qt::Checked);

  dialog.filter()->setText(QStringLiteral("joao"));
  ASSERT_EQ(table->rowCount(), 1);
  EXPECT_EQ(table->item(0, 0)->checkState(), Qt::Unchecked);
  table->item(0, 0)->setCheckState(Qt::Checked);
  dialog.filter()->setText(QStringLiteral("Cliente 30"));
  ASSERT_GT(table->rowCount(), 1);
  for (int row = 0; row < table->rowCount(); ++row)
    EXPECT_EQ(table->item(row, 0)->checkState() == Qt::Checked, table->item(row, 1)->text() == "Cliente 301")
        << "a mark made in another view shows where its client is";

  dialog.filter()->setText({});
  EXPECT_EQ(table->item(0, 0)->checkState(), Qt::Checked);
  table->item(0, 0)->setCheckState(Qt::Unchecked);
  std::vector<std::string> keys = dialog.tickedKeys();
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(keys, (std::vector<std::string>{"301", "7"}));
}

TEST_F(QtTest, TheMainFormIsTheFrameOfItsChildrenAndItsPictureIsNotBlank) {
  TForm *main = nullptr;
  Application().CreateForm(main);
  main->SetCaption("Sistema");
  auto *child = TForm::create<TForm>(&Application());
  child->SetName("frmFilho");
  user_->keep("frmFilho");
  child->SetCaption("Parâmetros de Faturamento por Cliente");
  auto *label = make<TLabel>(child, child, "lbCliente");
  label->SetCaption("Cliente");
  label->SetFontBold(true);
  make<TEdit>(child, child, "edtNmCliente")->SetText("Manutenção");
  main->Show();
  child->SetFormStyle(fsMDIChild);
  child->Show();

  EXPECT_NE(dynamic_cast<QMainWindow *>(widgetOf(*main)), nullptr);
  auto *sub = dynamic_cast<QMdiSubWindow *>(widgetOf(*child));
  ASSERT_NE(sub, nullptr);
  EXPECT_NE(sub->mdiArea(), nullptr);

  QTemporaryDir dir;
  const std::string path = dir.filePath(QStringLiteral("principal.png")).toStdString();
  ASSERT_TRUE(screenshot(path));
  QImage image(QString::fromStdString(path));
  ASSERT_FALSE(image.isNull());
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); y += 4)
    for (int x = 0; x < image.width(); x += 4) colours.insert(image.pixel(x, y));
  EXPECT_GT(colours.size(), 8) << "a blank picture has one or two colours";
}

TEST_F(QtTest, AModalFormRunsUntilItsCloseBoxIsPressed) {
  QtDialogs dialogs;
  Application().setDialogs(&dialogs);
  TForm *form = shownForm();
  make<TEdit>(form, form, "edtTexto");
  bool modalWhileRunning = false;
  // Queued, so it runs inside the form's own event loop, as a user's click would.
  QMetaObject::invokeMethod(
      qApp,
      [&] {
        QWidget *window = widgetOf(*form);
        modalWhileRunning = window->isVisible() && window->windowModality() == Qt::ApplicationModal;
        window->close();
      },
      Qt::QueuedConnection);
  const int result = form->ShowModal();
  Application().setDialogs(user_.get());

  EXPECT_TRUE(modalWhileRunning);
  EXPECT_EQ(result, mrCancel);
  EXPECT_FALSE(form->Visible());
  EXPECT_FALSE(widgetOf(*form)->isVisible());
}

TEST_F(QtTest, AMenuChoiceReachesTheModelOnlyWhenTheItemIsEnabled) {
  TForm *form = shownForm();
  auto *menu = new TMainMenu(form);
  auto *operacao = new TMenuItem(form);
  operacao->SetCaption("&Operação");
  menu->Items()->Add(operacao);
  auto *outros = new TMenuItem(form);
  outros->SetCaption("&Outros");
  operacao->Add(outros);
  int clicks = 0;
  outros->OnClick = [&](TComponent *) { ++clicks; };
  showActive(form);
  QMenu *sub = widgetOf(*form)->findChild<QMenuBar *>()->actions().value(0)->menu();
  ASSERT_NE(sub, nullptr);
  QAction *action = sub->actions().value(0);
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->text(), QStringLiteral("&Outros"));

  action->trigger();
  EXPECT_EQ(clicks, 1);
  outros->SetEnabled(false);
  action->trigger();
  EXPECT_EQ(clicks, 1);
}

TEST_F(QtTest, MessageBoxesAnswerTheClassicModalResults) {
  // The custom-caption question answers 10 for its first button, 11 for the next.
  MessageBox question("Atenção", "Importar as descrições padrão?", mtConfirmation,
                      std::vector<std::string>{"Sim", "Não"});
  question.show();
  ASSERT_EQ(question.buttons().size(), 2);
  QAbstractButton *first = nullptr;
  for (auto *b : question.buttons())
    if (b->text() == QStringLiteral("Sim")) first = b;
  ASSERT_NE(first, nullptr);
  QTest::mouseClick(first, Qt::LeftButton);
  EXPECT_EQ(question.answer(), 10);

  // Esc in a Yes/No question answers No.
  MessageBox yesNo("", "Excluir registro?", mtConfirmation, TMsgDlgButtons{mbYes, mbNo});
  yesNo.show();
  QTest::keyClick(&yesNo, Qt::Key_Escape);
  EXPECT_EQ(yesNo.answer(), mrNo);
}

// The conflict of a save as its user meets it: the question over a table of what differs, a
// button per caption with the first as the default. KDR_SCREENSHOT_DIR set: the picture of the
// documentation is saved there as conflict-dialog.png.
TEST_F(QtTest, TheCompareDialogShowsBothVersionsAndAnswersByCaption) {
  const Comparison comparison{"A sua",
                              "A gravada",
                              {{"Descrição da fatura", "Manutenção do sistema de vendas e do fiscal.",
                                "Manutenção mensal do sistema de vendas."},
                               {"Fatura Mês Atual", "Não", "Sim"}}};
  const std::vector<std::string> captions{"Manter a minha", "Usar a gravada"};
  CompareDialog dialog(
      "Parâmetros de Faturamento por Cliente",
      "ana.souza alterou este parâmetro em 08/12/2026 14:03; nada foi gravado. Qual versão fica?", comparison,
      captions);
  dialog.show();
  QTableWidget *table = dialog.table();
  ASSERT_EQ(table->rowCount(), 2);
  EXPECT_EQ(table->horizontalHeaderItem(1)->text(), QStringLiteral("A sua"));
  EXPECT_EQ(table->horizontalHeaderItem(2)->text(), QStringLiteral("A gravada"));
  EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("Descrição da fatura"));
  EXPECT_EQ(table->item(1, 2)->text(), QStringLiteral("Sim"));
  if (const char *folder = std::getenv("KDR_SCREENSHOT_DIR")) {
    QCoreApplication::processEvents();
    EXPECT_TRUE(
        dialog.grab().save(QString::fromUtf8(folder) + QStringLiteral("/conflict-dialog.png"), "PNG"));
  }
  QPushButton *keep = nullptr, *use = nullptr;
  for (auto *b : dialog.findChildren<QPushButton *>())
    (b->text() == QStringLiteral("Manter a minha") ? keep : use) = b;
  ASSERT_NE(keep, nullptr);
  ASSERT_NE(use, nullptr);
  EXPECT_TRUE(keep->isDefault());
  QTest::mouseClick(use, Qt::LeftButton);
  EXPECT_EQ(dialog.answer(), mrFirstCaption + 1);

  CompareDialog closed("", "Outro usuário alterou este parâmetro.", comparison, captions);
  closed.show();
  QTest::keyClick(&closed, Qt::Key_Escape);
  EXPECT_EQ(closed.answer(), mrCancel);
}

// Long work in its dialog: the text and the bar follow the work; Cancelar asks it to stop and the
// dialog stays, saying so, until the stop is done. KDR_SCREENSHOT_DIR set: the picture of the
// documentation is saved there as progress-dialog.png.
TEST_F(QtTest, TheProgressDialogFollowsTheWorkAndCancelarWaitsForTheStop) {
  showActive(shownForm());
  std::int64_t done = 420000;
  bool started = false, cancelAsked = false, over = false;
  const FollowedWork work{[&] { started = true; },
                          [&] {
                            return FollowedWork::State{"Copiando parâmetros: " + std::to_string(done) +
                                                           " de 1000000 cliente(s)",
                                                       done, 1000000, over};
                          },
                          [&] { cancelAsked = true; }};
  auto dialog = [] {
    for (QWidget *w : QApplication::topLevelWidgets())
      if (w->objectName() == QStringLiteral("dlgProgresso") && w->isVisible()) return w;
    return static_cast<QWidget *>(nullptr);
  };
  QString shown, cancelling;
  int bar = -1;
  bool stayed = false;
  QTimer::singleShot(100, [&] {
    QWidget *d = dialog();
    ASSERT_NE(d, nullptr);
    shown = d->findChild<QLabel *>()->text();
    bar = d->findChild<QProgressBar *>()->value();
    if (const char *folder = std::getenv("KDR_SCREENSHOT_DIR")) {
      EXPECT_TRUE(d->grab().save(QString::fromUtf8(folder) + QStringLiteral("/progress-dialog.png"), "PNG"));
    }
    QTest::mouseClick(d->findChild<QPushButton *>(), Qt::LeftButton);
  });
  QTimer::singleShot(400, [&] {
    QWidget *d = dialog();
    stayed = d != nullptr;
    if (d) cancelling = d->findChild<QLabel *>()->text();
    QTest::keyClick(d, Qt::Key_Escape); // a second stop is not asked twice, nor does it close
    over = true;                        // the server has rolled the work back
  });
  QtDialogs().progressDlg("Cadastramento Automático", work);
  EXPECT_TRUE(started);
  EXPECT_EQ(shown, QStringLiteral("Copiando parâmetros: 420000 de 1000000 cliente(s)"));
  EXPECT_EQ(bar, 420000);
  EXPECT_TRUE(cancelAsked);
  EXPECT_TRUE(stayed) << "the dialog closed before the stop was done";
  EXPECT_TRUE(cancelling.startsWith(QStringLiteral("Cancelando"))) << cancelling.toStdString();
  EXPECT_EQ(dialog(), nullptr);
}

TEST_F(QtTest, TheWaitIndicatorShowsABusyCursorAndABoxOverTheWindow) {
  TForm *form = shownForm();
  showActive(form);
  Application().Wait().on();
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  QLabel *box = nullptr;
  for (auto *label : widgetOf(*form)->findChildren<QLabel *>())
    if (label->text() == QStringLiteral("Aguarde...")) box = label;
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  Application().Wait().off();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(box->isVisible());
}

TEST(QtFont, EveryAccentedLetterOfTheCataloguesIsInTheFont) {
  installOffscreen();
  const QFontMetrics metrics(QApplication::font());
  for (char32_t ch : std::u32string(U"áàâãéêíóôõúçÁÀÂÃÉÊÍÓÔÕÚÇ"))
    EXPECT_TRUE(metrics.inFontUcs4(ch)) << "U+" << std::hex << static_cast<unsigned>(ch);
}

} // namespace
} // namespace kdr::qt
