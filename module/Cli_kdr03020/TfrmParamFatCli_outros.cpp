// Page "Outros": the settings of the current parameter row that the grid does not show. Which of
// them the row may carry follows its billing type (service type for Service Desk, manager and
// unified invoice for Mão de Obra) and its client's country (the invoice rate abroad); the service
// type and the manager are looked up when left; switching to the page while a row is edited offers
// the company's default texts for the row's billing type.
#include "module/Cli_kdr03020/TfrmParamFatCli.h"

#include "module/Cli_kdr03020/Cli_kdr03020.h"
#include "module/common/billing.h"
#include "module/common/server_methods.h"
#include "platform/host/consiste.h"
#include "platform/host/dialog_services.h"
#include "platform/rtl/events.h"

namespace Cli_kdr03020 {

using namespace kdr;
namespace server = kdr03020::common;
namespace vocabulary = kdr03020::common;

namespace {

template <class T> T *boundTo(T *control, TDataSource *source, const char *field) {
  control->SetDataSource(source);
  control->SetDataField(field);
  return control;
}

} // namespace

void TfrmParamFatCli::createOutrosLayout() {
  grbOutros = placed<TGroupBox>(this, "grbOutros", tshOutros);
  grbOutros->SetAlign(alClient);
  grbOutros->SetLabelColumn(true);
  auto label = [this](const char *name, const char *caption) {
    auto *l = placed<TLabel>(this, name, grbOutros);
    l->SetCaption(caption);
    l->SetFontBold(true);
    return l;
  };
  auto searchButton = [this](const char *name, TDBEdit *associate, TDataSource *source, const char *field) {
    auto *b = placed<TBtnPesquisa>(this, name, grbOutros);
    b->SetHint("Pesquisar");
    b->SetEnabled(false);
    b->Associate = associate;
    b->DataSource = source;
    b->FieldNome = field;
    return b;
  };
  auto nameDisplay = [this](const char *name) {
    auto *e = placed<TEdit>(this, name, grbOutros);
    e->SetTabStop(false);
    e->SetEnabled(false);
    e->SetColor(clBtnFace);
    e->SetWidth(320);
    return e;
  };
  auto codeEdit = [this](const char *name, const char *field, int width) {
    auto *e = boundTo(placed<TDBEdit>(this, name, grbOutros), dtsPadrao, field);
    e->SetEnabled(false);
    e->SetColor(clBtnFace);
    e->SetWidth(width);
    return e;
  };
  auto memo = [this](const char *name, const char *field) {
    auto *m = boundTo(placed<TDBMemo>(this, name, grbOutros), dtsPadrao, field);
    m->SetScrollBars(TMemo::TScrollStyle::ssVertical);
    m->SetColor(clWindow);
    m->SetWidth(560);
    m->SetHeight(90);
    return m;
  };

  lblTipoServico = label("lblTipoServico", "Tipo de Serviço");
  dbeTipoServico = codeEdit("dbeTipoServico", "CDTIPOSERV", 50);
  btpPesqTipoServico = searchButton("btpPesqTipoServico", dbeTipoServico, dtsTipoDeServico, "CDTIPOSERV");
  edtMostraTipoServico = nameDisplay("edtMostraTipoServico");

  lblGerenteImplant = label("lblGerenteImplant", "Gerente de Implantação");
  dbeGerenteImplant = codeEdit("dbeGerenteImplant", "CDGERENTEIMPCLI", 110);
  btpPesqGerenteImplant =
      searchButton("btpPesqGerenteImplant", dbeGerenteImplant, dtsGrupoImplantacao, "CDOPERADOR");
  btpPesqGerenteImplant->Title = "Gerente de Implantação";
  btpPesqGerenteImplant->EmptyError = "Não há Gerente de Implantação cadastrado.";
  edtMostraGerenteImplant = nameDisplay("edtMostraGerenteImplant");

  lblGeraNFUnif = label("lblGeraNFUnif", "Gera NF Unificada");
  dbcGeraNFUnif =
      boundTo(placed<TDBComboBox>(this, "dbcGeraNFUnif", grbOutros), dtsPadrao, "IDGERANFUNIFICA");
  dbcGeraNFUnif->SetItems({std::string(vocabulary::flagYesText), std::string(vocabulary::flagNoText)});
  dbcGeraNFUnif->SetEnabled(false);
  dbcGeraNFUnif->SetColor(clBtnFace);
  dbcGeraNFUnif->SetWidth(80);

  lblPercAjust = label("lblPercAjust", "Taxa de Invoice (R$)");
  dbePercAjust = boundTo(placed<TDBEdit>(this, "dbePercAjust", grbOutros), dtsPadrao, "VRPERCAJUSTEINV");
  dbePercAjust->SetColor(clWindow);
  dbePercAjust->SetWidth(80);

  lblDescFaturamento = label("lblDescFaturamento", "Descrição p/ Faturamento");
  dbDescreveFat = memo("dbDescreveFat", "DSFATURCLIE");
  lblDescBoleto = label("lblDescBoleto", "Descrição para Boleto");
  dbDescreveBoleto = memo("dbDescreveBoleto", "DSBOLETCLIE");

  // Top to bottom, as the page reads.
  int order = 0;
  for (TWinControl *input : std::initializer_list<TWinControl *>{
           dbeTipoServico, dbeGerenteImplant, dbcGeraNFUnif, dbePercAjust, dbDescreveFat, dbDescreveBoleto}) {
    input->SetTabStop(true);
    input->SetTabOrder(order++);
  }
}

void TfrmParamFatCli::assignOutrosHandlers() {
  cdsParamFatCli->AfterScroll = bindHandler(this, &TfrmParamFatCli::cdsParamFatCliAfterScroll);
  cdsParamFatCliIDTPFATUCLIE->OnChange =
      bindHandler(this, &TfrmParamFatCli::cdsParamFatCliIDTPFATUCLIEChange);
  dbeTipoServico->OnExit = bindHandler(this, &TfrmParamFatCli::dbeTipoServicoExit);
  dbeGerenteImplant->OnExit = bindHandler(this, &TfrmParamFatCli::dbeGerenteImplantExit);
  dbeTipoServico->OnChange = bindHandler(this, &TfrmParamFatCli::dbeTipoServicoChange);
  dbeGerenteImplant->OnChange = bindHandler(this, &TfrmParamFatCli::dbeGerenteImplantChange);
  dbeTipoServico->OnKeyPress = bindHandler(this, &TfrmParamFatCli::PadraoNumeroKeyPress);
  dbeGerenteImplant->OnKeyPress = bindHandler(this, &TfrmParamFatCli::PadraoNumeroKeyPress);
  btpPesqTipoServico->OnClick = bindHandler(this, &TfrmParamFatCli::btpPesqTipoServicoClick);
  btpPesqGerenteImplant->OnBeforePesq = bindHandler(this, &TfrmParamFatCli::btpPesqGerenteImplantBeforePesq);
  btpPesqGerenteImplant->OnAfterPesq = bindHandler(this, &TfrmParamFatCli::btpPesqGerenteImplantAfterPesq);
  dbcGeraNFUnif->OnKeyPress = bindHandler(this, &TfrmParamFatCli::dbcGeraNFUnifKeyPress);
  dbePercAjust->OnKeyPress = bindHandler(this, &TfrmParamFatCli::dbePercAjustKeyPress);
  pgcPadrao->OnChange = bindHandler(this, &TfrmParamFatCli::pgcPadraoChange);
  mnuPrincipais->OnClick = bindHandler(this, &TfrmParamFatCli::mnuPrincipaisClick);
  mnuOutros->OnClick = bindHandler(this, &TfrmParamFatCli::mnuOutrosClick);
}

void TfrmParamFatCli::applyBillingTypeRule() {
  const std::string type = cdsParamFatCliIDTPFATUCLIE->AsString();
  const bool serviceDesk = type == vocabulary::billingServiceDesk;
  const bool labour = type == vocabulary::billingLabour;
  dbeTipoServico->SetEnabled(serviceDesk);
  btpPesqTipoServico->SetEnabled(serviceDesk);
  for (TControl *control :
       std::initializer_list<TControl *>{dbeGerenteImplant, btpPesqGerenteImplant, dbcGeraNFUnif})
    control->SetEnabled(labour);
  dbeTipoServico->SetColor(serviceDesk ? clInfoBk : clBtnFace);
  dbeGerenteImplant->SetColor(labour ? clInfoBk : clBtnFace);
  dbcGeraNFUnif->SetColor(labour ? clWindow : clBtnFace);
  edtMostraTipoServico->SetText(cdsParamFatCliNMTIPOSERV->AsString());
  edtMostraGerenteImplant->SetText(cdsParamFatCliNMOPERADOR->AsString());
}

void TfrmParamFatCli::cdsParamFatCliAfterScroll(TDataSet &) {
  applyBillingTypeRule();
  const bool abroad = cdsParamFatCliCDPAIS->AsString() != vocabulary::homeCountry;
  dbePercAjust->SetEnabled(abroad);
  dbePercAjust->SetColor(abroad ? clWindow : clBtnFace);
}

// A billing type being cleared leaves the page as it was; a stored service type or manager is
// never cleared here.
void TfrmParamFatCli::cdsParamFatCliIDTPFATUCLIEChange(TField &) {
  if (!Consiste::EmptyString(cdsParamFatCliIDTPFATUCLIE->AsString())) applyBillingTypeRule();
}

void TfrmParamFatCli::failedCheck(TStringField &code, TDBEdit &edit) {
  code.Clear();
  showPage(tshOutros);
  // A focus the page cannot take must not hide the reason the check failed.
  if (edit.CanFocus()) edit.SetFocus();
}

void TfrmParamFatCli::Vd_TipoServico(bool informar) {
  if (!dbeTipoServico->Enabled()) return;
  try {
    cdsParamFatCliCDTIPOSERV->SetAsString(Consiste::Ajusta(cdsParamFatCliCDTIPOSERV->AsString(), 3));
    if (Consiste::EmptyString(dbeTipoServico->Text())) {
      if (informar) Consiste::MensErro(msgPadrao->Msg("TIP_SERV_NINF"), true);
      return;
    }
    cdsTipoDeServico->SetData(callServer(server::GetTipoDeServico, {cdsParamFatCliCDTIPOSERV->AsString(), "",
                                                                    cdsClienteCDCLIENTE->AsString()}));
    if (cdsTipoDeServico->IsEmpty()) Consiste::MensErro(msgPadrao->Msg("TP_SERV_NCAD"), true);
    cdsParamFatCliNMTIPOSERV->SetAsString(cdsTipoDeServicoNMTIPOSERV->AsString());
    edtMostraTipoServico->SetText(cdsTipoDeServicoNMTIPOSERV->AsString());
  } catch (...) {
    failedCheck(*cdsParamFatCliCDTIPOSERV, *dbeTipoServico);
    throw;
  }
}

// The manager's code is brought to its width and looked up for every row; only an enabled
// manager edit is checked.
void TfrmParamFatCli::Vd_GerenteImp(bool informar) {
  cdsParamFatCliCDGERENTEIMPCLI->SetAsString(Consiste::Ajusta(cdsParamFatCliCDGERENTEIMPCLI->AsString(), 12));
  qryGrupoImplantacao->Close();
  qryGrupoImplantacao->ParamByName("P_CDOPERADOR").SetAsString(cdsParamFatCliCDGERENTEIMPCLI->AsString());
  qryGrupoImplantacao->ParamByName("P_TCDOPERADOR").SetAsString("");
  qryGrupoImplantacao->Open();
  if (!dbeGerenteImplant->Enabled()) return;
  try {
    if (Consiste::EmptyString(dbeGerenteImplant->Text())) {
      if (informar) Consiste::MensErro(msgPadrao->Msg("GER_IMP_NINF"), true);
      return;
    }
    if (qryGrupoImplantacao->IsEmpty()) Consiste::MensErro(msgPadrao->Msg("GER_IMP_NCAD"), true);
    cdsParamFatCliCDGERENTEIMPCLI->SetAsString(qryGrupoImplantacaoCDOPERADOR->AsString());
    edtMostraGerenteImplant->SetText(qryGrupoImplantacaoNMOPERADOR->AsString());
  } catch (...) {
    failedCheck(*cdsParamFatCliCDGERENTEIMPCLI, *dbeGerenteImplant);
    throw;
  }
}

// An empty code is accepted on leaving; the post reports it.
void TfrmParamFatCli::dbeTipoServicoExit(TComponent *) {
  if (editing(cdsParamFatCli->State())) Vd_TipoServico(false);
}

void TfrmParamFatCli::dbeGerenteImplantExit(TComponent *) {
  if (editing(cdsParamFatCli->State())) Vd_GerenteImp(false);
}

void TfrmParamFatCli::dbeTipoServicoChange(TComponent *) { edtMostraTipoServico->SetText(""); }

void TfrmParamFatCli::dbeGerenteImplantChange(TComponent *) { edtMostraGerenteImplant->SetText(""); }

// The list holds the service types the server knows for this client; a choice is not checked
// again.
void TfrmParamFatCli::btpPesqTipoServicoClick(TComponent *) {
  cdsTipoDeServico->SetData(callServer(server::GetTipoDeServico,
                                       {"", std::string(server::allRows), cdsClienteCDCLIENTE->AsString()}));
  if (!Pesquisa::Pesquisar(*dtsTipoDeServico,
                           msgPadrao->Msg("TIP_SERV") + "|" + msgPadrao->Msg("TIP_SERV_NCAD"), false, true))
    return;
  if (cdsParamFatCli->State() == dsBrowse) cdsParamFatCli->Edit();
  cdsParamFatCliCDTIPOSERV->SetAsString(cdsTipoDeServicoCDTIPOSERV->AsString());
  cdsParamFatCliNMTIPOSERV->SetAsString(cdsTipoDeServicoNMTIPOSERV->AsString());
  edtMostraTipoServico->SetText(cdsTipoDeServicoNMTIPOSERV->AsString());
}

void TfrmParamFatCli::btpPesqGerenteImplantBeforePesq(TComponent *, bool &) {
  qryGrupoImplantacao->Close();
  qryGrupoImplantacao->ParamByName("P_CDOPERADOR").SetAsString("");
  qryGrupoImplantacao->ParamByName("P_TCDOPERADOR").SetAsString(std::string(server::allRows));
  qryGrupoImplantacao->Open();
}

void TfrmParamFatCli::btpPesqGerenteImplantAfterPesq(TComponent *) {
  if (cdsParamFatCli->State() == dsBrowse) cdsParamFatCli->Edit();
  cdsParamFatCliCDGERENTEIMPCLI->SetAsString(qryGrupoImplantacaoCDOPERADOR->AsString());
  cdsParamFatCliNMOPERADOR->SetAsString(qryGrupoImplantacaoNMOPERADOR->AsString());
  edtMostraGerenteImplant->SetText(qryGrupoImplantacaoNMOPERADOR->AsString());
}

// The unified invoice is only chosen from its list.
void TfrmParamFatCli::dbcGeraNFUnifKeyPress(TComponent *, char32_t &Key) { Key = 0; }

// Digits and at most one decimal separator, of either kind.
void TfrmParamFatCli::dbePercAjustKeyPress(TComponent *, char32_t &Key) {
  if (Key == U'\b' || (Key >= U'0' && Key <= U'9')) return;
  const bool separator = Key == U',' || Key == U'.';
  if (!separator || dbePercAjust->Text().find_first_of(",.") != std::string::npos) Key = 0;
}

void TfrmParamFatCli::pgcPadraoChange(TComponent *) {
  const bool onOutros = pgcPadrao->ActivePage() == tshOutros;
  const bool rowEdited = editing(dtsPadrao->State());
  setCommandEnabled(sbtProcurar, !onOutros && !rowEdited);
  if (onOutros && Consiste::EmptyString(dbeTipoServico->Text()) && dbeTipoServico->Enabled())
    dbeTipoServico->SetFocus();
  mnuPrincipais->SetChecked(!onOutros);
  mnuOutros->SetChecked(onOutros);
  if (rowEdited && onOutros && !boImportado) offerCompanyTexts(textsTypedInEdit());
}

void TfrmParamFatCli::mnuPrincipaisClick(TComponent *) { showPage(tshPadrao); }

void TfrmParamFatCli::mnuOutrosClick(TComponent *) { showPage(tshOutros); }

// The menu's check mark follows the page also when a failed check or a cancel shows it.
void TfrmParamFatCli::showPage(TTabSheet *page) {
  pgcPadrao->SetActivePage(page);
  mnuPrincipais->SetChecked(page == tshPadrao);
  mnuOutros->SetChecked(page == tshOutros);
}

} // namespace Cli_kdr03020
