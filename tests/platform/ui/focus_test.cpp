// The focus manager: the exit chain innermost first, the enter chain outermost first, a handler
// that moves the focus abandons the rest, and an exception from an exit handler keeps the focus.
#include "tests/platform/ui/uitest.h"

#include "platform/ui/comctrls.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/userdoor.h"

namespace kdr::test {
namespace {

// Edit E in panel P; edit G on sheet S of page control C; a second sheet T with edit H.
class FocusTest : public UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    form = shownForm();
    P = make<TPanel>(form, form, "P");
    E = make<TEdit>(form, P, "E");
    C = make<TPageControl>(form, form, "C");
    S = make<TTabSheet>(form, C, "S");
    G = make<TEdit>(form, S, "G");
    T = make<TTabSheet>(form, C, "T");
    H = make<TEdit>(form, T, "H");
    for (TWinControl *c : std::initializer_list<TWinControl *>{P, E, C, S, G}) {
      c->OnEnter = logs(c->Name() + ".Enter");
      c->OnExit = logs(c->Name() + ".Exit");
    }
    ASSERT_TRUE(user::focus(*E));
    log.clear();
  }
  TForm *form;
  TPanel *P;
  TEdit *E, *G, *H;
  TPageControl *C;
  TTabSheet *S, *T;
};

TEST_F(FocusTest, LeavingAPanelRunsExitsInnermostFirstThenEntersOutermostFirst) {
  EXPECT_TRUE(user::focus(*G));
  EXPECT_EQ(log, (std::vector<std::string>{"E.Exit", "P.Exit", "C.Enter", "S.Enter", "G.Enter"}));
  EXPECT_EQ(form->focusedControl(), G);
  EXPECT_EQ(form->ActiveControl(), G);
}

TEST_F(FocusTest, AnExitHandlerThatRefocusesAndRaisesKeepsTheUserInThePanel) {
  E->OnExit = [&](TComponent *) {
    log.push_back("E.Exit");
    E->SetFocus();
    Abort();
  };
  EXPECT_FALSE(user::focus(*G));
  // The panel's exit and the target's enter never run; the edit is entered again.
  EXPECT_EQ(log, (std::vector<std::string>{"E.Exit", "E.Enter"}));
  EXPECT_EQ(form->focusedControl(), E);
  EXPECT_EQ(form->ActiveControl(), E);
  EXPECT_TRUE(user().transcript().empty()) << "a silent abort shows nothing";
}

TEST_F(FocusTest, AnExceptionFromAnExitHandlerIsShownAndTheFocusStaysOnTheControlLeft) {
  E->OnExit = [&](TComponent *) { throw Exception("Cliente deve ser informado."); };
  user().expectError("Cliente deve ser informado.");
  EXPECT_FALSE(user::focus(*G));
  EXPECT_EQ(form->focusedControl(), E);
  EXPECT_EQ(form->ActiveControl(), E);
  EXPECT_TRUE(log.empty()) << log.front();
}

TEST_F(FocusTest, TabFollowsTabOrderAndSkipsWhatCannotTakeTheFocus) {
  auto *E2 = make<TEdit>(form, P, "E2");
  auto *E3 = make<TEdit>(form, P, "E3");
  E2->SetEnabled(false);
  E3->SetTabOrder(0);
  // Tab order inside P is now E3, E, E2; then the page control and the shown sheet's G.
  EXPECT_TRUE(user::press(*E, VK_TAB));
  EXPECT_EQ(form->focusedControl(), C);
  EXPECT_TRUE(user::press(*C, VK_TAB));
  EXPECT_EQ(form->focusedControl(), G);
  EXPECT_TRUE(user::press(*G, VK_TAB));
  EXPECT_EQ(form->focusedControl(), E3);
  EXPECT_TRUE(user::press(*E3, VK_TAB, ssShift));
  EXPECT_EQ(form->focusedControl(), G);
}

TEST_F(FocusTest, WhatCannotBeReachedRefusesTheFocusAndTheUser) {
  // H sits on sheet T, which is not shown.
  EXPECT_THROW(H->SetFocus(), EInvalidOperation);
  EXPECT_FALSE(user::focus(*H));
  EXPECT_FALSE(user::type(*H, "1"));
  EXPECT_EQ(H->Text(), "");
  P->SetEnabled(false);
  EXPECT_THROW(E->SetFocus(), EInvalidOperation);
  EXPECT_FALSE(user::type(*E, "1"));
  // Disabling the container of the focused control took the focus away without events.
  EXPECT_EQ(form->focusedControl(), nullptr);
  EXPECT_TRUE(log.empty());
  auto *hidden = TForm::create<TForm>(&Application());
  auto *onHidden = make<TEdit>(hidden, hidden, "onHidden");
  EXPECT_THROW(onHidden->SetFocus(), EInvalidOperation);
}

TEST_F(FocusTest, DestroyingTheFocusedControlLeavesNoFocusBehind) {
  delete P; // takes E with it: E is owned by the form but parented by P
  EXPECT_EQ(form->focusedControl(), nullptr);
  EXPECT_EQ(form->ActiveControl(), nullptr);
  EXPECT_TRUE(user::focus(*G));
  EXPECT_EQ(form->focusedControl(), G);
}

TEST_F(FocusTest, ACodeSwitchOfPageMovesTheFocusUnlessTheExitHandlerKeepsIt) {
  ASSERT_TRUE(user::focus(*G));
  log.clear();
  G->OnExit = [&](TComponent *) {
    log.push_back("G.Exit");
    G->SetFocus();
    Abort();
  };
  dispatch([&] { C->SetActivePage(T); });
  EXPECT_EQ(C->ActivePage(), S) << "the exit handler kept the user on the page";
  EXPECT_EQ(form->focusedControl(), G);

  G->OnExit = logs("G.Exit");
  log.clear();
  dispatch([&] { C->SetActivePage(T); });
  EXPECT_EQ(C->ActivePage(), T);
  EXPECT_EQ(form->focusedControl(), H);
  EXPECT_EQ(log, (std::vector<std::string>{"G.Exit", "S.Exit"}));
}

} // namespace
} // namespace kdr::test
