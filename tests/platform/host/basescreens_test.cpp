#include "platform/host/basescreens.h"

#include "platform/data/clientdataset.h"
#include "platform/ui/userdoor.h"
#include "tests/platform/host/host_fixture.h"

namespace kdr {
namespace {

// A small grid screen over two companies, as a screen derived from the base builds it.
class frmEmpresas : public TfrmPadraoGrid {
public:
  explicit frmEmpresas(TComponent *owner) : TfrmPadraoGrid(owner) {
    SetName("frmEmpresas");
    sbtExtra = placed<TButtonFlat>(this, "sbtExtra", panMenu);
    cds.AddStringField("CDEMPRESA", 2);
    cds.AddStringField("NMEMPRESA", 40);
    cds.CreateDataSet();
    for (const auto &[code, name] : {std::pair{"01", "Matriz"}, std::pair{"02", "Filial"}}) {
      cds.Append();
      cds.FieldByName("CDEMPRESA").SetAsString(code);
      cds.FieldByName("NMEMPRESA").SetAsString(name);
      cds.Post();
    }
    cds.MergeChangeLog();
    cds.First();
    dtsPadrao->SetDataSet(&cds);
  }

  // A screen's own command, made after the base's data source, follows the state too.
  void dtsPadraoStateChange(TComponent *Sender) override {
    TfrmPadraoGrid::dtsPadraoStateChange(Sender);
    sbtExtra->SetEnabled(dtsPadrao->State() == dsBrowse);
  }

  void FormCreate(TComponent *Sender) override {
    TfrmPadraoGrid::FormCreate(Sender);
    calls.push_back("FormCreate");
  }

  TClientDataSet &cds = *make<TClientDataSet>(this, "cdsEmpresa");
  TButtonFlat *sbtExtra;
  std::vector<std::string> calls;
};

class BaseGridScreenTest : public test::HostTest {
protected:
  void SetUp() override {
    Application().CreateForm(form);
    form->Show();
  }
  frmEmpresas *form = nullptr;
};

TEST_F(BaseGridScreenTest, LayoutAndCreation) {
  EXPECT_EQ(form->calls, std::vector<std::string>{"FormCreate"});
  EXPECT_EQ(form->pgcPadrao->ActivePage(), form->tshPadrao);
  for (const char *name :
       {"lblCodTela", "panMenu", "sbtIncluir", "sbtExcluir", "sbtProcurar", "sbtVerificar", "sbtConfirmar",
        "sbtCancelar", "sbtImprimir", "pgcPadrao", "tshPadrao", "dbgPadrao", "dbnPadrao", "dbtNome",
        "msgPadrao", "mnuMenu", "mnuOperacao", "mnuIncluir", "mnuCancelar"})
    EXPECT_NE(form->FindComponent(name), nullptr) << name;
  EXPECT_FALSE(form->sbtConfirmar->Enabled());
  EXPECT_FALSE(form->mnuConfirmar->Enabled());
  EXPECT_TRUE(form->mnuExcluir->Enabled());

  // The commands follow the dataset's state, each menu item with its button.
  form->cds.Edit();
  EXPECT_TRUE(form->mnuConfirmar->Enabled());
  EXPECT_FALSE(form->sbtIncluir->Enabled());
  EXPECT_FALSE(form->mnuExcluir->Enabled());
  form->cds.Cancel();
  form->cds.Close();
  EXPECT_FALSE(form->sbtExcluir->Enabled());
  EXPECT_TRUE(form->sbtIncluir->Enabled());
  EXPECT_EQ(form->msgPadraoGrid->Msg("excl"), "Confirma exclusão?");
}

TEST_F(BaseGridScreenTest, InsertTypedAndConfirmed) {
  ASSERT_TRUE(user::click(*form->sbtIncluir));
  EXPECT_EQ(form->cds.State(), dsInsert);
  EXPECT_FALSE(user::click(*form->sbtIncluir)) << "insert is not offered while inserting";
  user::type(*form->dbgPadrao, "03");
  ASSERT_TRUE(user::click(*form->sbtConfirmar));
  EXPECT_EQ(form->cds.State(), dsBrowse);
  EXPECT_EQ(form->cds.RecordCount(), 3u);
  EXPECT_TRUE(form->cds.Locate("CDEMPRESA", Variant("03")));
}

TEST_F(BaseGridScreenTest, CancelAsksFirst) {
  user::click(*form->sbtIncluir);
  user::type(*form->dbgPadrao, "04");

  user().expectMessage(mtConfirmation, "Cancelar operação?", mrNo);
  user::click(*form->sbtCancelar);
  EXPECT_EQ(form->cds.State(), dsInsert);

  user().expectMessage(mtConfirmation, "Cancelar operação?", mrYes);
  user::clickMenu(*form->mnuCancelar);
  EXPECT_EQ(form->cds.State(), dsBrowse);
  EXPECT_EQ(form->cds.RecordCount(), 2u);
}

TEST_F(BaseGridScreenTest, DeleteAsksFirst) {
  user().expectMessage(mtConfirmation, "Confirma exclusão?", mrNo);
  user::click(*form->sbtExcluir);
  EXPECT_EQ(form->cds.RecordCount(), 2u);

  user().expectMessage(mtConfirmation, "Confirma exclusão?", mrYes);
  user::click(*form->sbtExcluir);
  EXPECT_EQ(form->cds.RecordCount(), 1u);
  EXPECT_EQ(form->cds.FieldByName("CDEMPRESA").AsString(), "02");
}

TEST_F(BaseGridScreenTest, FindFromTheToolbarAndWithCtrlF) {
  user().expectFind("Fil");
  user::click(*form->sbtProcurar);
  EXPECT_EQ(form->cds.FieldByName("CDEMPRESA").AsString(), "02");

  form->cds.First();
  user().expectFind("Fil");
  user::press(*form->dbgPadrao, 'F', ssCtrl);
  EXPECT_EQ(form->cds.FieldByName("CDEMPRESA").AsString(), "02");

  // A disabled Procurar means no find dialog from the keyboard either.
  form->setCommandEnabled(form->sbtProcurar, false);
  user::press(*form->dbgPadrao, 'F', ssCtrl);
}

// The screen's dataset and its own button go before the base's data source: freeing the screen in
// the middle of an edit must reach no command.
TEST_F(BaseGridScreenTest, AScreenFreedWhileEditingReachesNoCommand) {
  EXPECT_EQ(form->FindComponent("dtsPadrao"), form->dtsPadrao);
  EXPECT_EQ(form->FindComponent("dtsPadrao"), form->Components(0)) << "made before anything bound to it";
  ASSERT_TRUE(user::click(*form->sbtIncluir));
  user::type(*form->dbgPadrao, "03");
  ASSERT_EQ(form->cds.State(), dsInsert);
  EXPECT_FALSE(form->sbtExtra->Enabled());
  delete form;
  form = nullptr;
  EXPECT_TRUE(Application().forms().empty());
}

TEST_F(BaseGridScreenTest, RoutineScreenHasItsParts) {
  TfrmRotiGeral *roti = nullptr;
  Application().CreateForm(roti);
  for (const char *name : {"lblCodTela", "panMenu", "sbtConfirma", "grbDadosRel", "msgPadrao"})
    EXPECT_NE(roti->FindComponent(name), nullptr) << name;
  TCloseAction action = caHide;
  roti->FormClose(roti, action);
  EXPECT_EQ(action, caHide);
}

} // namespace
} // namespace kdr
