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

#include <ctime>

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

// Equal as a row holds them: no value and an empty text alike, numbers as numbers.
bool sameValue(const Variant &a, const Variant &b) {
  if (a.isEmpty() || b.isEmpty())
    return (a.isEmpty() || a.asString().empty()) && (b.isEmpty() || b.asString().empty());
  if (a.isNumber() && b.isNumber()) return a.asFloat() == b.asFloat();
  return a.asString() == b.asString();
}

// The field was changed in the edit being saved (a new row: given any value).
bool changedInEdit(const TField &field) { return !sameValue(field.OldValue(), field.Value()); }

void fillIfEmpty(TField &field, const std::string &value) {
  if (Consiste::EmptyString(field.Value())) field.SetAsString(value);
}

// The server's answers that no resending can change: the change broke a rule, or the rows it was
// made on are no longer there as they were.
bool refusedForGood(std::string_view code) {
  return code == "invalid_argument" || code == "conflict" || code == "not_found" ||
         code == "payload_too_large";
}

// The history's time (UTC, "2026-12-08 14:03:07.125") as this desk's clock shows it.
std::string deskTime(const std::string &utc) {
  std::tm tm{};
  if (::strptime(utc.c_str(), "%Y-%m-%d %H:%M:%S", &tm) == nullptr) return utc;
  const std::time_t t = ::timegm(&tm);
  std::tm local{};
  ::localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%d/%m/%Y %H:%M", &local);
  return text;
}

} // namespace

void TfrmParamFatCli::assignSaveHandlers() {
  cdsParamFatCli->BeforePost = bindHandler(this, &TfrmParamFatCli::cdsParamFatCliBeforePost);
  cdsParamFatCli->AfterPost = bindHandler(this, &TfrmParamFatCli::cdsParamFatCliAfterPost);
  cdsParamFatCli->AfterDelete = bindHandler(this, &TfrmParamFatCli::cdsParamFatCliAfterDelete);
  cdsParamFatCli->AfterCancel = bindHandler(this, &TfrmParamFatCli::cdsParamFatCliAfterCancel);
}

void TfrmParamFatCli::cdsParamFatCliBeforePost(TDataSet &) {
  // Asked before the completion fills empty texts, which the user did not type.
  const bool textsTyped = textsTypedInEdit();
  checkBillingTypeAgainstServer();
  checkCompanyBeforePost();
  Vd_TipoServico(true);
  Vd_GerenteImp(true);
  checkInvoiceRate();
  completeRow();
  if (!boImportado) offerCompanyTexts(textsTyped);
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

bool TfrmParamFatCli::textsTypedInEdit() const {
  return changedInEdit(*cdsParamFatCliDSFATURCLIE) || changedInEdit(*cdsParamFatCliDSBOLETCLIE);
}

// The company's default texts for the row's company and billing type, offered until the user
// takes them over; "Sim" replaces both texts as they stand, an empty one included. Over texts the
// user has just typed, Enter answers "Não", so a key pressed out of habit loses nothing.
void TfrmParamFatCli::offerCompanyTexts(bool textsTyped) {
  {
    server::ServerWait wait;
    cdsDescPad->SetData(callServer(server::GetDescPadrao, {cdsParamFatCliCDEMPRESA->AsString(),
                                                           cdsParamFatCliIDTPFATUCLIE->AsString()}));
  }
  if (cdsDescPad->IsEmpty()) return;
  constexpr int firstButton = 10;
  if (Tmsgaler::MsgAlertEx(msgPadrao->Msg("descPad"), mtConfirmation,
                           {msgPadrao->Msg("Sim"), msgPadrao->Msg("Nao")}, 2, textsTyped ? 1 : 0,
                           0) != firstButton)
    return;
  boImportado = true;
  cdsParamFatCliDSFATURCLIE->SetValue(cdsDescPadDSFATUREMPRESA->Value());
  cdsParamFatCliDSBOLETCLIE->SetValue(cdsDescPadDSBOLETEMPRESA->Value());
}

void TfrmParamFatCli::cdsParamFatCliAfterPost(TDataSet &) { saveParamFatCli(); }

void TfrmParamFatCli::cdsParamFatCliAfterDelete(TDataSet &) { saveParamFatCli(); }

// Sends every change not yet on the server. A send that did not get through (the server out of
// reach, a time-out, a busy database) leaves the change in the log and on screen, so the next save
// sends it again with the new one. A change the server refused can never pass by being sent
// again: it leaves the log, the server's reason is told and the rows show what the server holds;
// one refused because another desktop changed the row first is settled with the user.
void TfrmParamFatCli::saveParamFatCli() {
  if (cdsParamFatCli->ChangeCount() <= 0) return;
  Variant result;
  {
    server::ServerWait wait;
    result = netParamFatCliServ->Call(server::SetParamFatCli, {cdsParamFatCli->Delta()});
  }
  if (TNetConnection::isErrorResult(result)) {
    if (!refusedForGood(TNetConnection::errorCode(result))) Consiste::CheckResultServ(result, true, 0);
    if (const Variant detail = TNetConnection::errorDetail(result); detail.isArray())
      return settleConflict(detail);
    showServerRows();
    Consiste::MensErro(TNetConnection::errorMessage(result), true);
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

// The client's rows as the server holds them, in place of whatever the log held.
void TfrmParamFatCli::showServerRows() {
  cdsParamFatCli->SetData(callServer(server::GetParamFatCli, {cdsClienteCDCLIENTE->AsString()}));
  enableSearchByPage();
}

// Another desktop changed or removed the row first; detail is the server's [row as held now, who
// changed it, when]. The user sees, for each field changed here, both versions, and chooses:
// "Manter a minha" sends the fields changed here again as a new change over what the server
// holds (the other desktop's other fields stay), with every check of a post; "Usar a gravada"
// shows the server's row. Closed without a choice, the values typed here wait in the row, in edit,
// to be confirmed or cancelled: nothing is lost without the user's word.
void TfrmParamFatCli::settleConflict(const Variant &detail) {
  const Variant::Array &parts = detail.array();
  TClientDataSet held(nullptr);
  held.SetData(parts.at(0));
  const bool gone = held.IsEmpty();
  const std::vector<Compared> fields = comparedFields();
  std::vector<Variant> mine;
  std::vector<bool> typed;
  Comparison comparison{msgPadrao->Msg("Alt_Minha"), msgPadrao->Msg("Alt_Gravada"), {}};
  for (const Compared &c : fields) {
    mine.push_back(c.field->Value());
    typed.push_back(gone || changedInEdit(*c.field));
    if (!typed.back() || (gone && sameValue(c.field->Value(), Variant(nullptr)))) continue;
    const Variant theirs = gone ? Variant(nullptr) : held.FieldByName(c.field->FieldName()).Value();
    if (!gone && sameValue(theirs, c.field->Value())) continue;
    comparison.lines.push_back({c.label, shownAs(c, c.field->AsString()),
                                gone ? msgPadrao->Msg("Alt_Excluida")
                                     : shownAs(c, held.FieldByName(c.field->FieldName()).AsString())});
  }
  // A change the history does not name (made before it was kept) has no author or time to show.
  const std::string who =
      parts.size() > 1 && parts[1].isString() ? parts[1].str() : msgPadrao->Msg("Alt_Quem");
  const std::string text =
      parts.size() > 2 && parts[2].isString()
          ? msgPadrao->Msg("Alt_Outro", {{"quem", who}, {"quando", deskTime(parts[2].str())}})
          : msgPadrao->Msg("Alt_OutroSem");
  const int answer = Application().dialogs().compareQuestion(
      Application().Title, text, comparison, {msgPadrao->Msg("Alt_Manter"), msgPadrao->Msg("Alt_Usar")});
  showServerRows();
  if (!gone)
    cdsParamFatCli->Locate("IDTPFATUCLIE;CDEMPRESA", Variant::Array{held.FieldByName("IDTPFATUCLIE").Value(),
                                                                    held.FieldByName("CDEMPRESA").Value()});
  if (answer == mrFirstCaption + 1) return;
  if (gone) {
    cdsParamFatCli->Insert();
    cdsParamFatCliCDCLIENTE->SetAsString(cdsClienteCDCLIENTE->AsString());
  } else {
    cdsParamFatCli->Edit();
  }
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (typed[i] && !sameValue(fields[i].field->Value(), mine[i])) fields[i].field->SetValue(mine[i]);
  if (answer == mrFirstCaption) cdsParamFatCli->Post();
}

// The fields a user sets in a row, as the screen names them.
std::vector<TfrmParamFatCli::Compared> TfrmParamFatCli::comparedFields() const {
  return {{cdsParamFatCliIDTPFATUCLIE, "Faturamento", Compared::Type},
          {cdsParamFatCliCDEMPRESA, "Empresa", Compared::Plain},
          {cdsParamFatCliIDFATURAPFILI, "Fatura por Filial", Compared::Flag},
          {cdsParamFatCliIDFATMESATUCLIE, "Fatura Mês Atual", Compared::Flag},
          {cdsParamFatCliDSFATURCLIE, "Descrição da fatura", Compared::Plain},
          {cdsParamFatCliDSBOLETCLIE, "Descrição do boleto", Compared::Plain},
          {cdsParamFatCliCDTIPOSERV, "Tipo de serviço", Compared::Plain},
          {cdsParamFatCliCDGERENTEIMPCLI, "Gerente de implantação", Compared::Plain},
          {cdsParamFatCliIDGERANFUNIFICA, "Gera NF unificada", Compared::Flag},
          {cdsParamFatCliVRPERCAJUSTEINV, "Percentual de ajuste do Invoice", Compared::Plain}};
}

std::string TfrmParamFatCli::shownAs(const Compared &compared, const std::string &value) const {
  switch (compared.shown) {
  case Compared::Type:
    return kdr03020::common::billingTypeText(*msgPadrao, value);
  case Compared::Flag:
    return std::string(kdr03020::common::flagText(value));
  case Compared::Plain:
    break;
  }
  return value;
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
