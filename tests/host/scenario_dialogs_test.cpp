// The scenario's answers against the dialog kinds that the module's own screens do not bring up
// yet: a custom-caption question asked by a screen of the host.
#include <gtest/gtest.h>

#include <sstream>

#include "host/package_loader.h"
#include "host/scenario/scenario_runner.h"
#include "platform/host/dialog_services.h"
#include "platform/ui/buttons.h"
#include "platform/ui/forms.h"

namespace kdr::host::scenario {
namespace {

TEST(ScenarioDialogs, CustomCaptionQuestionTakesOnlyItsOwnCaptionsOrCancel) {
  struct Case {
    const char *answer;
    bool passes;
    int result; // what the screen received
  } cases[] = {
      {"Não", true, mrFirstCaption + 1},
      {"Cancel", true, mrCancel},
      {"Yes", false, 0}, // not a caption of this question: the run stops instead of closing it
  };
  for (const auto &c : cases) {
    TForm *form = TForm::create<TForm>(&Application());
    form->SetName("frmTeste");
    Application().SetMainForm(form);
    form->Show();
    int received = 0;
    auto *button = placed<TSpeedButton>(form, "sbtPergunta", form);
    button->OnClick = [&](TComponent *) {
      received = Tmsgaler::MsgAlertEx("Importar?", mtConfirmation, {"Sim", "Não"}, 2, 0, 0);
    };
    Script script = parseScript(
        std::string("expect question Importar? answer \"") + c.answer + "\"\nclick sbtPergunta\n", "t.kdr");
    PackageLoader package;
    std::ostringstream out;
    RunResult r = ScenarioRunner(script, package, form, out).run();
    EXPECT_EQ(r.passed, c.passes) << c.answer << ": " << r.message;
    if (c.passes) {
      EXPECT_EQ(received, c.result) << c.answer;
    } else {
      EXPECT_EQ(r.line, 2) << c.answer;
    }
    Application().reset();
  }
}

} // namespace
} // namespace kdr::host::scenario
