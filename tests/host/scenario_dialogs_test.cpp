// The scenario's answers to questions as a screen of the host asks them: custom captions, a default
// button, standard buttons, texts that count.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "host/package_loader.h"
#include "host/scenario/scenario_runner.h"
#include "platform/host/dialog_services.h"
#include "platform/ui/buttons.h"
#include "platform/ui/forms.h"

namespace kdr::host::scenario {
namespace {

// What a scenario made of the expect line and a click on a button that asks gave the screen.
struct Asked {
  RunResult run;
  int received = 0;
};

Asked answerOnClick(const std::string &expectLine, const std::function<int()> &ask) {
  TForm *form = TForm::create<TForm>(&Application());
  form->SetName("frmTeste");
  Application().SetMainForm(form);
  form->Show();
  Asked asked;
  auto *button = placed<TSpeedButton>(form, "sbtPergunta", form);
  button->OnClick = [&](TComponent *) { asked.received = ask(); };
  Script script = parseScript(expectLine + "\nclick sbtPergunta\n", "t.kdr");
  PackageLoader package;
  std::ostringstream out;
  asked.run = ScenarioRunner(script, package, form, out).run();
  Application().reset();
  return asked;
}

void expectOutcome(const Asked &asked, bool passes, int result, const std::string &line) {
  EXPECT_EQ(asked.run.passed, passes) << line << ": " << asked.run.message;
  if (passes) {
    EXPECT_EQ(asked.received, result) << line;
  } else {
    EXPECT_EQ(asked.run.line, 2) << line;
  }
}

// Enter presses the question's default button, whichever the screen made it.
TEST(ScenarioDialogs, CustomCaptionQuestionTakesOnlyItsOwnCaptionsEnterOrCancel) {
  struct Case {
    const char *answer;
    int defaultButton;
    bool passes;
    int result; // what the screen received
  } cases[] = {
      {"Não", 0, true, mrFirstCaption + 1},
      {"Cancel", 0, true, mrCancel},
      {"Enter", 0, true, mrFirstCaption},
      {"Enter", 1, true, mrFirstCaption + 1},
      {"Yes", 0, false, 0}, // not a caption of this question: the run stops instead of closing it
  };
  for (const auto &c : cases) {
    const std::string line = std::string("expect question Importar? answer \"") + c.answer + "\"";
    expectOutcome(
        answerOnClick(
            line,
            [&] {
              return Tmsgaler::MsgAlertEx("Importar?", mtConfirmation, {"Sim", "Não"}, 2, c.defaultButton, 0);
            }),
        c.passes, c.result, line);
  }
}

// A question that counts is answered by a pattern, whether it has captions of its own or the
// standard Yes and No; a pattern that does not match stops the run at the action.
TEST(ScenarioDialogs, QuestionLikeMatchesTheCountedText) {
  struct Case {
    const char *expect;
    bool custom; // custom captions, else the standard Yes and No
    bool passes;
    int result;
  } cases[] = {
      {"expect question like \"Copiar para * cliente(s)?\" answer Sim", true, true, mrFirstCaption},
      {"expect question like \"Copiar para * cliente(s)?\" answer Yes", false, true, mrYes},
      {"expect question like \"Copiar para *\" answer No", false, true, mrNo},
      {"expect question like \"Excluir * cliente(s)?\" answer Sim", true, false, 0},
      {"expect question \"Copiar para * cliente(s)?\" answer Sim", true, false, 0}, // no pattern: exact
  };
  for (const auto &c : cases) {
    const std::string text = "Copiar para 12 cliente(s)?";
    expectOutcome(answerOnClick(c.expect,
                                [&] {
                                  return c.custom ? Tmsgaler::MsgAlertEx(text, mtConfirmation, {"Sim", "Não"})
                                                  : Application().dialogs().messageDlg(
                                                        "", text, mtConfirmation, {mbYes, mbNo});
                                }),
                  c.passes, c.result, c.expect);
  }
}

} // namespace
} // namespace kdr::host::scenario
