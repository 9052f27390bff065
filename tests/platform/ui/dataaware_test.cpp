// Data-aware controls on a real client dataset: the grid's typing, pick lists, default keys,
// column exit and drawing; the bound edit's texts and its write on exit; the form dump.
#include "tests/platform/ui/uitest.h"

#include "platform/data/clientdataset.h"
#include "platform/data/datasource.h"
#include "platform/ui/buttons.h"
#include "platform/ui/dbctrls.h"
#include "platform/ui/dbgrids.h"
#include "platform/ui/dump.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/userdoor.h"

namespace kdr::test {
namespace {

// Rows of (flag, company code, company name); the flag shows as "Sim"/"Não" and is chosen from
// a pick list; the company column has an ellipsis button.
class DataAwareTest : public UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    auto &flag = cds.AddStringField("IDFLAG", 1);
    cds.AddStringField("CDEMPRESA", 2);
    cds.AddStringField("NMEMPRESA", 40);
    flag.OnGetText = [](TField &f, std::string &text, bool) {
      text = f.AsString() == "S" ? "Sim" : f.AsString() == "N" ? "Não" : "";
    };
    flag.OnSetText = [this](TField &f, const std::string &text) {
      log.push_back("SetText(" + text + ")");
      if (text == "Sim") f.SetAsString("S");
      if (text == "Não") f.SetAsString("N");
    };
    cds.CreateDataSet();
    src.SetDataSet(&cds);
    cds.AfterCancel = [this](TDataSet &) { log.push_back("AfterCancel"); };

    form = shownForm();
    grid = make<TDBGrid>(form, form, "dbgPadrao");
    grid->SetDataSource(&src);
    auto *c1 = grid->addColumn("IDFLAG");
    c1->Title.Caption = "Fatura";
    c1->PickList = {"Sim", "Não"};
    auto *c2 = grid->addColumn("CDEMPRESA");
    c2->Title.Caption = "Empresa";
    c2->ButtonStyle = cbsEllipsis;
    // The screens' filter: chosen columns take no typing, the company column digits only.
    grid->OnKeyPress = [this](TComponent *, char32_t &key) {
      if (grid->SelectedField()->FieldName() == "IDFLAG")
        key = 0;
      else if (!(key >= U'0' && key <= U'9') && key != 8)
        key = 0;
    };
    grid->OnColExit = [this](TComponent *) {
      log.push_back("ColExit(" + grid->SelectedField()->FieldName() + "=" +
                    grid->SelectedField()->AsString() + ")");
    };
  }
  void addRow(const char *flag, const char *code, const char *name) {
    cds.Append();
    cds.FieldByName("IDFLAG").SetAsString(flag);
    cds.FieldByName("CDEMPRESA").SetAsString(code);
    cds.FieldByName("NMEMPRESA").SetAsString(name);
    cds.Post();
  }
  TClientDataSet cds;
  TDataSource src;
  TForm *form;
  TDBGrid *grid;
};

TEST_F(DataAwareTest, ATypedKeyStartsTheEditAndAZeroedOneStartsNothing) {
  ASSERT_TRUE(user::clickCell(*grid, 0, 1));
  EXPECT_TRUE(user::type(*grid, "x"));
  EXPECT_EQ(cds.State(), dsBrowse);
  EXPECT_FALSE(grid->EditorMode());

  // On an empty dataset the edit becomes an insert.
  EXPECT_TRUE(user::type(*grid, "7"));
  EXPECT_EQ(cds.State(), dsInsert);
  EXPECT_EQ(grid->editorText(), "7");
  // Enter writes the cell but does not post (the screens' filter would discard Enter here).
  grid->OnKeyPress = nullptr;
  EXPECT_TRUE(user::press(*grid, VK_RETURN));
  EXPECT_EQ(cds.FieldByName("CDEMPRESA").AsString(), "7");
  EXPECT_EQ(cds.State(), dsInsert);
  cds.Post();

  // A browsed row goes into edit.
  user::type(*grid, "8");
  EXPECT_EQ(cds.State(), dsEdit);
  EXPECT_EQ(grid->editorText(), "8");
}

TEST_F(DataAwareTest, APickListChoiceReachesOnSetTextAtOnce) {
  addRow("S", "01", "Matriz");
  ASSERT_TRUE(user::focus(*grid));
  EXPECT_TRUE(user::type(*grid, "N"));
  EXPECT_EQ(cds.State(), dsBrowse) << "the pick column takes no typing";
  EXPECT_TRUE(user::choosePick(*grid, "Não"));
  EXPECT_EQ(log, std::vector<std::string>{"SetText(Não)"}) << "written before any column exit";
  EXPECT_EQ(cds.FieldByName("IDFLAG").AsString(), "N");
  EXPECT_EQ(cds.State(), dsEdit);
  EXPECT_EQ(grid->editorText(), "Não");
  EXPECT_FALSE(user::choosePick(*grid, "Talvez"));
}

TEST_F(DataAwareTest, EscRevertsTheCellThenCancelsTheRecord) {
  addRow("S", "01", "Matriz");
  user::clickCell(*grid, 0, 1);
  log.clear();
  user::type(*grid, "9");
  EXPECT_EQ(grid->editorText(), "9");
  user::press(*grid, VK_ESCAPE);
  EXPECT_EQ(grid->editorText(), "01");
  EXPECT_EQ(cds.State(), dsEdit);
  EXPECT_TRUE(log.empty());
  user::press(*grid, VK_ESCAPE);
  EXPECT_EQ(cds.State(), dsBrowse);
  EXPECT_EQ(log, std::vector<std::string>{"AfterCancel"});
}

TEST_F(DataAwareTest, TheEditorTextReachesTheFieldBeforeOnColExitAndARaisingColExitKeepsTheColumn) {
  addRow("S", "01", "Matriz");
  user::clickCell(*grid, 0, 1);
  EXPECT_EQ(log, std::vector<std::string>{"ColExit(IDFLAG=S)"})
      << "a click on another column leaves this one";
  log.clear();
  user::type(*grid, "5");
  user::press(*grid, VK_TAB, ssShift);
  EXPECT_EQ(log, std::vector<std::string>{"ColExit(CDEMPRESA=5)"});
  EXPECT_EQ(grid->SelectedIndex(), 0);

  grid->OnColExit = [](TComponent *) { throw Exception("Empresa não cadastrada."); };
  user().expectError("Empresa não cadastrada.");
  user::clickCell(*grid, 0, 1);
  EXPECT_EQ(grid->SelectedIndex(), 0);
}

// A field's FocusControl reaches the control showing it: the grid selects the field's column (a
// column exit, as the user's move) and takes the focus; a bound edit takes it; a field nobody
// shows moves nothing. The editor opened on a cell closes when the column changes.
TEST_F(DataAwareTest, FocusControlFindsTheFieldsControlAndAColumnMoveClosesTheEditor) {
  addRow("S", "01", "Matriz");
  auto *other = make<TEdit>(form, form, "edtOutro");
  user::focus(*other);
  dispatch([&] { cds.FieldByName("CDEMPRESA").FocusControl(); });
  EXPECT_TRUE(grid->Focused());
  EXPECT_EQ(grid->SelectedIndex(), 1);
  EXPECT_EQ(log, std::vector<std::string>{"ColExit(IDFLAG=S)"});
  dispatch([&] { cds.FieldByName("NMEMPRESA").FocusControl(); });
  EXPECT_TRUE(grid->Focused());

  auto *name = make<TDBEdit>(form, form, "dbeNome");
  name->SetDataSource(&src);
  name->SetDataField("NMEMPRESA");
  dispatch([&] { cds.FieldByName("NMEMPRESA").FocusControl(); });
  EXPECT_TRUE(name->Focused());

  user::clickCell(*grid, 0, 1);
  user::clickCell(*grid, 0, 1);
  ASSERT_TRUE(grid->EditorMode());
  user::press(*grid, VK_TAB, ssShift);
  EXPECT_FALSE(grid->EditorMode());
  user::press(*grid, VK_TAB);
  user::type(*grid, "7");
  EXPECT_EQ(grid->editorText(), "7") << "a character typed on a selected cell replaces its text";
  user::press(*grid, VK_ESCAPE);
  user::press(*grid, VK_ESCAPE);
  EXPECT_EQ(cds.State(), dsBrowse);
}

// A bound memo takes its maximum length from its string field: typing past it is refused as in a
// bound edit, and text set by code is not cut by the control.
TEST_F(DataAwareTest, ABoundMemoRefusesTypingPastItsFieldsSize) {
  addRow("S", "01", "Matriz");
  auto *memo = make<TDBMemo>(form, form, "dbDescreve");
  memo->SetDataSource(&src);
  memo->SetDataField("NMEMPRESA");
  EXPECT_EQ(memo->MaxLength(), 40);
  user::selectAll(*memo);
  user::type(*memo, std::string(45, 'x'));
  EXPECT_EQ(memo->Text(), std::string(40, 'x'));
  user::focus(*grid);
  EXPECT_EQ(cds.FieldByName("NMEMPRESA").AsString(), std::string(40, 'x'));
  cds.Cancel();
}

TEST_F(DataAwareTest, CtrlDeleteAsksFirstAndAKeyDownFilterSuppressesIt) {
  addRow("S", "01", "Matriz");
  user().expectMessage(mtConfirmation, "Excluir registro?", mrCancel);
  user::press(*grid, VK_DELETE, ssCtrl);
  EXPECT_EQ(cds.RecordCount(), 1u);
  grid->OnKeyDown = [](TComponent *, int &key, TShiftState shift) {
    if (key == VK_DELETE && shift.contains(ssCtrl)) key = 0;
  };
  user::press(*grid, VK_DELETE, ssCtrl);
  EXPECT_EQ(cds.RecordCount(), 1u);
  // Insert appends a row in insert state; Up away from it, untouched, drops it.
  user::press(*grid, VK_INSERT);
  EXPECT_EQ(cds.State(), dsInsert);
  user::press(*grid, VK_UP);
  EXPECT_EQ(cds.State(), dsBrowse);
  EXPECT_EQ(log, std::vector<std::string>{"AfterCancel"});
}

TEST_F(DataAwareTest, WhatADrawHandlerPaintsLastIsWhatTheCellShows) {
  addRow("S", "01", "Matriz");
  addRow("N", "02", "");
  addRow("", "", "Sem código");
  // The company cell shows the name; a blank code paints the cell empty.
  grid->OnDrawColumnCell = [this](TComponent *, const TRect &rect, int col, TColumn *, TGridDrawState) {
    if (col != grid->columnIndexOf("CDEMPRESA")) return;
    std::string text =
        cds.FieldByName("CDEMPRESA").IsNull() ? "" : cds.FieldByName("NMEMPRESA").DisplayText();
    grid->Canvas().FillRect(rect);
    if (!cds.FieldByName("NMEMPRESA").IsNull())
      grid->Canvas().TextRect(rect, rect.Left + 3, rect.Top + 3, text);
  };
  auto shown = grid->paint();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0], (std::vector<std::string>{"Sim", "Matriz"}));
  EXPECT_EQ(shown[1], (std::vector<std::string>{"Não", ""}));
  EXPECT_EQ(shown[2], (std::vector<std::string>{"", ""}));
  EXPECT_EQ(cds.RecNo(), 3u) << "painting moves no cursor";
}

TEST_F(DataAwareTest, ABoundEditShowsDisplayTextUnfocusedAndWritesThroughTextOnExit) {
  addRow("S", "01", "Matriz");
  auto &name = cds.FieldByName("NMEMPRESA");
  name.OnGetText = [](TField &f, std::string &text, bool display) {
    text = display ? "<" + f.AsString() + ">" : f.AsString();
  };
  name.OnSetText = [this](TField &f, const std::string &text) {
    log.push_back("SetText(" + text + ")");
    f.SetAsString(text);
  };
  auto *dbe = make<TDBEdit>(form, form, "dbeEmp");
  dbe->SetDataSource(&src);
  dbe->SetDataField("NMEMPRESA");
  dbe->OnExit = logs("dbe.Exit");
  EXPECT_EQ(dbe->Text(), "<Matriz>");
  EXPECT_EQ(dbe->MaxLength(), 40);
  ASSERT_TRUE(user::focus(*dbe));
  EXPECT_EQ(dbe->Text(), "Matriz");
  user::selectAll(*dbe);
  user::type(*dbe, "Filial");
  EXPECT_EQ(cds.State(), dsEdit);
  EXPECT_EQ(name.AsString(), "Matriz") << "nothing written while typing";
  user::focus(*grid);
  EXPECT_EQ(log, (std::vector<std::string>{"SetText(Filial)", "dbe.Exit"}));
  EXPECT_EQ(name.AsString(), "Filial");
  EXPECT_EQ(dbe->Text(), "<Filial>");

  // A failing write keeps the focus in the edit and skips its OnExit.
  name.OnSetText = [](TField &, const std::string &) { throw Exception("Valor inválido"); };
  user::focus(*dbe);
  user::type(*dbe, "x");
  log.clear();
  user().expectError("Valor inválido");
  EXPECT_FALSE(user::focus(*grid));
  EXPECT_EQ(form->focusedControl(), dbe);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(dbe->Text(), "Filialx") << "the user finds the typed text, to mend it";
  user().expectError("Valor inválido");
  EXPECT_FALSE(user::focus(*grid)) << "still pending, so written again";
  cds.Cancel();
}

TEST_F(DataAwareTest, PendingTextReachesTheFieldWhenAToolbarButtonPosts) {
  addRow("S", "01", "Matriz");
  auto *dbe = make<TDBEdit>(form, form, "dbeEmp");
  dbe->SetDataSource(&src);
  dbe->SetDataField("NMEMPRESA");
  auto *sbt = make<TSpeedButton>(form, form, "sbtConfirmar");
  sbt->OnClick = [this](TComponent *) { cds.Post(); };
  user::selectAll(*dbe);
  user::type(*dbe, "Filial");
  EXPECT_TRUE(user::click(*sbt));
  EXPECT_EQ(form->focusedControl(), dbe) << "a flat button takes no focus";
  EXPECT_EQ(cds.State(), dsBrowse);
  EXPECT_EQ(cds.FieldByName("NMEMPRESA").AsString(), "Filial");
}

TEST_F(DataAwareTest, AComboChoiceIsWrittenAtOnceAndTypingIsFiltered) {
  addRow("S", "01", "Matriz");
  // The unified-invoice combo: items are chosen; the one-character field keeps "N" of "Não".
  auto *dbc = make<TDBComboBox>(form, form, "dbcGeraNFUnif");
  dbc->SetItems({"Sim", "Não"});
  dbc->SetDataSource(&src);
  dbc->SetDataField("CDEMPRESA");
  dbc->OnKeyPress = [](TComponent *, char32_t &key) { key = 0; };
  EXPECT_EQ(dbc->Text(), "01");
  user::type(*dbc, "S");
  EXPECT_EQ(cds.State(), dsBrowse);
  EXPECT_TRUE(user::choose(*dbc, "Não"));
  EXPECT_EQ(cds.State(), dsEdit);
  EXPECT_EQ(cds.FieldByName("CDEMPRESA").AsString(), "Nã");
  EXPECT_FALSE(user::choose(*dbc, "Talvez"));
}

TEST_F(DataAwareTest, TheNavigatorFollowsTheStateAndAsksBeforeDeleting) {
  addRow("S", "01", "Matriz");
  addRow("N", "02", "Filial");
  auto *nav = make<TDBNavigator>(form, form, "dbnPadrao");
  nav->SetDataSource(&src);
  EXPECT_FALSE(nav->buttonEnabled(nbPost));
  EXPECT_TRUE(user::clickNavigator(*nav, nbLast));
  EXPECT_EQ(cds.RecNo(), 2u);
  EXPECT_FALSE(user::clickNavigator(*nav, nbNext)) << "already past the last row";
  EXPECT_TRUE(user::clickNavigator(*nav, nbFirst));
  EXPECT_EQ(cds.RecNo(), 1u);
  user()
      .expectMessage(mtConfirmation, "Excluir registro?", mrCancel)
      .expectMessage(mtConfirmation, "Excluir registro?", mrOk);
  EXPECT_TRUE(user::clickNavigator(*nav, nbDelete));
  EXPECT_EQ(cds.RecordCount(), 2u);
  EXPECT_TRUE(user::clickNavigator(*nav, nbDelete));
  EXPECT_EQ(cds.RecordCount(), 1u);
  EXPECT_TRUE(user::clickNavigator(*nav, nbEdit));
  EXPECT_TRUE(nav->buttonEnabled(nbCancel));
  EXPECT_FALSE(nav->buttonEnabled(nbEdit));
}

TEST_F(DataAwareTest, TheDumpOfASmallFormShowsTheGridAsTheUserSeesIt) {
  addRow("S", "01", "Matriz");
  addRow("N", "02", "Filial");
  form->SetCaption("Parâmetros");
  auto *sbt = make<TSpeedButton>(form, form, "sbtIncluir");
  sbt->SetHint("Incluir");
  auto *off = make<TSpeedButton>(form, form, "sbtExcluir");
  off->SetEnabled(false);
  user::clickCell(*grid, 0, 1);
  EXPECT_EQ(dumpForm(*form), "frmTest TForm \"Parâmetros\"\n"
                             "  dbgPadrao TDBGrid col=CDEMPRESA\n"
                             "      | Fatura | Empresa |\n"
                             "    > | Sim | [01] |\n"
                             "      | Não | 02 |\n"
                             "  sbtIncluir TSpeedButton hint=\"Incluir\"\n"
                             "  sbtExcluir TSpeedButton disabled\n"
                             "focused: dbgPadrao\n"
                             "buttons: sbtIncluir\n");
}

} // namespace
} // namespace kdr::test
