// Validation before each post of a parameter row and the save right after every post and delete:
// the screen keeps no batch of unsaved rows. Also the commands that insert, delete, reload and
// cancel rows, which put the user back on the grid.
#include "module/Cli_kdr03020/Cli_kdr03020.h"
#include "module/Cli_kdr03020/TfrmParamFatCli.h"
#include "module/common/billing.h"
#include "module/common/scopes.h"
#include "module/common/server_methods.h"
#include "platform/host/consiste.h"
#include "platform/host/dialog_services.h"
#include "platform/host/zelnor.h"
#include "platform/rtl/events.h"
#include "platform/ui/application.h"

namespace Cli_kdr03020 {

using namespace kdr;
namespace server = kdr03020::common;

namespace {

// The table the host keeps a local copy of, refreshed after each save.
constexpr const char *cachedTable = "PARCLIEKDR";

// Catalogue key of the default description of a billing type; empty when it has none.
std::string_view defaultDescriptionKey(std::string_view billingType) {
  if (billingType == "1") return "Desc_Cus";
  if (billingType == "2") return "Desc_Lic";
  if (billingType == "3") return "Desc_Man";
  if (billingType == "4" || billingType == "5" || billingType == "6") return "Desc";
  return {};
}

void fillIfEmpty(TField &field, const std::string &value) {
  if (Consiste::EmptyString(field.Value())) field.SetAsString(value);
}

} // namespace

void TfrmParamFatCli::assignSaveHandlers() {
  cdsParamFatCli->BeforePost = bindHandler(this, &TfrmParamFatCli::cdsParamFatCliBeforePost);
  cdsParamFatCli->AfterPost = bindHandler(this, &TfrmParamFatCli::cdsParamFatCliAfterPost);
  cdsParamFatCli->AfterDelete = bindHandler(this, &TfrmParamFatCli::cdsParamFatCliAfterDelete);
  cdsParamFatCli->AfterCancel = bindHandler(this, &TfrmParamFatCli::cdsParamFatCliAfterCancel);
}

void TfrmParamFatCli::cdsParamFatCliBeforePost(TDataSet &) {
  checkBillingTypeAgainstServer();
  checkCompanyBeforePost();
  Vd_TipoServico(true);
  Vd_GerenteImp(true);
  checkInvoiceRate();
  completeRow();
  if (!boImportado) offerCompanyTexts();
}

// The client's rows as the server has them now, so that a type saved meanwhile by another
// desktop counts; the copy lives only while the row is checked.
void TfrmParamFatCli::checkBillingTypeAgainstServer() {
  cdsTemp->Close();
  server::ClosedOnExit closeTemp(*cdsTemp);
  cdsTemp->CreateDataSet();
  cdsTemp->SetData(callServer(server::GetParamFatCli, {cdsClienteCDCLIENTE->AsString()}));
  cdsParamFatCliCDCLIENTE->SetAsString(cdsClienteCDCLIENTE->AsString());
  const std::string type = cdsParamFatCliIDTPFATUCLIE->AsString();
  if (Consiste::EmptyString(type)) {
    if (cdsParamFatCli->State() == dsInsert) {
      showPage(tshPadrao);
      Consiste::MensErro(msgPadrao->Msg("TIP_CAD_NINF"), true);
    }
  } else {
    // The type the row had before this edit began; a new row has none, so every equal row counts.
    const Variant before = cdsParamFatCliIDTPFATUCLIE->OldValue();
    const bool typeIsNew = before.isEmpty() || before.asString() != type;
    for (cdsTemp->First(); typeIsNew && !cdsTemp->Eof(); cdsTemp->Next())
      if (cdsTempIDTPFATUCLIE->AsString() == type) {
        focusGridColumn(cdsParamFatCliIDTPFATUCLIE);
        Consiste::MensErro(msgPadrao->Msg("TipServ_JCad"), true);
      }
  }
}

void TfrmParamFatCli::checkCompanyBeforePost() {
  try {
    if (Consiste::EmptyString(cdsParamFatCliCDEMPRESA->Value())) {
      showPage(tshPadrao);
      Consiste::MensErro(msgPadrao->Msg("Emp_inf"), true);
    }
    // A code still being typed in the company column is checked as on leaving the column.
    dbgPadraoColExit(dbgPadrao);
  } catch (...) {
    focusGridColumn(cdsParamFatCliCDEMPRESA);
    throw;
  }
}

// An empty rate reads as 0 and passes; clients of the home country take any rate.
void TfrmParamFatCli::checkInvoiceRate() {
  const double rate = cdsParamFatCliVRPERCAJUSTEINV->AsFloat();
  if ((rate > 100 || rate < 0) && cdsParamFatCliCDPAIS->AsString() != kdr03020::common::homeCountry) {
    showPage(tshOutros);
    dbePercAjust->SetFocus();
    Consiste::MensErro(msgPadrao->Msg("Perc_Inv"), true);
  }
}

// What the user left empty takes the billing type's defaults. The two texts are filled
// independently, each only when empty.
void TfrmParamFatCli::completeRow() {
  const std::string_view key = defaultDescriptionKey(cdsParamFatCliIDTPFATUCLIE->AsString());
  const std::string description = key.empty() ? std::string() : msgPadrao->Msg(std::string(key));
  if (!description.empty()) {
    fillIfEmpty(*cdsParamFatCliDSFATURCLIE, description);
    fillIfEmpty(*cdsParamFatCliDSBOLETCLIE, description);
  }
  for (TField *flag :
       {cdsParamFatCliIDFATURAPFILI, cdsParamFatCliIDFATMESATUCLIE, cdsParamFatCliIDGERANFUNIFICA})
    fillIfEmpty(*flag, std::string(server::flagNo));
  if (cdsParamFatCliVRPERCAJUSTEINV->IsNull()) cdsParamFatCliVRPERCAJUSTEINV->SetAsFloat(0);
}

// The company's default texts for the row's company and billing type, offered until the user
// takes them over; "Sim" replaces both texts as they stand, an empty one included.
void TfrmParamFatCli::offerCompanyTexts() {
  {
    server::ServerWait wait;
    cdsDescPad->SetData(callServer(server::GetDescPadrao, {cdsParamFatCliCDEMPRESA->AsString(),
                                                           cdsParamFatCliIDTPFATUCLIE->AsString()}));
  }
  if (cdsDescPad->IsEmpty()) return;
  constexpr int firstButton = 10;
  if (Tmsgaler::MsgAlertEx(msgPadrao->Msg("descPad"), mtConfirmation,
                           {msgPadrao->Msg("Sim"), msgPadrao->Msg("Nao")}, 2, 0, 0) != firstButton)
    return;
  boImportado = true;
  cdsParamFatCliDSFATURCLIE->SetValue(cdsDescPadDSFATUREMPRESA->Value());
  cdsParamFatCliDSBOLETCLIE->SetValue(cdsDescPadDSBOLETEMPRESA->Value());
}

void TfrmParamFatCli::cdsParamFatCliAfterPost(TDataSet &) { saveParamFatCli(); }

void TfrmParamFatCli::cdsParamFatCliAfterDelete(TDataSet &) { saveParamFatCli(); }

// Sends every change not yet on the server. A refused or failed send leaves the change in the
// log and on screen, so the next save sends it again with the new one.
void TfrmParamFatCli::saveParamFatCli() {
  if (cdsParamFatCli->ChangeCount() <= 0) return;
  {
    server::ServerWait wait;
    Variant result = netParamFatCliServ->Call(server::SetParamFatCli, {cdsParamFatCli->Delta()});
    // The server names the row another desktop changed; the user needs to know how to go on.
    if (TNetConnection::isErrorResult(result) && TNetConnection::errorCode(result) == "conflict")
      result = TNetConnection::errorResult(msgPadrao->Msg("Alt_Outro"), "conflict");
    Consiste::CheckResultServ(result, true, 0);
  }
  if (cdsParamFatCli->LogChanges()) cdsParamFatCli->MergeChangeLog();
  try {
    Zelnor::AtualizaLocalCache(Variant(Variant::Array{Variant(cachedTable)}));
  } catch (const Exception &e) {
    // The parameters are on the server: saying the save failed would have the user do it again.
    Application().dialogs().messageDlg(Application().Title, msgPadrao->Msg("Cache_NAtu") + "\n" + e.what(),
                                       mtWarning, {mbOK});
  }
  boImportado = false;
}

// A cancel fires no scroll: page "Outros" would keep the state of the row just cancelled, and
// the next post of the row now current could skip a check or fail one that does not apply.
void TfrmParamFatCli::cdsParamFatCliAfterCancel(TDataSet &DataSet) {
  cdsParamFatCliAfterScroll(DataSet);
  focusGridColumn(cdsParamFatCliIDTPFATUCLIE);
}

void TfrmParamFatCli::sbtIncluirClick(TComponent *Sender) {
  TfrmPadraoGrid::sbtIncluirClick(Sender);
  focusGridColumn(cdsParamFatCliIDTPFATUCLIE);
}

void TfrmParamFatCli::sbtExcluirClick(TComponent *Sender) {
  TfrmPadraoGrid::sbtExcluirClick(Sender);
  enableSearchByPage();
  focusGridColumn(cdsParamFatCliIDTPFATUCLIE);
}

// Verificar is offered before any client is chosen; there is then nothing to reload, and no
// list to open that rows of no client could be typed into.
void TfrmParamFatCli::sbtVerificarClick(TComponent *) {
  if (!cdsCliente->Active() || cdsCliente->IsEmpty()) Consiste::MensErro(msgPadrao->Msg("Cliente_Inf"), true);
  Variant rows = callServer(server::GetParamFatCli, {cdsClienteCDCLIENTE->AsString()});
  warnUnsavedChangesDropped();
  cdsParamFatCli->SetData(std::move(rows));
  enableSearchByPage();
  if (pgcPadrao->ActivePage() == tshPadrao) dbgPadrao->SetFocus();
}

// A change the server refused lives only in the change log; it must not vanish unnoticed.
void TfrmParamFatCli::warnUnsavedChangesDropped() {
  if (cdsParamFatCli->Active() && cdsParamFatCli->ChangeCount() > 0)
    Application().dialogs().messageDlg(Application().Title, msgPadrao->Msg("Alt_NGrav"), mtWarning, {mbOK});
}

void TfrmParamFatCli::enableSearchByPage() {
  setCommandEnabled(sbtProcurar, pgcPadrao->ActivePage() != tshOutros && cdsParamFatCli->RecordCount() > 0);
}

// Puts the user on a column of the current row. The move points at a row being corrected, so it
// runs no column-exit check that could raise a second error over the first.
void TfrmParamFatCli::focusGridColumn(TField *field) {
  showPage(tshPadrao);
  SilencedEvent quiet(dbgPadrao->OnColExit);
  dbgPadrao->SetFocus();
  dbgPadrao->SetSelectedField(field);
}

} // namespace Cli_kdr03020
