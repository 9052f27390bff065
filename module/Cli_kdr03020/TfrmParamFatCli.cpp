#include "module/Cli_kdr03020/TfrmParamFatCli.h"

#include "module/Cli_kdr03020/Cli_kdr03020.h"
#include "module/common/screens.h"
#include "module/common/server_methods.h"
#include "platform/host/consiste.h"
#include "platform/host/zelnor.h"
#include "platform/rtl/events.h"
#include "platform/ui/mask.h"

namespace Cli_kdr03020 {

using namespace kdr;
namespace server = kdr03020::common;

TfrmParamFatCli::TfrmParamFatCli(TComponent *owner) : TfrmPadraoGrid(owner) {
  SetName("frmParamFatCli");
  SetCaption("Parâmetros de Faturamento por Cliente");
  SetFormStyle(fsMDIChild);
  createDataModel();
  createLayout();
  assignHandlers();
  assignSaveHandlers();
}

// Whoever still holds the unit's reference must never reach a freed screen.
TfrmParamFatCli::~TfrmParamFatCli() {
  if (frmParamFatCli == this) {
    frmParamFatCli = nullptr;
    boIdCriado = false;
  }
}

namespace {

// Clients per page of the client search.
constexpr std::string_view clientePagina = "100";

TMenuItem *menuItem(TComponent *owner, const char *name, const char *caption) {
  auto *item = make<TMenuItem>(owner, name);
  item->SetCaption(caption);
  return item;
}

TColumn *column(TDBGrid *grid, const char *field, const char *title, std::vector<std::string> pickList = {}) {
  TColumn *c = grid->addColumn(field);
  c->Title.Caption = title;
  c->PickList = std::move(pickList);
  return c;
}

} // namespace

void TfrmParamFatCli::createLayout() {
  lblCodTela->SetCaption("KDR03020");
  setCommandEnabled(sbtImprimir, false);
  sbtDescPad = placed<TButtonFlat>(this, "sbtDescPad", panMenu);
  sbtDescPad->placeBefore(sbtImprimir);
  sbtDescPad->SetHint("Confirmar");
  sbtDescPad->SetGlyph("descpad");

  panCliente = placed<TPanel>(this, "panCliente", this);
  panCliente->SetAlign(alTop);
  lbCliente = placed<TLabel>(this, "lbCliente", panCliente);
  lbCliente->SetCaption("Cliente");
  lbCliente->SetFontBold(true);
  medNrInsJurClie = placed<TMaskEdit>(this, "medNrInsJurClie", panCliente);
  medNrInsJurClie->SetMaxLength(20);
  // Tab reaches the number: a clerk names the client without the mouse.
  medNrInsJurClie->SetTabStop(true);
  medNrInsJurClie->SetColor(clInfoBk);
  btpCliente = placed<TBtnPesquisa>(this, "btpCliente", panCliente);
  btpCliente->SetHint("Pesquisar");
  btpCliente->Associate = medNrInsJurClie;
  btpCliente->Title = "Cliente";
  btpCliente->DataSource = dtsCliente;
  btpCliente->EmptyError = "Não há cliente cadastrado.";
  edtNmCliente = placed<TEdit>(this, "edtNmCliente", panCliente);
  edtNmCliente->SetEnabled(false);
  edtNmCliente->SetColor(clBtnFace);

  tshPadrao->SetCaption("Parâmetros Principais");
  dtsPadrao->SetDataSet(cdsParamFatCli);
  dbgPadrao->Options = dgEditing | dgTitles | dgColumnResize | dgColLines | dgRowLines | dgTabs |
                       dgAlwaysShowSelection | dgConfirmDelete;
  column(dbgPadrao, "IDTPFATUCLIE", "Faturamento",
         {"Customização", "Licença de uso", "Manutenção", "Mão de Obra", "Service Desk"})
      ->Width = 81;
  TColumn *company = column(dbgPadrao, "CDEMPRESA", "Empresa");
  company->Width = 121;
  company->ButtonStyle = cbsEllipsis;
  column(dbgPadrao, "IDFATURAPFILI", "Fatura por Filial", {"Sim", "Não"});
  column(dbgPadrao, "IDFATMESATUCLIE", "Fatura Mês Atual", {"Sim", "Não"});
  dbtNome->SetDataField("IDTPFATUCLIE");

  tshOutros = make<TTabSheet>(this, "tshOutros");
  tshOutros->SetPageControl(pgcPadrao);
  tshOutros->SetCaption("Outros");
  tshOutros->SetEnabled(false);
  createOutrosLayout();

  mnuPrincipais = menuItem(this, "mnuPrincipais", "&Parametros Principais");
  mnuPrincipais->SetChecked(true);
  mnuOutros = menuItem(this, "mnuOutros", "&Outros");
  mnuLinha = menuItem(this, "mnuLinha", "-");
  for (TMenuItem *item : {mnuPrincipais, mnuOutros, mnuLinha}) mnuOperacao->Add(item);
}

void TfrmParamFatCli::assignHandlers() {
  netParamFatCliServ->BeforeConnect = bindHandler(this, &TfrmParamFatCli::netParamFatCliServBeforeConnect);
  medNrInsJurClie->OnEnter = bindHandler(this, &TfrmParamFatCli::medNrInsJurClieEnter);
  medNrInsJurClie->OnChange = bindHandler(this, &TfrmParamFatCli::medNrInsJurClieChange);
  medNrInsJurClie->OnExit = bindHandler(this, &TfrmParamFatCli::medNrInsJurClieExit);
  medNrInsJurClie->OnKeyPress = bindHandler(this, &TfrmParamFatCli::PadraoNumeroKeyPress);
  medNrInsJurClie->OnKeyDown = bindHandler(this, &TfrmParamFatCli::medNrInsJurClieKeyDown);
  btpCliente->OnClick = bindHandler(this, &TfrmParamFatCli::btpClienteClick);
  btpCliente->OnBeforePesq = bindHandler(this, &TfrmParamFatCli::btpClienteBeforePesq);
  btpCliente->OnAfterPesq = bindHandler(this, &TfrmParamFatCli::btpClienteAfterPesq);
  btpCliente->Pages = {bindHandler(this, &TfrmParamFatCli::btpClienteFiltra),
                       bindHandler(this, &TfrmParamFatCli::btpClienteMaisClientes)};
  panCliente->OnEnter = bindHandler(this, &TfrmParamFatCli::panClienteEnter);
  panCliente->OnExit = bindHandler(this, &TfrmParamFatCli::panClienteExit);
  cdsClienteNRINSJURCLIE->OnGetText = bindHandler(this, &TfrmParamFatCli::cdsClienteNRINSJURCLIEGetText);
  sbtDescPad->OnClick = bindHandler(this, &TfrmParamFatCli::sbtDescPadClick);
  assignGridHandlers();
  assignOutrosHandlers();
}

Variant TfrmParamFatCli::callServer(std::string_view method, Variant::Array args) {
  return Consiste::CheckResultServ(netParamFatCliServ->Call(method, std::move(args)), true, 0);
}

void TfrmParamFatCli::FormCreate(TComponent *Sender) {
  TfrmPadraoGrid::FormCreate(Sender);
  netParamFatCliServ->SetConnected(true);
}

void TfrmParamFatCli::netParamFatCliServBeforeConnect(TNetConnection &Sender) {
  Zelnor::PointAtServer(Sender);
}

// The number is typed bare; taking the mask off must neither clear the name nor disable commands.
void TfrmParamFatCli::medNrInsJurClieEnter(TComponent *) {
  SilencedEvent silence(medNrInsJurClie->OnChange);
  medNrInsJurClie->SetEditMask("");
  medNrInsJurClie->SetMaxLength(20);
}

void TfrmParamFatCli::medNrInsJurClieChange(TComponent *) {
  searchChoice_.clear();
  edtNmCliente->SetText("");
  if (medNrInsJurClie->Text().empty()) {
    setCommandEnabled(sbtIncluir, false);
    setCommandEnabled(sbtVerificar, false);
  }
}

void TfrmParamFatCli::PadraoNumeroKeyPress(TComponent *, char32_t &Key) {
  if ((Key < U'0' || Key > U'9') && Key != U'\b') Key = 0;
}

// Without the mouse: Enter leaves the number as Tab does (the client is looked up), F4 opens the
// client search as its button does.
void TfrmParamFatCli::medNrInsJurClieKeyDown(TComponent *, int &Key, TShiftState) {
  if (Key == VK_RETURN) {
    Key = 0;
    selectNext(medNrInsJurClie, true);
  } else if (Key == VK_F4) {
    Key = 0;
    if (btpCliente->Enabled()) btpCliente->click();
  }
}

// Several clients may share a number: the server's first one is taken, unless the number is still
// the one a search choice wrote, whose client is then the one the user picked.
void TfrmParamFatCli::medNrInsJurClieExit(TComponent *) {
  const std::string picked = std::exchange(searchChoice_, {});
  try {
    if (Consiste::EmptyString(medNrInsJurClie->Text()))
      Consiste::MensErro(msgPadrao->Msg("Cliente_Inf"), true);
    medNrInsJurClie->SetText(Consiste::Ajusta_Inscricao(medNrInsJurClie->Text()));
    cdsCliente->SetData(callServer(server::GetCliente, {medNrInsJurClie->Text(), ""}));
    if (cdsCliente->IsEmpty()) Consiste::MensErro(msgPadrao->Msg("Cliente_NCad"), true);
    if (!picked.empty()) cdsCliente->Locate("CDCLIENTE", Variant(picked));
    // The mask goes first: laying the number into it changes the text, which clears the name.
    medNrInsJurClie->SetEditMask(Consiste::PictPess(cdsClienteIDTPIJURCLIE->AsString()));
    edtNmCliente->SetText(cdsClienteNMFANTCLIE->AsString());
  } catch (...) {
    medNrInsJurClie->SetFocus();
    throw;
  }
}

// The search lists every client in cdsCliente, whose current row is the chosen client. A search
// that ends without a choice puts the chosen client back, so rows saved afterwards still go to
// the client the screen shows.
void TfrmParamFatCli::btpClienteClick(TComponent *) {
  const bool hadClient = cdsCliente->Active();
  const Variant chosen = hadClient ? cdsCliente->Data() : Variant(nullptr);
  const std::size_t row = cdsCliente->RecNo();
  if (btpCliente->Pesquisar()) return;
  if (!hadClient) {
    cdsCliente->Close();
    return;
  }
  cdsCliente->SetData(chosen);
  if (row > 1) cdsCliente->MoveBy(static_cast<int>(row) - 1);
}

// The search shows the clients a page at a time, so it opens at once however many there are.
void TfrmParamFatCli::btpClienteBeforePesq(TComponent *, bool &) { btpClienteFiltra(""); }

void TfrmParamFatCli::btpClienteFiltra(const std::string &Text) {
  clienteFiltro_ = Text;
  cdsCliente->SetData(callServer(server::PesquisaCliente, {Text, "", std::string(clientePagina)}));
}

// The next page goes after the rows shown; the row the user stands on stays current.
bool TfrmParamFatCli::btpClienteMaisClientes() {
  if (!cdsCliente->Active() || cdsCliente->IsEmpty()) return false;
  const std::size_t row = cdsCliente->RecNo();
  cdsCliente->Last();
  const Variant next = callServer(
      server::PesquisaCliente, {clienteFiltro_, cdsClienteCDCLIENTE->AsString(), std::string(clientePagina)});
  if (!next.isPacket() || next.packet()->rows.empty()) {
    cdsCliente->First();
    if (row > 1) cdsCliente->MoveBy(static_cast<int>(row) - 1);
    return false;
  }
  DataPacket shown = *cdsCliente->Data().packet();
  shown.rows.insert(shown.rows.end(), next.packet()->rows.begin(), next.packet()->rows.end());
  cdsCliente->SetData(makePacketVariant(std::move(shown)));
  if (row > 1) cdsCliente->MoveBy(static_cast<int>(row) - 1);
  return true;
}

// The number goes in bare: laid into the mask of the client shown before, a company's number
// would lose the digits a person's mask has no room for.
void TfrmParamFatCli::btpClienteAfterPesq(TComponent *) {
  medNrInsJurClieEnter(this);
  medNrInsJurClie->SetText(cdsClienteNRINSJURCLIE->AsString());
  edtNmCliente->SetText(cdsClienteNMFANTCLIE->AsString());
  searchChoice_ = cdsClienteCDCLIENTE->AsString();
}

// Back at the client: whatever row was being typed belongs to the client being left.
void TfrmParamFatCli::panClienteEnter(TComponent *) {
  warnUnsavedChangesDropped();
  cdsParamFatCli->Close();
  showPage(tshPadrao);
}

void TfrmParamFatCli::panClienteExit(TComponent *) {
  cdsParamFatCli->SetData(callServer(server::GetParamFatCli, {cdsClienteCDCLIENTE->AsString()}));
}

void TfrmParamFatCli::cdsClienteNRINSJURCLIEGetText(TField &, std::string &Text, bool) {
  const std::string mask = Consiste::PictPess(cdsClienteIDTPIJURCLIE->AsString());
  Text = FormatMaskText(mask, cdsClienteNRINSJURCLIE->AsString());
}

void TfrmParamFatCli::sbtDescPadClick(TComponent *) { server::openDefaultDescriptions(netParamFatCliServ); }

void TfrmParamFatCli::FormClose(TComponent *Sender, TCloseAction &Action) {
  TfrmPadraoGrid::FormClose(Sender, Action);
  warnUnsavedChangesDropped();
  cdsParamFatCli->Close();
  cdsCliente->Close();
  cdsTemp->Close();
  Action = caFree;
  boIdCriado = false;
  netParamFatCliServ->SetConnected(false);
}

} // namespace Cli_kdr03020
