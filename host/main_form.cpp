#include "host/main_form.h"

namespace kdr::host {

TfrmPrincipal::TfrmPrincipal(TComponent *owner, std::function<void(std::string_view)> callEntry)
    : TForm(owner), callEntry_(std::move(callEntry)) {
  SetName("frmPrincipal");
  SetCaption("KDR - Sistema de Gestão");
  mnuPrincipal = new TMainMenu(this);
  mnuPrincipal->SetName("mnuPrincipal");
  mnuFaturamento = new TMenuItem(this);
  mnuFaturamento->SetName("mnuFaturamento");
  mnuFaturamento->SetCaption("Faturamento");
  mnuPrincipal->Items()->Add(mnuFaturamento);
  mnuParamFatCli = addEntry("mnuParamFatCli", "Parâmetros de Faturamento por Cliente", "IniProc");
  mnuDescPad = addEntry("mnuDescPad", "Descrição Padrão", "CriaDescPad");
  mnuImportacaoParam =
      addEntry("mnuImportacaoParam", "Cadastramento Automático de Parâmetro de Faturamento por Cliente",
               "CriaImportacaoParam");
}

TMenuItem *TfrmPrincipal::addEntry(const char *name, const char *caption, const char *entry) {
  auto *item = new TMenuItem(this);
  item->SetName(name);
  item->SetCaption(caption);
  item->OnClick = [this, entry](TComponent *) { callEntry_(entry); };
  mnuFaturamento->Add(item);
  return item;
}

} // namespace kdr::host
