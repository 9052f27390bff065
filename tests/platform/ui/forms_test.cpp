// Forms, pages, menus and the scripted user: modal runs, closing and release, page switches by
// user and by code, and the scripted user's loud failures.
#include "tests/platform/ui/uitest.h"

#include "platform/data/clientdataset.h"
#include "platform/ui/buttons.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/menus.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/userdoor.h"

namespace kdr::test {
namespace {

using FormTest = UiTest;

TEST_F(FormTest, OnlyAUserSwitchOfPageFiresOnChangingAndOnChange) {
  auto *form = shownForm();
  auto *pgc = make<TPageControl>(form, form, "pgcPadrao");
  auto *main = make<TTabSheet>(form, pgc, "tshPadrao");
  auto *other = make<TTabSheet>(form, pgc, "tshOutros");
  pgc->OnChanging = [&](TComponent *, bool &) { log.push_back("changing"); };
  pgc->OnChange = logs("change");

  pgc->SetActivePage(other);
  pgc->SetActivePage(main);
  EXPECT_TRUE(log.empty());

  other->SetEnabled(false);
  EXPECT_FALSE(user::switchPage(*pgc, *other)) << "a disabled sheet cannot be chosen by the user";
  EXPECT_EQ(pgc->ActivePage(), main);
  pgc->SetActivePage(other);
  EXPECT_EQ(pgc->ActivePage(), other) << "code can show a disabled sheet";

  other->SetEnabled(true);
  EXPECT_TRUE(user::switchPage(*pgc, *main));
  EXPECT_EQ(log, (std::vector<std::string>{"changing", "change"}));
  log.clear();
  pgc->OnChanging = [&](TComponent *, bool &allow) { allow = false; };
  EXPECT_FALSE(user::switchPage(*pgc, *other));
  EXPECT_EQ(pgc->ActivePage(), main);
  EXPECT_TRUE(log.empty());
}

// A dialog form with an edit and an OK button that sets the modal result.
class Dialog : public TForm {
public:
  explicit Dialog(TComponent *owner) : TForm(owner) {
    SetName("frmDialog");
    SetCaption("Descrição Padrão");
    edt = new TEdit(this);
    edt->SetName("edt");
    edt->SetParent(this);
    ok = new TSpeedButton(this);
    ok->SetName("sbtOk");
    ok->SetParent(this);
    ok->OnClick = [this](TComponent *) { SetModalResult(mrOk); };
  }
  TEdit *edt;
  TSpeedButton *ok;
};

TEST_F(FormTest, AModalFormIsDrivenByTheScriptedUserAndSurvivesForTheNextRun) {
  auto *caller = shownForm();
  caller->OnActivate = logs("caller.Activate");
  auto *edtCaller = make<TEdit>(caller, caller, "edtCaller");
  Dialog *dlg = nullptr;
  Application().CreateForm(dlg);
  dlg->OnShow = logs("dlg.Show");
  dlg->OnActivate = logs("dlg.Activate");
  dlg->OnClose = [&](TComponent *, TCloseAction &action) {
    log.push_back(action == caHide ? "dlg.Close(hide)" : "dlg.Close(?)");
  };
  user().expectModal("frmDialog", [&](TForm &) {
    EXPECT_FALSE(user::type(*edtCaller, "x")) << "the caller is blocked behind the modal form";
    user::type(*dlg->edt, "abc");
    user::click(*dlg->ok);
  });
  int result = 0;
  dispatch([&] { result = dlg->ShowModal(); });
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(dlg->edt->Text(), "abc");
  EXPECT_FALSE(dlg->Visible());
  EXPECT_EQ(log,
            (std::vector<std::string>{"dlg.Show", "dlg.Activate", "dlg.Close(hide)", "caller.Activate"}));

  // Closed by the user: the result is Cancel, and the same object runs again.
  user().expectModal("frmDialog", [&](TForm &f) { user::closeForm(f); });
  dispatch([&] { result = dlg->ShowModal(); });
  EXPECT_EQ(result, mrCancel);
  user().keep("frmDialog");
  dlg->Show();
  EXPECT_THROW(dlg->ShowModal(), EInvalidOperation) << "a visible form cannot go modal";
}

TEST(ScriptedUserTest, AModalScriptThatLeavesTheFormOpenFailsLoudly) {
  Application().reset();
  ScriptedUser u([](const std::string &) {});
  auto *dlg = TForm::create<Dialog>(&Application());
  u.expectModal("", [](TForm &) {});
  EXPECT_THROW(dispatch([&] { dlg->ShowModal(); }), ScriptFailure);
  EXPECT_FALSE(dlg->Modal()) << "the modal run was unwound";
  EXPECT_THROW(u.verify(), ScriptFailure);
  Application().reset();
}

TEST_F(FormTest, ReleaseWaitsUntilTheRunningEventEnds) {
  auto *form = shownForm<Dialog>();
  Ref<TForm> alive(form);
  bool aliveAfterClose = false;
  form->OnClose = [](TComponent *, TCloseAction &action) { action = caFree; };
  form->ok->OnClick = [&](TComponent *) {
    form->Close();
    aliveAfterClose = alive && form->edt->Text().empty();
  };
  EXPECT_TRUE(user::click(*form->ok));
  EXPECT_TRUE(aliveAfterClose) << "the form was destroyed inside its own handler";
  EXPECT_FALSE(alive) << "released after the handler returned";

  // Hide keeps the object.
  auto *kept = shownForm<Dialog>("frmKept");
  Ref<TForm> keptAlive(kept);
  EXPECT_TRUE(user::closeForm(*kept));
  EXPECT_TRUE(keptAlive);
  EXPECT_FALSE(kept->Visible());
  EXPECT_FALSE(user::click(*kept->ok)) << "nothing on a hidden form reacts";
}

TEST_F(FormTest, AnExceptionInOnCreateIsShownAndTheFormStillExists) {
  struct Failing : TForm {
    explicit Failing(TComponent *owner) : TForm(owner) {
      OnCreate = [this](TComponent *) {
        SetCaption("antes");
        throw Exception("Falha ao carregar");
      };
    }
  };
  user().expectError("Falha ao carregar");
  Failing *f = nullptr;
  Application().CreateForm(f);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(Application().MainForm(), f) << "the first form made by CreateForm is the main form";
  EXPECT_EQ(f->Caption(), "antes");
  f->Show();
  EXPECT_TRUE(f->Visible());
}

TEST_F(FormTest, AFormReleasedDuringAModalRunGoesOnlyAfterTheOutermostAction) {
  auto *other = shownForm<Dialog>("frmOther");
  Ref<TForm> otherAlive(other);
  auto *dlg = TForm::create<Dialog>(&Application());
  dlg->ok->OnClick = [&](TComponent *) {
    other->Release();
    dlg->SetModalResult(mrOk);
  };
  user().expectModal("frmDialog", [&](TForm &) {
    user::click(*dlg->ok);
    EXPECT_TRUE(otherAlive) << "released, but the modal run is still inside an action";
  });
  dispatch([&] { dlg->ShowModal(); });
  EXPECT_FALSE(otherAlive);
}

TEST_F(FormTest, AnMdiChildShowsAtCreationAndMinimisesOnClose) {
  struct Child : TForm {
    explicit Child(TComponent *owner) : TForm(owner) { SetFormStyle(fsMDIChild); }
  };
  auto *main = TForm::create<TForm>(&Application());
  Application().SetMainForm(main);
  Child *child = nullptr;
  Application().CreateForm(child);
  child->SetName("frmChild");
  user().keep("frmChild");
  EXPECT_TRUE(child->Visible());
  EXPECT_THROW(child->ShowModal(), EInvalidOperation);
  user::closeForm(*child);
  EXPECT_EQ(child->WindowState(), wsMinimized);
}

TEST_F(FormTest, HandleExceptionShowsEveryMessageButTheSilentAbort) {
  auto *form = shownForm<Dialog>();
  form->ok->OnClick = [](TComponent *) { Abort(); };
  user::click(*form->ok);
  form->ok->OnClick = [](TComponent *) { throw std::runtime_error("falha de rede"); };
  user().expectError("falha de rede");
  user::click(*form->ok);
  EXPECT_EQ(user().transcript().size(), 1u);
}

TEST_F(FormTest, MenuItemsReactOnlyWhenEnabled) {
  auto *form = shownForm();
  auto *menu = new TMainMenu(form);
  auto *op = new TMenuItem(form);
  auto *outros = new TMenuItem(form);
  outros->SetName("mnuOutros");
  menu->Items()->Add(op);
  op->Add(outros);
  outros->OnClick = logs("outros");
  outros->SetEnabled(false);
  EXPECT_FALSE(user::clickMenu(*outros));
  outros->SetEnabled(true);
  EXPECT_TRUE(user::clickMenu(*outros));
  EXPECT_EQ(log, std::vector<std::string>{"outros"});
  EXPECT_EQ(form->find<TMenuItem>("MNUOUTROS"), outros) << "found by name regardless of case";
}

TEST(ScriptedUserTest, AnUnexpectedDialogEscapesTheDispatchBoundary) {
  Application().reset();
  ScriptedUser u([](const std::string &) {});
  bool after = false;
  EXPECT_THROW(dispatch([&] {
                 Application().dialogs().messageDlg("", "Confirma exclusão?", mtConfirmation, {mbYes, mbNo});
                 after = true;
               }),
               ScriptFailure);
  EXPECT_FALSE(after);
  EXPECT_THROW(u.verify(), ScriptFailure);
}

TEST(ScriptedUserTest, ADialogOutOfOrderFailsAtOnceAndAgainAtTeardown) {
  Application().reset();
  std::vector<std::string> reported;
  {
    ScriptedUser u([&](const std::string &m) { reported.push_back(m); });
    u.expectMessage(mtInformation, "Cliente(s) Importado com Sucesso.");
    EXPECT_THROW(
        Application().dialogs().question("", "Deseja importar a descrição?", mtConfirmation, {"Sim", "Não"}),
        ScriptFailure);
  }
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_NE(reported[0].find("unexpected dialog: question \"Deseja importar a descrição?\" while expecting "
                             "information \"Cliente(s) Importado com Sucesso.\""),
            std::string::npos)
      << reported[0];
  EXPECT_NE(reported[0].find("expected but never shown"), std::string::npos) << reported[0];
}

TEST(ScriptedUserTest, ExpectationsAreAnsweredInOrderAndLeftoversAreReported) {
  Application().reset();
  std::vector<std::string> reported;
  {
    ScriptedUser u([&](const std::string &m) { reported.push_back(m); });
    u.expectQuestion("Deseja importar a descrição?", "Sim")
        .expectMessage(mtConfirmation, "Cancelar operação?", mrCancel);
    u.expectError("nunca mostrada");
    auto &d = Application().dialogs();
    EXPECT_EQ(d.question("", "Deseja importar a descrição?", mtConfirmation, {"Sim", "Não"}), 10);
    EXPECT_EQ(d.messageDlg("", "Cancelar operação?", mtConfirmation, {mbYes, mbNo}), mrNo)
        << "Esc answers No";
    EXPECT_NE(u.transcriptText().find("question \"Deseja importar a descrição?\" {Sim, Não} -> Sim"),
              std::string::npos)
        << u.transcriptText();
  }
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_NE(reported[0].find("expected but never shown: error \"nunca mostrada\""), std::string::npos)
      << reported[0];
}

TEST(WaitIndicatorTest, OffWhenNotOnDoesNothing) {
  Application().reset();
  auto &w = Application().Wait();
  int changes = 0;
  w.onChange = [&](bool) { ++changes; };
  w.off();
  w.on();
  w.on();
  w.off();
  w.off();
  EXPECT_EQ(changes, 2);
  EXPECT_FALSE(w.isOn());
}

// What a test leaves behind fails it: a screen still shown, a row still being edited, unless
// the test said it keeps them. The main form is the host's frame and never counts.
TEST(ScriptedUserTest, FinishReportsAScreenLeftOpenAndARowLeftEditingUnlessKept) {
  Application().reset();
  std::vector<std::string> reported;
  {
    ScriptedUser u([&](const std::string &m) { reported.push_back(m); });
    auto *frame = TForm::create<TForm>(&Application());
    Application().SetMainForm(frame);
    frame->Show();
    auto *screen = TForm::create<TForm>(&Application());
    screen->SetName("frmTela");
    screen->Show();
    auto *rows = new TClientDataSet(screen);
    rows->SetName("cdsLinhas");
    rows->AddStringField("A", 1);
    rows->CreateDataSet();
    rows->Insert();
    EXPECT_EQ(u.leftovers(),
              (std::vector<std::string>{"form frmTela left open", "dataset cdsLinhas left in insert state"}));
    EXPECT_THROW(u.finish(), ScriptFailure);
    u.keep("FRMTELA").keep("cdsLinhas");
    EXPECT_NO_THROW(u.finish());
  }
  EXPECT_TRUE(reported.empty()) << reported.front();
  {
    // Without finish, the teardown reports it.
    ScriptedUser u([&](const std::string &m) { reported.push_back(m); });
  }
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_NE(reported[0].find("frmTela left open"), std::string::npos) << reported[0];
  Application().reset();
}

// A message may be expected by its kind and a pattern for words the test does not own.
TEST(ScriptedUserTest, AMessageMatchesByKindAndPattern) {
  Application().reset();
  ScriptedUser u([](const std::string &) {});
  Dialogs &dialogs = Application().dialogs();
  u.expectMessageLike(mtError, "Falha*porta 8020*");
  EXPECT_EQ(dialogs.messageDlg("", "Falha ao conectar em 127.0.0.1, porta 8020.", mtError, {mbOK}), mrOk);
  u.expectMessageLike(mtError, "*");
  EXPECT_EQ(dialogs.messageDlg("", "", mtError, {mbOK}), mrOk);
  u.expectMessageLike(mtError, "Falha*");
  EXPECT_THROW(dialogs.messageDlg("", "Falha de rede", mtWarning, {mbOK}), ScriptFailure) << "another kind";
  EXPECT_THROW(u.verify(), ScriptFailure);
}

} // namespace
} // namespace kdr::test
