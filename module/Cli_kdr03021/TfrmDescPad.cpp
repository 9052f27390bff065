#include "module/Cli_kdr03021/TfrmDescPad.h"

#include "module/Cli_kdr03021/Cli_kdr03021.h"
#include "module/common/billing.h"
#include "module/common/scopes.h"
#include "module/common/server_methods.h"
#include "platform/host/consiste.h"
#include "platform/host/dialog_services.h"
#include "platform/host/zelnor.h"
#include "platform/rtl/events.h"
#include "platform/ui/application.h"

namespace Cli_kdr03021 {

using namespace kdr;
namespace common = kdr03020::common;

namespace {

// The editors hold at most what a stored text holds.
constexpr int textSize = 400;

const std::vector<std::string> catalogue{
    "Excl|Confirma exclusão?", "CUS|Customização", "LIC|Licença de uso", "MAN|Manutenção", "LOC|Locação",
    "OBR|Mão de Obra",         "SER|Service Desk",
};

TStringField &stringField(TDataSet &dataSet, const char *name, int size, const char *label = "") {
  TStringField &field = dataSet.AddStringField(name, size);
  if (*label) field.SetDisplayLabel(label);
  return field;
}

TPanel *captionPanel(TComponent *owner, const char *name, TWinControl *parent, const char *caption) {
  auto *panel = placed<TPanel>(owner, name, parent);
  panel->SetAlign(alTop);
  panel->SetCaption(caption);
  panel->SetFontBold(true);
  return panel;
}

TMemo *editor(TComponent *owner, const char *name, TWinControl *parent) {
  auto *memo = placed<TMemo>(owner, name, parent);
  memo->SetAlign(alClient);
  memo->SetScrollBars(TMemo::TScrollStyle::ssVertical);
  memo->SetMaxLength(textSize);
  // Nothing to edit until the companies are loaded.
  memo->SetReadOnly(true);
  return memo;
}

// The texts the screen writes into its editors never open a pending change.
class ScreenWritesEditors {
public:
  ScreenWritesEditors() { boMudaEdt = false; }
  ~ScreenWritesEditors() { boMudaEdt = true; }
  ScreenWritesEditors(const ScreenWritesEditors &) = delete;
  ScreenWritesEditors &operator=(const ScreenWritesEditors &) = delete;
};

} // namespace

TfrmDescPad::TfrmDescPad(TComponent *owner) : TfrmPadraoGrid(owner) {
  SetName("frmDescPad");
  SetCaption("Descrição Padrão");
  SetWidth(640);
  SetHeight(480);
  createDataModel();
  createLayout();
  assignHandlers();
}

// The application frees its forms when it ends; the unit's reference must not outlive the screen.
TfrmDescPad::~TfrmDescPad() {
  if (frmDescPad == this) frmDescPad = nullptr;
}

void TfrmDescPad::createDataModel() {
  netDescPadServ = make<TNetConnection>(this, "netDescPadServ");
  netDescPadServ->ServerName = std::string(common::serverName);
  netDescPadServ->ThrowException = false;

  cdsEmpresa = make<TClientDataSet>(this, "cdsEmpresa");
  cdsEmpresaNMEMPRESA = &stringField(*cdsEmpresa, "NMEMPRESA", 40, "Nome");
  cdsEmpresaCDEMPRESA = &stringField(*cdsEmpresa, "CDEMPRESA", 2, "Código");
  for (TField *field :
       {static_cast<TField *>(cdsEmpresaNMEMPRESA), static_cast<TField *>(cdsEmpresaCDEMPRESA)})
    field->SetReadOnly(true);
  cdsEmpresa->SetReadOnly(true);
  dtsEmpresa = make<TDataSource>(this, "dtsEmpresa");
  dtsEmpresa->SetDataSet(cdsEmpresa);

  cdsFaturamento = make<TClientDataSet>(this, "cdsFaturamento");
  cdsFaturamentoIDFATURAMENTO = &stringField(*cdsFaturamento, "IDFATURAMENTO", 20);
  cdsFaturamentoDSFATURAMENTO = &stringField(*cdsFaturamento, "DSFATURAMENTO", 20, "Faturamento");
  cdsFaturamento->SetIndexFieldNames("IDFATURAMENTO");
  dtsFaturamento = make<TDataSource>(this, "dtsFaturamento");
  dtsFaturamento->SetDataSet(cdsFaturamento);

  cdsEmpresaKdr = make<TClientDataSet>(this, "cdsEmpresaKdr");
  cdsEmpresaKdrCDEMPRESA = &stringField(*cdsEmpresaKdr, "CDEMPRESA", 2);
  cdsEmpresaKdrIDTPFATUEMPRESA = &stringField(*cdsEmpresaKdr, "IDTPFATUEMPRESA", 1);
  cdsEmpresaKdrDSFATUREMPRESA = &stringField(*cdsEmpresaKdr, "DSFATUREMPRESA", textSize);
  cdsEmpresaKdrDSBOLETEMPRESA = &stringField(*cdsEmpresaKdr, "DSBOLETEMPRESA", textSize);
  dtsPadrao->SetDataSet(cdsEmpresaKdr);

  msgPadrao->Messages = catalogue;
}

void TfrmDescPad::createLayout() {
  lblCodTela->SetCaption("KDR03021");
  tshPadrao->SetCaption("Descrição Padrão");
  // Rows are added and removed only through the two editors and Confirmar.
  setCommandEnabled(sbtIncluir, false);
  setCommandEnabled(sbtExcluir, false);
  setCommandEnabled(sbtImprimir, false);
  const TDBGridOptions listOptions =
      dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines | dgRowSelect | dgAlwaysShowSelection;

  panListas = placed<TPanel>(this, "panListas", tshPadrao);
  panListas->SetAlign(alTop);
  panListas->SetHeight(190);
  dbgPadrao->SetParent(panListas);
  dbgPadrao->SetAlign(alLeft);
  dbgPadrao->SetWidth(300);
  dbgPadrao->SetDataSource(dtsEmpresa);
  dbgPadrao->Options = listOptions;
  dbgPadrao->addColumn("CDEMPRESA")->Width = 40;
  dbgPadrao->addColumn("NMEMPRESA")->Width = 222;
  splListas = placed<TSplitter>(this, "splListas", panListas);
  splListas->SetAlign(alLeft);
  dbgFat = placed<TDBGrid>(this, "dbgFat", panListas);
  dbgFat->SetAlign(alClient);
  dbgFat->SetDataSource(dtsFaturamento);
  dbgFat->Options = listOptions;
  dbgFat->SetColor(clInfoBk);
  dbgFat->addColumn("DSFATURAMENTO");

  splDescricoes = placed<TSplitter>(this, "splDescricoes", tshPadrao);
  splDescricoes->SetAlign(alTop);
  panDescricoes = placed<TPanel>(this, "panDescricoes", tshPadrao);
  panDescricoes->SetAlign(alClient);
  panFat = placed<TPanel>(this, "panFat", panDescricoes);
  panFat->SetAlign(alLeft);
  panFat->SetWidth(310);
  panCapFat = captionPanel(this, "panCapFat", panFat, "Descrição para Faturamento");
  memDesFatu = editor(this, "memDesFatu", panFat);
  splMemos = placed<TSplitter>(this, "splMemos", panDescricoes);
  splMemos->SetAlign(alLeft);
  panBol = placed<TPanel>(this, "panBol", panDescricoes);
  panBol->SetAlign(alClient);
  panCapBole = captionPanel(this, "panCapBole", panBol, "Descrição para Boleto");
  memDescBol = editor(this, "memDescBol", panBol);

  // Bottom bar, left to right: navigator over the companies, company name, " - ", billing type.
  // The navigator only moves through the companies, which this screen never changes.
  dbnPadrao->SetDataSource(dtsEmpresa);
  dbnPadrao->VisibleButtons = {nbFirst, nbPrior, nbNext, nbLast};
  dbnPadrao->placeBefore(dbtNome);
  dbtNome->SetDataSource(dtsEmpresa);
  dbtNome->SetDataField("NMEMPRESA");
  lblIfen = placed<TLabel>(this, "lblIfen", panNavigator);
  lblIfen->SetCaption(" - ");
  DBText1 = placed<TDBText>(this, "DBText1", panNavigator);
  DBText1->SetDataSource(dtsFaturamento);
  DBText1->SetDataField("DSFATURAMENTO");
  DBText1->SetFontBold(true);
  // The user starts at the companies.
  SetActiveControl(dbgPadrao);
}

void TfrmDescPad::assignHandlers() {
  OnActivate = bindHandler(this, &TfrmDescPad::FormActivate);
  netDescPadServ->BeforeConnect = bindHandler(this, &TfrmDescPad::netDescPadServBeforeConnect);
  cdsEmpresa->AfterScroll = bindHandler(this, &TfrmDescPad::cdsEmpresaAfterScroll);
  cdsFaturamento->AfterScroll = bindHandler(this, &TfrmDescPad::cdsFaturamentoAfterScroll);
  cdsEmpresaKdr->AfterPost = bindHandler(this, &TfrmDescPad::cdsEmpresaKdrAfterPost);
  cdsEmpresaKdr->AfterDelete = bindHandler(this, &TfrmDescPad::cdsEmpresaKdrAfterDelete);
  memDesFatu->OnChange = bindHandler(this, &TfrmDescPad::memDesFatuChange);
  memDescBol->OnChange = bindHandler(this, &TfrmDescPad::memDescBolChange);
}

// The billing types are built before the first load, so a load that fails still leaves every
// confirmation a billing type to carry.
void TfrmDescPad::FormCreate(TComponent *Sender) {
  TfrmPadraoGrid::FormCreate(Sender);
  buildBillingTypes();
  getEmpresas();
}

void TfrmDescPad::buildBillingTypes() {
  // Each new row moves the list; there is nothing to show until the companies are there.
  SilencedEvent quiet(cdsFaturamento->AfterScroll);
  if (cdsFaturamento->Active()) cdsFaturamento->Close();
  cdsFaturamentoIDFATURAMENTO->SetReadOnly(false);
  cdsFaturamentoDSFATURAMENTO->SetReadOnly(false);
  cdsFaturamento->CreateDataSet();
  for (const common::BillingType &type : common::billingTypes) {
    cdsFaturamento->Insert();
    cdsFaturamentoIDFATURAMENTO->SetAsString(std::string(type.code));
    cdsFaturamentoDSFATURAMENTO->SetAsString(msgPadrao->Msg(type.key));
  }
  cdsFaturamento->Post();
  cdsFaturamentoIDFATURAMENTO->SetReadOnly(true);
  cdsFaturamentoDSFATURAMENTO->SetReadOnly(true);
}

void TfrmDescPad::FormActivate(TComponent *) { getEmpresas(); }

void TfrmDescPad::getEmpresas() {
  {
    common::ServerWait wait;
    Variant payload = callServer(common::GetParEmpKdr, {});
    // The texts go first: opening the companies shows the first pair, which must find them.
    cdsEmpresaKdr->SetData(std::move(payload.array().at(0)));
    cdsEmpresa->SetData(std::move(payload.array().at(1)));
  }
  const bool noCompany = cdsEmpresa->IsEmpty();
  memDesFatu->SetReadOnly(noCompany);
  memDescBol->SetReadOnly(noCompany);
  // Without a company no pair is shown, and the editors must not keep a pair's texts.
  if (noCompany) showTexts();
}

TfrmDescPad::Pair TfrmDescPad::currentPair() const {
  Pair pair;
  if (cdsEmpresa->Active() && !cdsEmpresa->IsEmpty()) pair.empresa = cdsEmpresaCDEMPRESA->AsString();
  if (cdsFaturamento->Active() && !cdsFaturamento->IsEmpty())
    pair.faturamento = cdsFaturamentoIDFATURAMENTO->AsString();
  return pair;
}

bool TfrmDescPad::pendingChange() const { return editing(cdsEmpresaKdr->State()); }

bool TfrmDescPad::locate(const Pair &pair) {
  return cdsEmpresaKdr->Locate("CDEMPRESA;IDTPFATUEMPRESA", Variant::Array{pair.empresa, pair.faturamento},
                               loCaseInsensitive);
}

void TfrmDescPad::cdsEmpresaAfterScroll(TDataSet &) { settleAndShow(); }

void TfrmDescPad::cdsFaturamentoAfterScroll(TDataSet &) { settleAndShow(); }

// The editors hold the texts of the pair they were filled for, not of the pair just chosen. When
// storing them fails, the new pair's own texts are shown before the error goes on, so the next
// Confirmar cannot write the old texts under the new pair.
void TfrmDescPad::settleAndShow() {
  if (pendingChange()) {
    try {
      confirmaOpera(shown_);
    } catch (...) {
      showTexts();
      throw;
    }
  }
  showTexts();
}

void TfrmDescPad::showTexts() {
  ScreenWritesEditors screenWrites;
  shown_ = currentPair();
  const bool found = cdsEmpresaKdr->Active() && !shown_.empresa.empty() && locate(shown_);
  memDesFatu->SetText(found ? cdsEmpresaKdrDSFATUREMPRESA->AsString() : std::string());
  memDescBol->SetText(found ? cdsEmpresaKdrDSBOLETEMPRESA->AsString() : std::string());
}

void TfrmDescPad::memDesFatuChange(TComponent *) { openPendingChange(); }

void TfrmDescPad::memDescBolChange(TComponent *) { openPendingChange(); }

void TfrmDescPad::openPendingChange() {
  if (boMudaEdt && cdsEmpresaKdr->Active()) cdsEmpresaKdr->Edit();
}

void TfrmDescPad::sbtConfirmarClick(TComponent *) { confirmaOpera(currentPair()); }

// Locating first ends the state an editor change opened, which never carries field changes of its
// own: the texts reach the row only here.
void TfrmDescPad::confirmaOpera(const Pair &pair) {
  // No company, no billing type: there is no row these texts could belong to.
  if (pair.empresa.empty() || pair.faturamento.empty()) {
    cdsEmpresaKdr->Cancel();
    return;
  }
  if (Consiste::EmptyString(memDesFatu->Text()) && Consiste::EmptyString(memDescBol->Text())) {
    if (locate(pair)) cdsEmpresaKdr->Delete();
    return;
  }
  if (!locate(pair)) {
    cdsEmpresaKdr->Insert();
    cdsEmpresaKdrCDEMPRESA->SetAsString(pair.empresa);
    cdsEmpresaKdrIDTPFATUEMPRESA->SetAsString(pair.faturamento);
  }
  if (cdsEmpresaKdr->State() != dsInsert) cdsEmpresaKdr->Edit();
  // The fields hold 400 characters: a longer text set by code is stored cut.
  cdsEmpresaKdrDSFATUREMPRESA->SetAsString(memDesFatu->Text());
  cdsEmpresaKdrDSBOLETEMPRESA->SetAsString(memDescBol->Text());
  cdsEmpresaKdr->Post();
}

void TfrmDescPad::cdsEmpresaKdrAfterPost(TDataSet &) { sendChange(); }

void TfrmDescPad::cdsEmpresaKdrAfterDelete(TDataSet &) { sendChange(); }

// One confirmation, one change on the wire; a refused change is undone here, so the change log is
// empty again and the rows are as the server keeps them.
void TfrmDescPad::sendChange() {
  if (cdsEmpresaKdr->ChangeCount() == 0) return;
  try {
    common::ServerWait wait;
    callServer(common::SetParEmpKdr, {cdsEmpresaKdr->Delta()});
  } catch (...) {
    cdsEmpresaKdr->CancelUpdates();
    throw;
  }
  cdsEmpresaKdr->MergeChangeLog();
}

// The editors go back to the stored texts with the pending change.
void TfrmDescPad::cancelEdit() {
  TfrmPadraoGrid::cancelEdit();
  showTexts();
}

void TfrmDescPad::sbtProcurarClick(TComponent *) {
  if (TDataSet *ds = dtsEmpresa->DataSet(); ds != nullptr && ds->Active()) Procurar::Procura(*ds);
}

void TfrmDescPad::sbtVerificarClick(TComponent *) { getEmpresas(); }

// Confirmar and Cancelar while a change is pending; finding, reloading and opening a change by
// Incluir while browsing companies; the navigator only while browsing.
void TfrmDescPad::dtsPadraoStateChange(TComponent *) {
  const TDataSetState state = dtsPadrao->State();
  const bool browsingCompanies = state == dsBrowse && cdsEmpresa->Active() && !cdsEmpresa->IsEmpty();
  for (TButtonFlat *b : {sbtConfirmar, sbtCancelar}) setCommandEnabled(b, editing(state));
  for (TButtonFlat *b : {sbtVerificar, sbtProcurar, sbtIncluir}) setCommandEnabled(b, browsingCompanies);
  dbnPadrao->SetEnabled(state == dsBrowse);
}

// The instance stays for the next opening; the base's close handling does not run.
void TfrmDescPad::FormClose(TComponent *, TCloseAction &Action) { Action = caHide; }

void TfrmDescPad::netDescPadServBeforeConnect(TNetConnection &Sender) { Zelnor::PointAtServer(Sender); }

// The connection this opening was handed (the billing-parameters screen's, opened from there);
// otherwise one of this screen's own to the same server, so the host's menu can open it alone.
TNetConnection &TfrmDescPad::server() {
  if (handedServer != nullptr) return *handedServer;
  if (!netDescPadServ->Connected()) netDescPadServ->Open();
  return *netDescPadServ;
}

Variant TfrmDescPad::callServer(std::string_view method, Variant::Array args) {
  return Consiste::CheckResultServ(server().Call(method, std::move(args)), true, 0);
}

} // namespace Cli_kdr03021
