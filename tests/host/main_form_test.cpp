// The host's main window without a display: its menus and their access keys, the window list of
// Janela, Ajuda › Sobre and Arquivo › Sair.
#include <gtest/gtest.h>

#include <set>

#include "host/main_form.h"
#include "platform/host/zelnor.h"
#include "platform/ui/application.h"
#include "platform/ui/scripteduser.h"
#include "platform/ui/userdoor.h"

namespace kdr::host {
namespace {

class MainWindow : public ::testing::Test {
protected:
  MainWindow() {
    // Signed in as an operator who may open every screen.
    Zelnor::config.authorisations = {"FPCO", "FPDP", "FPCL"};
    Application().reset();
    Application().setDialogs(&user);
    frame = TForm::create<TfrmPrincipal>(&Application(),
                                         [this](std::string_view entry) { entries.emplace_back(entry); });
    Application().SetMainForm(frame);
    frame->Show();
  }
  ~MainWindow() override {
    user.finish();
    Application().reset();
    Application().setDialogs(nullptr);
    Zelnor::config = {};
  }

  // A screen the module would open: an MDI child of the frame.
  TForm *openScreen(const std::string &caption) {
    auto *screen = TForm::create<TForm>(&Application());
    screen->SetCaption(caption);
    screen->SetFormStyle(fsMDIChild);
    screen->OnClose = [](TComponent *, TCloseAction &action) { action = caFree; };
    screen->Show();
    return screen;
  }
  std::vector<std::string> listed() {
    std::vector<std::string> captions;
    for (TMenuItem *item : frame->mnuJanela->Items())
      captions.push_back(item->Caption() + (item->Checked() ? " *" : ""));
    return captions;
  }

  ScriptedUser user{[](const std::string &failure) { ADD_FAILURE() << failure; }};
  TfrmPrincipal *frame = nullptr;
  std::vector<std::string> entries;
};

TEST_F(MainWindow, EveryMenuAndItemHasAnAccessKeyNoTwoAlikeInOneMenu) {
  std::vector<TMenuItem *> menus{frame->mnuPrincipal->Items()};
  for (TMenuItem *menu : frame->mnuPrincipal->Items()->Items()) menus.push_back(menu);
  for (TMenuItem *menu : menus) {
    std::set<char> keys;
    for (TMenuItem *item : menu->Items()) {
      const std::string &caption = item->Caption();
      if (caption == "-") continue;
      const auto amp = caption.find('&');
      ASSERT_NE(amp, std::string::npos) << caption;
      EXPECT_TRUE(keys.insert(static_cast<char>(std::tolower(caption[amp + 1]))).second)
          << caption << " repeats an access key of its menu";
    }
  }
  EXPECT_EQ(frame->mnuPrincipal->Items()->Items().front(), frame->mnuArquivo);
  EXPECT_EQ(frame->mnuPrincipal->Items()->Items().back(), frame->mnuAjuda);
}

TEST_F(MainWindow, JanelaListsTheOpenScreensWhenItOpensAndChoosingOneBringsItForward) {
  user::clickMenu(*frame->mnuJanela);
  EXPECT_EQ(listed(), (std::vector<std::string>{"&Cascata", "&Lado a Lado"})) << "nothing open, no list";

  TForm *billing = openScreen("Parâmetros de Faturamento por Cliente");
  TForm *automatic = openScreen("Cadastramento Automático de Parâmetro de Faturamento por Cliente");
  user::clickMenu(*frame->mnuJanela);
  EXPECT_EQ(listed(), (std::vector<std::string>{
                          "&Cascata", "&Lado a Lado", "-", "&1 Parâmetros de Faturamento por Cliente",
                          "&2 Cadastramento Automático de Parâmetro de Faturamento por Cliente *"}));

  user::clickMenu(*static_cast<TMenuItem *>(frame->FindComponent("mnuJanela1")));
  EXPECT_EQ(Application().ActiveForm(), billing);

  // A screen closed (and freed, as the module's are) is gone from the list the next time it opens; the list
  // is not repeated.
  user::closeForm(*automatic);
  user::clickMenu(*frame->mnuJanela);
  EXPECT_EQ(listed(), (std::vector<std::string>{"&Cascata", "&Lado a Lado", "-",
                                                "&1 Parâmetros de Faturamento por Cliente *"}));
  user::closeForm(*billing);
}

TEST_F(MainWindow, SobreNamesTheVersionTheServerAndTheOperatorAndSairEndsTheProgram) {
  const Zelnor::HostConfig kept = Zelnor::config;
  Zelnor::config.webUrl = "10.0.0.5";
  Zelnor::config.webPort = 8020;
  Zelnor::config.user = "maria";
  user.expectMessage(mtInformation, std::string("KDR - Sistema de Gestão\nVersão ") + KDR_VERSION +
                                        "\nServidor: 10.0.0.5:8020\nOperador: maria");
  user::clickMenu(*frame->mnuSobre);
  user.verify();
  Zelnor::config = kept;

  user::clickMenu(*frame->mnuParamFatCli);
  EXPECT_EQ(entries, std::vector<std::string>{"IniProc"});
  EXPECT_FALSE(Application().Terminated());
  user::clickMenu(*frame->mnuSair);
  EXPECT_TRUE(Application().Terminated());
}

TEST_F(MainWindow, TheStatusBarNamesServerOperatorConnectionAndHowTheLocalCopyStands) {
  Zelnor::config.webUrl = "10.0.0.5";
  Zelnor::config.webPort = 8020;
  frame->showServer();
  EXPECT_EQ(frame->lblServidor->Caption(), "Servidor: 10.0.0.5:8020");
  EXPECT_FALSE(frame->lblOperador->Visible()) << "no operator signed in, none named";
  Zelnor::config.user = "maria";
  frame->showServer();
  EXPECT_EQ(frame->lblOperador->Caption(), "Operador: maria");
  EXPECT_TRUE(frame->lblOperador->Visible());
  Zelnor::config = {};

  frame->showConnection(false);
  EXPECT_EQ(frame->lblConexao->Caption(), "sem conexão");
  frame->showConnection(true);
  EXPECT_EQ(frame->lblConexao->Caption(), "ligado");

  frame->showLoading(120000, 1000000);
  EXPECT_EQ(frame->lblCopiaLocal->Caption(), "carregando 120.000 de 1.000.000 linhas");
  EXPECT_TRUE(frame->pgbCopiaLocal->Visible());
  EXPECT_EQ(frame->pgbCopiaLocal->Position(), 120000);
  EXPECT_EQ(frame->pgbCopiaLocal->Max(), 1000000);
  frame->showLoading(950, 0);
  EXPECT_EQ(frame->lblCopiaLocal->Caption(), "carregando 950 linhas") << "a server that cannot count";
  EXPECT_FALSE(frame->pgbCopiaLocal->Visible());
  frame->showUpdated("08:31");
  EXPECT_EQ(frame->lblCopiaLocal->Caption(), "atualizado às 08:31");
  EXPECT_FALSE(frame->pgbCopiaLocal->Visible());
}

} // namespace
} // namespace kdr::host
