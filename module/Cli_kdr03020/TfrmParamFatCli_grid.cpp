// The grid of page "Parâmetros Principais": the one-character codes shown as texts and chosen
// texts turned back into codes, the keys each column accepts, the company column (drawn as the
// company's name, searched and checked against the host's company table), and the commands, the
// client panel and page "Outros" following the state of the parameter rows.
#include "module/Cli_kdr03020/TfrmParamFatCli.h"

#include <array>

#include "module/common/billing.h"
#include "platform/host/consiste.h"
#include "platform/host/dialog_services.h"
#include "platform/rtl/events.h"

namespace Cli_kdr03020 {

using namespace kdr;
namespace vocabulary = kdr03020::common;

namespace {

// The grid offers every billing type but "Locação", which rows may still carry.
constexpr std::array<std::string_view, 5> choosableBillingCodes{"1", "2", "3", "5", "6"};

// A flag keeps its code when the chosen text is neither "Sim" nor "Não".
void storeFlag(TField &field, const std::string &text) {
  if (std::string_view code = vocabulary::flagCode(text); !code.empty()) field.SetAsString(std::string(code));
}

} // namespace

void TfrmParamFatCli::assignGridHandlers() {
  cdsParamFatCliIDTPFATUCLIE->OnGetText =
      bindHandler(this, &TfrmParamFatCli::cdsParamFatCliIDTPFATUCLIEGetText);
  cdsParamFatCliIDTPFATUCLIE->OnSetText =
      bindHandler(this, &TfrmParamFatCli::cdsParamFatCliIDTPFATUCLIESetText);
  cdsParamFatCliIDFATURAPFILI->OnGetText =
      bindHandler(this, &TfrmParamFatCli::cdsParamFatCliIDFATURAPFILIGetText);
  cdsParamFatCliIDFATURAPFILI->OnSetText =
      bindHandler(this, &TfrmParamFatCli::cdsParamFatCliIDFATURAPFILISetText);
  cdsParamFatCliIDFATMESATUCLIE->OnGetText =
      bindHandler(this, &TfrmParamFatCli::cdsParamFatCliIDFATMESATUCLIEGetText);
  cdsParamFatCliIDFATMESATUCLIE->OnSetText =
      bindHandler(this, &TfrmParamFatCli::cdsParamFatCliIDFATMESATUCLIESetText);
  cdsParamFatCliIDGERANFUNIFICA->OnGetText =
      bindHandler(this, &TfrmParamFatCli::cdsParamFatCliIDGERANFUNIFICAGetText);
  dbgPadrao->OnKeyPress = bindHandler(this, &TfrmParamFatCli::dbgPadraoKeyPress);
  dbgPadrao->OnKeyDown = bindHandler(this, &TfrmParamFatCli::dbgPadraoKeyDown);
  dbgPadrao->OnDrawColumnCell = bindHandler(this, &TfrmParamFatCli::dbgPadraoDrawColumnCell);
  dbgPadrao->OnEditButtonClick = bindHandler(this, &TfrmParamFatCli::dbgPadraoEditButtonClick);
  dbgPadrao->OnColExit = bindHandler(this, &TfrmParamFatCli::dbgPadraoColExit);
}

// The conversions read the row's own field, so the cell, its editor and dbtNome agree.
void TfrmParamFatCli::cdsParamFatCliIDTPFATUCLIEGetText(TField &, std::string &Text, bool) {
  Text = vocabulary::billingTypeText(*msgPadrao, cdsParamFatCliIDTPFATUCLIE->AsString());
}

void TfrmParamFatCli::cdsParamFatCliIDTPFATUCLIESetText(TField &, const std::string &Text) {
  if (auto code = vocabulary::billingTypeCode(*msgPadrao, Text, choosableBillingCodes))
    cdsParamFatCliIDTPFATUCLIE->SetAsString(std::string(*code));
}

void TfrmParamFatCli::cdsParamFatCliIDFATURAPFILIGetText(TField &, std::string &Text, bool) {
  Text = vocabulary::flagText(cdsParamFatCliIDFATURAPFILI->AsString());
}

void TfrmParamFatCli::cdsParamFatCliIDFATURAPFILISetText(TField &, const std::string &Text) {
  storeFlag(*cdsParamFatCliIDFATURAPFILI, Text);
}

void TfrmParamFatCli::cdsParamFatCliIDFATMESATUCLIEGetText(TField &, std::string &Text, bool) {
  Text = vocabulary::flagText(cdsParamFatCliIDFATMESATUCLIE->AsString());
}

void TfrmParamFatCli::cdsParamFatCliIDFATMESATUCLIESetText(TField &, const std::string &Text) {
  storeFlag(*cdsParamFatCliIDFATMESATUCLIE, Text);
}

// The unified-invoice combo writes its item text, which the one-character field cuts to its code.
void TfrmParamFatCli::cdsParamFatCliIDGERANFUNIFICAGetText(TField &, std::string &Text, bool) {
  Text = vocabulary::flagText(cdsParamFatCliIDGERANFUNIFICA->AsString());
}

// Codes shown as texts are only chosen from their lists; a company is typed as its digits.
void TfrmParamFatCli::dbgPadraoKeyPress(TComponent *Sender, char32_t &Key) {
  TfrmPadraoGrid::dbgPadraoKeyPress(Sender, Key);
  TField *field = dbgPadrao->SelectedField();
  if (field == nullptr) return;
  field->FocusControl();
  if (field == cdsParamFatCliIDTPFATUCLIE || field == cdsParamFatCliIDFATURAPFILI ||
      field == cdsParamFatCliIDFATMESATUCLIE)
    Key = 0;
  else if (field == cdsParamFatCliCDEMPRESA && (Key < U'0' || Key > U'9') && Key != U'\b')
    Key = 0;
}

// Rows are deleted from the toolbar only, where the deletion is saved.
void TfrmParamFatCli::dbgPadraoKeyDown(TComponent *Sender, int &Key, TShiftState Shift) {
  TfrmPadraoGrid::dbgPadraoKeyDown(Sender, Key, Shift);
  if (Key == VK_DELETE && Shift.contains(ssCtrl)) Key = 0;
}

// The company column shows the company's name; the code only in the selected cell while its
// editor is open on a browsed row.
void TfrmParamFatCli::dbgPadraoDrawColumnCell(TComponent *, const TRect &Rect, int DataCol, TColumn *,
                                              TGridDrawState State) {
  if (DataCol != Consiste::IndiceCol(*dbgPadrao, "CDEMPRESA")) return;
  TCanvas &canvas = dbgPadrao->Canvas();
  std::string text;
  if (!cdsParamFatCliCDEMPRESA->IsNull()) {
    if (cdsParamFatCli->State() == dsBrowse && dbgPadrao->EditorMode() && State.contains(gdSelected))
      text = cdsParamFatCliCDEMPRESA->DisplayText();
    else if (!Consiste::EmptyString(cdsParamFatCliCDEMPRESA->AsString()))
      text = cdsParamFatCliNMEMPRESA->DisplayText();
    canvas.FillRect(Rect);
  }
  if (!Consiste::EmptyString(cdsParamFatCliNMEMPRESA->AsString()))
    canvas.TextRect(Rect, Rect.Left + 3, Rect.Top + 3, text);
}

void TfrmParamFatCli::dbgPadraoEditButtonClick(TComponent *) {
  if (dbgPadrao->SelectedField() != cdsParamFatCliCDEMPRESA) return;
  qryEmpresa->Close();
  qryEmpresa->ParamByName("P_TCDEMPRESA").SetAsString("T");
  qryEmpresa->ParamByName("P_CDEMPRESA").SetAsString("");
  qryEmpresa->Open();
  if (!Pesquisa::Pesquisar(*dtsEmpresa, msgPadrao->Msg("EMP") + "|" + msgPadrao->Msg("EMP_NCAD"), false,
                           true))
    return;
  if (cdsParamFatCli->State() == dsBrowse) cdsParamFatCli->Edit();
  cdsParamFatCliCDEMPRESA->SetAsString(qryEmpresaCDEMPRESA->AsString());
  cdsParamFatCliNMEMPRESA->SetAsString(qryEmpresaNMEMPRESA->AsString());
}

void TfrmParamFatCli::dbgPadraoColExit(TComponent *) {
  const TDataSetState state = cdsParamFatCli->State();
  if (dbgPadrao->SelectedField() == cdsParamFatCliCDEMPRESA && editing(state) &&
      !Consiste::EmptyString(cdsParamFatCliCDEMPRESA->AsString())) {
    cdsParamFatCliCDEMPRESA->SetAsString(Consiste::Ajusta(cdsParamFatCliCDEMPRESA->AsString(), 2));
    qryEmpresa->Close();
    qryEmpresa->ParamByName("P_CDEMPRESA").SetAsString(cdsParamFatCliCDEMPRESA->AsString());
    qryEmpresa->ParamByName("P_TCDEMPRESA").SetAsString("");
    qryEmpresa->Open();
    if (qryEmpresa->IsEmpty()) Consiste::MensErro(msgPadrao->Msg("Emp_Inv"), true);
    cdsParamFatCliNMEMPRESA->SetAsString(qryEmpresaNMEMPRESA->AsString());
  }
  // A row being inserted reaches page "Outros" once it has a billing type; without rows there
  // is nothing the page could show.
  const bool withoutType = Consiste::EmptyString(cdsParamFatCliIDTPFATUCLIE->AsString());
  tshOutros->SetEnabled(state != dsInactive && !((state == dsBrowse || state == dsInsert) && withoutType));
  mnuOutros->SetEnabled(tshOutros->Enabled());
}

void TfrmParamFatCli::dtsPadraoStateChange(TComponent *) {
  const TDataSetState state = dtsPadrao->State();
  const bool rows = cdsParamFatCli->RecordCount() > 0;
  for (TButtonFlat *button : {sbtIncluir, sbtVerificar})
    setCommandEnabled(button, state == dsInactive || state == dsBrowse);
  for (TButtonFlat *button : {sbtExcluir, sbtProcurar}) setCommandEnabled(button, state == dsBrowse && rows);
  for (TButtonFlat *button : {sbtConfirmar, sbtCancelar}) setCommandEnabled(button, editing(state));
  // The navigator would move off a row being inserted and so drop it.
  dbnPadrao->SetEnabled(state != dsInsert);
  // The client cannot change in the middle of an edit.
  for (TControl *control : std::initializer_list<TControl *>{medNrInsJurClie, btpCliente, lbCliente})
    control->SetEnabled(!editing(state));
  medNrInsJurClie->SetColor(medNrInsJurClie->Enabled() ? clInfoBk : clBtnFace);
  if (state == dsInactive)
    tshOutros->SetEnabled(!cdsParamFatCli->IsEmpty() && !editing(cdsParamFatCli->State()));
  else
    tshOutros->SetEnabled(rows && cdsParamFatCli->State() != dsInsert);
  mnuOutros->SetEnabled(tshOutros->Enabled());
}

} // namespace Cli_kdr03020
