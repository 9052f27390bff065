#include "module/Cli_kdr03030/TfrmCadAutomFatCli.h"

#include "module/Cli_kdr03020/Cli_kdr03020.h"
#include "module/Cli_kdr03020/TfrmParamFatCli.h"
#include "module/Cli_kdr03030/Cli_kdr03030.h"
#include "module/common/scopes.h"
#include "module/common/server_methods.h"
#include "platform/host/consiste.h"
#include "platform/host/dialog_services.h"
#include "platform/net/server_work.h"
#include "platform/rtl/events.h"
#include "platform/ui/application.h"

#include <algorithm>

namespace Cli_kdr03030 {

using namespace kdr;
using Cli_kdr03020::TfrmParamFatCli;
namespace common = kdr03020::common;

namespace {

const std::vector<std::string> catalogue{
    "lst_cli|Cliente deve ser informado.",
    "not_cli|Cliente não cadastrado.",
    "not_tip|Tipo de Serviço/Descrição não informados.",
    "Cliente_Imp|Cliente(s) Importado com Sucesso.",
    // While the copy runs, and once it was stopped.
    "copiando|Copiando parâmetros: {feitos} de {total} cliente(s)",
    "Copia_Canc|Cópia cancelada. Nada foi gravado: os clientes estão como antes.",
    // {clientes}, {incluidos} and {substituidos} take the server's preview of the same copy.
    "Conf_Copia|Serão copiados parâmetros para {clientes} cliente(s): {incluidos} incluído(s) e "
    "{substituidos} "
    "substituído(s). Confirma?",
    "cliente|Cliente",
    "qtd_lst|cliente(s) na lista",
    // The model is read from the billing-parameters screen, which may not be in a state to give one.
    "tela_fech|Abra a tela Parâmetros de Faturamento por Cliente e informe nela o cliente modelo.",
    "cli_ninf|Informe o cliente modelo na tela Parâmetros de Faturamento por Cliente.",
    "cli_edit|Confirme ou cancele a alteração em andamento na tela Parâmetros de Faturamento por Cliente.",
    "cli_dif|A tela Parâmetros de Faturamento por Cliente não mostra mais o cliente modelo. Volte a ele ou "
    "abra esta tela novamente para copiar de outro cliente.",
};

TCheckBox *checkBox(TComponent *owner, const char *name, const char *caption, TWinControl *parent) {
  auto *box = placed<TCheckBox>(owner, name, parent);
  box->SetCaption(caption);
  // As wide as its group: the slip box goes under the invoice box.
  box->SetWidth(250);
  box->SetEnabled(false);
  return box;
}

} // namespace

std::string catalogueText(std::string_view key) {
  TMessages messages(nullptr);
  messages.Messages = catalogue;
  return messages.Msg(key);
}

std::string_view modelRefusal() {
  if (!Cli_kdr03020::boIdCriado || Cli_kdr03020::frmParamFatCli == nullptr) return "tela_fech";
  const TfrmParamFatCli &screen = *Cli_kdr03020::frmParamFatCli;
  if (!screen.cdsParamFatCli->Active() || !screen.cdsCliente->Active() || screen.cdsCliente->IsEmpty())
    return "cli_ninf";
  // The rows of the billing-parameters screen are walked from the first on: a row half edited there
  // would be posted behind its user's back, with that screen's checks raising in the middle here.
  if (editing(screen.cdsParamFatCli->State())) return "cli_edit";
  return {};
}

TfrmCadAutomFatCli::TfrmCadAutomFatCli(TComponent *owner) : TfrmRotiGeral(owner) {
  SetName("frmCadAutomFatCli");
  SetCaption("Cadastramento Automático de Parâmetro de Faturamento por Cliente");
  SetWidth(600);
  SetHeight(470);
  createDataModel();
  createLayout();
  assignHandlers();
}

// Whoever still holds the unit's reference must never reach a freed screen.
TfrmCadAutomFatCli::~TfrmCadAutomFatCli() {
  if (frmCadAutomFatCli == this) {
    frmCadAutomFatCli = nullptr;
    boidcriado = false;
  }
}

void TfrmCadAutomFatCli::createDataModel() {
  adqCliente = make<TADOIBQuery>(this, "adqCliente");
  for (const char *line : {"SELECT CDCLIENTE, IDTPIJURCLIE, NRINSJURCLIE, NMFANTCLIE", "FROM CLIENTE",
                           "WHERE CDCLIENTE <> :P_CDCLIENTE", "ORDER BY NRINSJURCLIE"})
    adqCliente->SQL.Add(line);
  TDataSet &clients = adqCliente->Query;
  adqClienteCDCLIENTE = &clients.AddStringField("CDCLIENTE", 21);
  adqClienteCDCLIENTE->SetDisplayLabel("Código");
  adqClienteCDCLIENTE->SetVisible(false);
  adqClienteIDTPIJURCLIE = &clients.AddStringField("IDTPIJURCLIE", 1);
  adqClienteIDTPIJURCLIE->SetDisplayLabel("Tipo ");
  adqClienteIDTPIJURCLIE->SetVisible(false);
  adqClienteNRINSJURCLIE = &clients.AddStringField("NRINSJURCLIE", 20);
  adqClienteNRINSJURCLIE->SetDisplayLabel("Inscrição");
  adqClienteNRINSJURCLIE->SetDisplayWidth(30);
  adqClienteNMFANTCLIE = &clients.AddStringField("NMFANTCLIE", 50);
  adqClienteNMFANTCLIE->SetDisplayLabel("Nome Fantasia");
  dtsCliente = make<TDataSource>(this, "dtsCliente");
  dtsCliente->SetDataSet(&clients);

  adqClienteCopia = make<TADOIBQuery>(this, "adqClienteCopia");
  for (const char *line :
       {"SELECT CDCLIENTE", "FROM CLIENTE", "WHERE ((INSTR(:CDCLIENTE,CDCLIENTE) > 0) OR (:NMCLIENTE ='T'))"})
    adqClienteCopia->SQL.Add(line);

  cdsParamClienteCopia = make<TClientDataSet>(this, "cdsParamClienteCopia");
  cdsParamClienteCopiaIDTPFATUCLIE = &cdsParamClienteCopia->AddStringField("IDTPFATUCLIE", 1);
  cdsParamClienteCopiaIDTPFATUCLIE->SetDisplayLabel("Tipo de Serviço");
  cdsParamClienteCopiaDSFATURCLIE = &cdsParamClienteCopia->AddStringField("DSFATURCLIE", 400);
  cdsParamClienteCopiaDSFATURCLIE->SetDisplayLabel("Descrição para Faturamento");
  cdsParamClienteCopiaDSBOLETCLIE = &cdsParamClienteCopia->AddStringField("DSBOLETCLIE", 400);
  cdsParamClienteCopiaDSBOLETCLIE->SetDisplayLabel("Descrição para Boleto");
  cdsParamClienteCopia->SetIndexFieldNames("IDTPFATUCLIE");

  msgPadrao->Messages = catalogue;
}

TGroupBox *TfrmCadAutomFatCli::typeGroup(const char *name, const char *caption, TCheckBox *&invoice,
                                         const char *invoiceName, TCheckBox *&slip, const char *slipName) {
  auto *group = placed<TGroupBox>(this, name, gpbTipServ);
  group->SetCaption(caption);
  // Two groups side by side fill a row of the billing-type box: the six stand in two columns.
  group->SetWidth(272);
  group->SetHeight(78);
  invoice = checkBox(this, invoiceName, "Descrição para Faturamento", group);
  slip = checkBox(this, slipName, "Descrição para Boleto", group);
  return group;
}

void TfrmCadAutomFatCli::createLayout() {
  lblCodTela->SetCaption("KDR03030");

  grbClienteModelo = placed<TGroupBox>(this, "grbClienteModelo", grbDadosRel);
  grbClienteModelo->SetCaption("Cliente Modelo");
  grbClienteModelo->SetAlign(alTop);
  grbClienteModelo->SetHeight(58);
  edtNmCliente = placed<TEdit>(this, "edtNmCliente", grbClienteModelo);
  edtNmCliente->SetEnabled(false);
  edtNmCliente->SetTabStop(false);
  edtNmCliente->SetColor(clBtnFace);
  edtNmCliente->SetWidth(540);

  grbClienteCopia = placed<TGroupBox>(this, "grbClienteCopia", grbDadosRel);
  grbClienteCopia->SetCaption(" Cliente Copia");
  grbClienteCopia->SetAlign(alTop);
  grbClienteCopia->SetHeight(58);
  rbgTodosCli = placed<TRadioButton>(this, "rbgTodosCli", grbClienteCopia);
  rbgTodosCli->SetCaption("Todos");
  rbgTodosCli->SetChecked(true);
  rbgListaClie = placed<TRadioButton>(this, "rbgListaClie", grbClienteCopia);
  rbgListaClie->SetCaption("Lista");
  btpCliente = placed<TBtnPesquisa>(this, "btpCliente", grbClienteCopia);
  btpCliente->SetHint("Pesquisar");
  btpCliente->Title = "Cliente";
  btpCliente->EmptyError = "Não há cliente cadastrado.";
  btpCliente->DataSource = dtsCliente;
  btpCliente->SetEnabled(false);
  lblQtdLista = placed<TLabel>(this, "lblQtdLista", grbClienteCopia);
  lblQtdLista->SetWidth(160); // room for the count before there is one

  gpbTipServ = placed<TGroupBox>(this, "gpbTipServ", grbDadosRel);
  gpbTipServ->SetCaption("Tipo de Faturamento / Descrição");
  gpbTipServ->SetWidth(576);
  gpbTipServ->SetHeight(290);
  // Created row by row, left column first, so they flow into two columns.
  grbCustomizacao = typeGroup("grbCustomizacao", "Customização", chbDescFatCZ, "chbDescFatCZ", chbDescBolCZ,
                              "chbDescBolCZ");
  grbLicencaUso = typeGroup("grbLicencaUso", "Licenca de Uso", chbDescFatLU, "chbDescFatLU", chbDescBolLU,
                            "chbDescBolLU");
  grbManutencao =
      typeGroup("grbManutencao", "Manutenção", chbDescFatMN, "chbDescFatMN", chbDescBolMN, "chbDescBolMN");
  grbLocacao = typeGroup("grbLocacao", "Locação", chbDescFatLC, "chbDescFatLC", chbDescBolLC, "chbDescBolLC");
  grbMaoDeObra =
      typeGroup("grbMaoDeObra", "Mão de Obra", chbDescFatMO, "chbDescFatMO", chbDescBolMO, "chbDescBolMO");
  grbServiceDesk =
      typeGroup("grbServiceDesk", "Service Desk", chbDescFatSD, "chbDescFatSD", chbDescBolSD, "chbDescBolSD");

  const std::array<std::pair<TCheckBox *, TCheckBox *>, 6> pairs{{{chbDescFatCZ, chbDescBolCZ},
                                                                  {chbDescFatLU, chbDescBolLU},
                                                                  {chbDescFatMN, chbDescBolMN},
                                                                  {chbDescFatLC, chbDescBolLC},
                                                                  {chbDescFatMO, chbDescBolMO},
                                                                  {chbDescFatSD, chbDescBolSD}}};
  for (std::size_t i = 0; i < pairs.size(); ++i)
    boxes_[i] = {&common::billingTypes[i], pairs[i].first, pairs[i].second};
}

void TfrmCadAutomFatCli::assignHandlers() {
  OnCreate = bindHandler(this, &TfrmCadAutomFatCli::FormCreate);
  rbgTodosCli->OnClick = bindHandler(this, &TfrmCadAutomFatCli::rbgTodosCliClick);
  rbgListaClie->OnClick = bindHandler(this, &TfrmCadAutomFatCli::rbgListaClieClick);
  btpCliente->OnClick = bindHandler(this, &TfrmCadAutomFatCli::btpClienteClick);
  sbtConfirma->OnClick = bindHandler(this, &TfrmCadAutomFatCli::sbtConfirmaClick);
}

const TfrmCadAutomFatCli::TypeBoxes *TfrmCadAutomFatCli::boxesOf(std::string_view code) const {
  const common::BillingType *type = common::billingTypeOf(code);
  if (type == nullptr) return nullptr;
  for (const TypeBoxes &b : boxes_)
    if (b.type == type) return &b;
  return nullptr;
}

bool TfrmCadAutomFatCli::anyBoxChecked() const {
  for (const TypeBoxes &b : boxes_)
    if (b.invoice->Checked() || b.slip->Checked()) return true;
  return false;
}

TfrmParamFatCli &TfrmCadAutomFatCli::modelScreen() const {
  if (const std::string_view key = modelRefusal(); !key.empty())
    Consiste::MensErro(msgPadrao->Msg(key), true);
  TfrmParamFatCli &model = *Cli_kdr03020::frmParamFatCli;
  // Another client loaded there meanwhile would have its rows sent under the name shown here.
  if (model.cdsClienteCDCLIENTE->AsString() != modelClient_)
    Consiste::MensErro(msgPadrao->Msg("cli_dif"), true);
  return model;
}

// The boxes that can be used follow the model's rows present now; a code outside "1".."6" (a
// legacy row, an empty code) enables nothing.
void TfrmCadAutomFatCli::FormCreate(TComponent *) {
  if (const std::string_view key = modelRefusal(); !key.empty())
    Consiste::MensErro(msgPadrao->Msg(key), true);
  TfrmParamFatCli &model = *Cli_kdr03020::frmParamFatCli;
  modelClient_ = model.cdsClienteCDCLIENTE->AsString();
  edtNmCliente->SetText(model.edtNmCliente->Text());
  TClientDataSet &rows = *model.cdsParamFatCli;
  for (rows.First(); !rows.Eof(); rows.Next())
    if (const TypeBoxes *b = boxesOf(model.cdsParamFatCliIDTPFATUCLIE->AsString())) {
      b->invoice->SetEnabled(true);
      b->slip->SetEnabled(true);
    }
}

void TfrmCadAutomFatCli::rbgTodosCliClick(TComponent *) {
  btpCliente->SetEnabled(false);
  lblQtdLista->SetCaption("");
  stCliente = std::string(common::allRows);
}

void TfrmCadAutomFatCli::rbgListaClieClick(TComponent *) {
  btpCliente->SetEnabled(true);
  stCliente.clear();
  lblQtdLista->SetCaption("");
}

// The list offers every client but the model; the choice is written into the target list.
void TfrmCadAutomFatCli::btpClienteClick(TComponent *) {
  modelScreen();
  adqCliente->GetIBParams().ParamByName("P_CDCLIENTE").SetAsString(modelClient_);
  adqCliente->Open();
  const std::string caption = msgPadrao->Msg("Cliente") + "|" + msgPadrao->Msg("not_cli");
  Pesqlista::PesquisaLista(*dtsCliente, "CDCLIENTE", caption, false, stCliente);
  // The list is the chosen codes, each quoted, separated by commas.
  const auto chosen =
      Consiste::EmptyString(stCliente) ? 0 : std::count(stCliente.begin(), stCliente.end(), ',') + 1;
  lblQtdLista->SetCaption(std::to_string(chosen) + " " + msgPadrao->Msg("qtd_lst"));
}

void TfrmCadAutomFatCli::FormKeyDown(TComponent *Sender, int &Key, TShiftState Shift) {
  if (Key == VK_F4 && Shift.empty() && btpCliente->Enabled()) {
    Key = 0;
    btpCliente->click();
    return;
  }
  TfrmRotiGeral::FormKeyDown(Sender, Key, Shift);
}

void TfrmCadAutomFatCli::sbtConfirmaClick(TComponent *) {
  TfrmParamFatCli &model = modelScreen();
  if (rbgListaClie->Checked() && Consiste::EmptyString(stCliente)) {
    rbgListaClie->SetFocus();
    Consiste::MensErro(msgPadrao->Msg("lst_cli"), true);
  } else if (rbgTodosCli->Checked()) {
    stCliente = std::string(common::allRows);
  }
  if (!anyBoxChecked()) Consiste::MensErro(msgPadrao->Msg("not_tip"), true);
  buildOrder(model);
  // However the confirmation and the send end, the order goes; the choices stay on screen.
  common::ClosedOnExit order(*cdsParamClienteCopia);
  if (!copyConfirmed(model)) return;
  if (sendOrder(model)) Close();
}

// A copy may write to every client at once: the user sees what the server would do with this very
// order, counted, before anything is written.
bool TfrmCadAutomFatCli::copyConfirmed(TfrmParamFatCli &model) {
  Variant preview;
  {
    common::ServerWait wait;
    preview =
        Consiste::CheckResultServ(model.netParamFatCliServ->Call(common::PreviewGeraAutomParam,
                                                                 {Variant(stCliente), Variant(modelClient_),
                                                                  cdsParamClienteCopia->Delta()}),
                                  true, 0);
  }
  TClientDataSet totals(nullptr);
  totals.SetData(preview.array().at(1));
  const std::string question =
      msgPadrao->Msg("Conf_Copia", {{"clientes", totals.FieldByName("CLIENTES").AsString()},
                                    {"incluidos", totals.FieldByName("INCLUIR").AsString()},
                                    {"substituidos", totals.FieldByName("SUBSTITUIR").AsString()}});
  return Application().dialogs().messageDlg(Application().Title, question, mtConfirmation, {mbYes, mbNo}) ==
         mrYes;
}

// One order row per model row of a checked type, in the model's order; an unchecked text stays
// null, which the server reads as "not copied".
void TfrmCadAutomFatCli::buildOrder(TfrmParamFatCli &model) {
  cdsParamClienteCopia->Close();
  cdsParamClienteCopia->CreateDataSet();
  cdsParamClienteCopia->EmptyDataSet();
  TClientDataSet &rows = *model.cdsParamFatCli;
  for (rows.First(); !rows.Eof(); rows.Next()) {
    const TypeBoxes *b = boxesOf(model.cdsParamFatCliIDTPFATUCLIE->AsString());
    if (b == nullptr || !(b->invoice->Checked() || b->slip->Checked())) continue;
    cdsParamClienteCopia->Insert();
    cdsParamClienteCopiaIDTPFATUCLIE->SetAsString(std::string(b->type->code));
    if (b->invoice->Checked())
      cdsParamClienteCopiaDSFATURCLIE->SetValue(model.cdsParamFatCliDSFATURCLIE->Value());
    if (b->slip->Checked())
      cdsParamClienteCopiaDSBOLETCLIE->SetValue(model.cdsParamFatCliDSBOLETCLIE->Value());
    cdsParamClienteCopia->Post();
  }
  // The checked types may have lost all their model rows since the opening: nothing to send.
  if (cdsParamClienteCopia->IsEmpty()) {
    cdsParamClienteCopia->Close();
    Consiste::MensErro(msgPadrao->Msg("not_tip"), true);
  }
}

// A copy to every client of a large base takes minutes: the user follows it in a progress dialog
// and may stop it, which leaves every client as it was and the screen with its choices.
bool TfrmCadAutomFatCli::sendOrder(TfrmParamFatCli &model) {
  ServerWork work(*model.netParamFatCliServ, common::GeraAutomParamAcompanhado,
                  {Variant(stCliente), Variant(modelClient_), cdsParamClienteCopia->Delta()});
  const FollowedWork followed{[&] { work.start(); },
                              [&] {
                                const ServerWork::Progress p = work.progress();
                                return FollowedWork::State{
                                    msgPadrao->Msg("copiando", {{"feitos", std::to_string(p.done)},
                                                                {"total", std::to_string(p.total)}}),
                                    p.done, p.total, work.over()};
                              },
                              [&] { work.cancel(); }};
  Application().dialogs().progressDlg(Caption(), followed);
  const Variant result = work.result();
  if (TNetConnection::errorCode(result) == "cancelled") {
    msgPadrao->ShowMsg("Copia_Canc", mtInformation, {mbOK}, 0);
    return false;
  }
  Consiste::CheckResultServ(result, true, 0);
  msgPadrao->ShowMsg("Cliente_Imp", mtInformation, {mbOK}, 0);
  return true;
}

void TfrmCadAutomFatCli::FormClose(TComponent *Sender, TCloseAction &Action) {
  TfrmRotiGeral::FormClose(Sender, Action);
  Action = caFree;
  boidcriado = false;
  frmCadAutomFatCli = nullptr;
}

} // namespace Cli_kdr03030
