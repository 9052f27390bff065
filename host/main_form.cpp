#include "host/main_form.h"

#include <algorithm>
#include <climits>

#include "platform/host/zelnor.h"
#include "platform/ui/application.h"
#include "platform/ui/dialogs.h"

namespace kdr::host {

TfrmPrincipal::TfrmPrincipal(TComponent *owner, std::function<void(std::string_view)> callEntry)
    : TForm(owner), callEntry_(std::move(callEntry)) {
  SetName("frmPrincipal");
  SetCaption("KDR - Sistema de Gestão");
  mnuPrincipal = new TMainMenu(this);
  mnuPrincipal->SetName("mnuPrincipal");
  TMenuItem *bar = mnuPrincipal->Items();
  mnuArquivo = addItem(bar, "mnuArquivo", "&Arquivo");
  mnuSair = addItem(mnuArquivo, "mnuSair", "&Sair", [this] { Close(); });
  mnuFaturamento = addItem(bar, "mnuFaturamento", "&Faturamento");
  mnuParamFatCli = addEntry("mnuParamFatCli", "&Parâmetros de Faturamento por Cliente", "IniProc");
  mnuDescPad = addEntry("mnuDescPad", "&Descrição Padrão", "CriaDescPad");
  mnuImportacaoParam =
      addEntry("mnuImportacaoParam", "&Cadastramento Automático de Parâmetro de Faturamento por Cliente",
               "CriaImportacaoParam");
  mnuJanela = addItem(bar, "mnuJanela", "&Janela");
  mnuJanela->OnClick = [this](TComponent *) { listScreens(); };
  mnuCascata = addItem(mnuJanela, "mnuCascata", "&Cascata", [this] { Cascade(); });
  mnuLadoALado = addItem(mnuJanela, "mnuLadoALado", "&Lado a Lado", [this] { Tile(); });
  mnuAjuda = addItem(bar, "mnuAjuda", "Aj&uda");
  mnuSobre = addItem(mnuAjuda, "mnuSobre", "&Sobre...",
                     [] { Application().dialogs().messageDlg("Sobre", aboutText(), mtInformation, {mbOK}); });

  stbPrincipal = placed<TPanel>(this, "stbPrincipal", this);
  stbPrincipal->SetAlign(alBottom);
  stbPrincipal->SetHeight(20);
  lblServidor = placed<TLabel>(this, "lblServidor", stbPrincipal);
  lblOperador = placed<TLabel>(this, "lblOperador", stbPrincipal);
  lblConexao = placed<TLabel>(this, "lblConexao", stbPrincipal);
  lblCopiaLocal = placed<TLabel>(this, "lblCopiaLocal", stbPrincipal);
  pgbCopiaLocal = placed<TProgressBar>(this, "pgbCopiaLocal", stbPrincipal);
  pgbCopiaLocal->SetWidth(120);
  pgbCopiaLocal->SetHeight(14);
  pgbCopiaLocal->SetVisible(false);
  showServer();
  showAuthorisations();
}

// The codes are the server's (docs/wire.md): the server refuses the calls anyway; the menu only
// spares the operator a screen that could do nothing.
void TfrmPrincipal::showAuthorisations() {
  mnuParamFatCli->SetEnabled(Zelnor::Holds("FPCO"));
  mnuDescPad->SetEnabled(Zelnor::Holds("FPDP"));
  mnuImportacaoParam->SetEnabled(Zelnor::Holds("FPCL") || Zelnor::Holds("FPCT"));
}

void TfrmPrincipal::showServer() {
  lblServidor->SetCaption("Servidor: " + Zelnor::WebURL() + ":" + std::to_string(Zelnor::WebPort()));
  const std::string user = Zelnor::WebUser();
  lblOperador->SetCaption(user.empty() ? "" : "Operador: " + user);
  lblOperador->SetVisible(!user.empty());
}

void TfrmPrincipal::showConnection(bool connected) {
  lblConexao->SetCaption(connected ? "ligado" : "sem conexão");
}

void TfrmPrincipal::showLoading(std::size_t done, std::size_t total) {
  lblCopiaLocal->SetCaption(loadingText(done, total));
  pgbCopiaLocal->SetVisible(total > 0);
  const auto rows = [](std::size_t n) { return static_cast<int>(std::min<std::size_t>(n, INT_MAX)); };
  pgbCopiaLocal->SetProgress(rows(done), rows(total));
}

void TfrmPrincipal::showUpdated(const std::string &time) {
  lblCopiaLocal->SetCaption("atualizado às " + time);
  pgbCopiaLocal->SetVisible(false);
}

namespace {

// 1234567 as "1.234.567".
std::string grouped(std::size_t n) {
  std::string digits = std::to_string(n), out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += '.';
    out += digits[i];
  }
  return out;
}

} // namespace

std::string TfrmPrincipal::loadingText(std::size_t done, std::size_t total) {
  return "carregando " + grouped(done) + (total ? " de " + grouped(total) : std::string()) + " linhas";
}

TMenuItem *TfrmPrincipal::addItem(TMenuItem *menu, const char *name, const char *caption,
                                  std::function<void()> action) {
  auto *item = new TMenuItem(this);
  item->SetName(name);
  item->SetCaption(caption);
  if (action) item->OnClick = [action = std::move(action)](TComponent *) { action(); };
  menu->Add(item);
  return item;
}

TMenuItem *TfrmPrincipal::addEntry(const char *name, const char *caption, const char *entry) {
  return addItem(mnuFaturamento, name, caption, [this, entry] { callEntry_(entry); });
}

std::string TfrmPrincipal::aboutText() {
  const std::string user = Zelnor::WebUser();
  return std::string("KDR - Sistema de Gestão\nVersão ") + KDR_VERSION + "\nServidor: " + Zelnor::WebURL() +
         ":" + std::to_string(Zelnor::WebPort()) + "\nOperador: " + (user.empty() ? "(nenhum)" : user);
}

void TfrmPrincipal::listScreens() {
  for (TMenuItem *old : screenItems_) {
    mnuJanela->Remove(old);
    delete old;
  }
  screenItems_.clear();
  int n = 0;
  for (TForm *form : Application().forms()) {
    if (form == this || !form->Visible()) continue;
    if (n == 0) screenItems_.push_back(addItem(mnuJanela, "", "-"));
    ++n;
    Ref<TForm> target(form);
    TMenuItem *item =
        addItem(mnuJanela, "", ("&" + std::to_string(n) + " " + form->Caption()).c_str(), [target] {
          if (TForm *f = target.get(); f && f->Visible()) f->Show();
        });
    item->SetName("mnuJanela" + std::to_string(n));
    item->SetChecked(form == Application().ActiveForm());
    screenItems_.push_back(item);
  }
}

} // namespace kdr::host
