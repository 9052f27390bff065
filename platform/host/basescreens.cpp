#include "platform/host/basescreens.h"

#include "platform/host/dialog_services.h"
#include "platform/rtl/events.h"
#include "platform/ui/application.h"

namespace kdr {

TfrmPadraoGrid::TfrmPadraoGrid(TComponent *owner) : TForm(owner) {
  SetName("frmPadraoGrid");
  // The data source is the oldest component, so it is destroyed after every control bound to it.
  dtsPadrao = make<TDataSource>(this, "dtsPadrao");
  panMenu = placed<TPanel>(this, "panMenu", this);
  panMenu->SetAlign(alTop);
  lblCodTela = placed<TLabel>(this, "lblCodTela", panMenu);

  mnuMenu = make<TMainMenu>(this, "mnuMenu");
  mnuOperacao = make<TMenuItem>(this, "mnuOperacao");
  mnuOperacao->SetCaption("&Operação");
  mnuMenu->Items()->Add(mnuOperacao);

  // Every toolbar command has its menu item, and the item a key, so a clerk never needs the mouse.
  const TShiftState ctrl = ssCtrl;
  sbtIncluir = command("sbtIncluir", "Incluir", mnuIncluir, "&Incluir", ShortCut('I', ctrl),
                       &TfrmPadraoGrid::sbtIncluirClick);
  sbtExcluir = command("sbtExcluir", "Excluir", mnuExcluir, "&Excluir", ShortCut('E', ctrl),
                       &TfrmPadraoGrid::sbtExcluirClick);
  sbtProcurar = command("sbtProcurar", "Procurar", mnuProcurar, "&Procurar", ShortCut('F', ctrl),
                        &TfrmPadraoGrid::sbtProcurarClick);
  sbtVerificar = command("sbtVerificar", "Verificar", mnuVerificar, "&Verificar", ShortCut(VK_F5),
                         &TfrmPadraoGrid::sbtVerificarClick);
  sbtConfirmar = command("sbtConfirmar", "Confirmar", mnuConfirmar, "C&onfirmar", ShortCut('S', ctrl),
                         &TfrmPadraoGrid::sbtConfirmarClick);
  sbtCancelar = command("sbtCancelar", "Cancelar", mnuCancelar, "&Cancelar", ShortCut('Z', ctrl),
                        &TfrmPadraoGrid::sbtCancelarClick);
  sbtImprimir = command("sbtImprimir", "Imprimir", mnuImprimir, "Im&primir", ShortCut('P', ctrl),
                        &TfrmPadraoGrid::sbtImprimirClick);

  panNavigator = placed<TPanel>(this, "panNavigator", this);
  panNavigator->SetAlign(alBottom);
  dbtNome = placed<TDBText>(this, "dbtNome", panNavigator);
  dbtNome->SetDataSource(dtsPadrao);
  dbnPadrao = placed<TDBNavigator>(this, "dbnPadrao", panNavigator);
  dbnPadrao->SetDataSource(dtsPadrao);

  pgcPadrao = placed<TCustomPageControl98>(this, "pgcPadrao", this);
  pgcPadrao->SetAlign(alClient);
  // Tab goes from the screen's fields straight into the grid; the pages are the menu's to switch.
  pgcPadrao->SetTabStop(false);
  tshPadrao = make<TTabSheet>(this, "tshPadrao");
  tshPadrao->SetPageControl(pgcPadrao);
  dbgPadrao = placed<TDBGrid>(this, "dbgPadrao", tshPadrao);
  dbgPadrao->SetAlign(alClient);
  dbgPadrao->SetDataSource(dtsPadrao);
  dbgPadrao->OnKeyDown = bindHandler(this, &TfrmPadraoGrid::dbgPadraoKeyDown);
  dbgPadrao->OnKeyPress = bindHandler(this, &TfrmPadraoGrid::dbgPadraoKeyPress);

  msgPadrao = make<TMessages>(this, "msgPadrao");
  msgPadraoGrid = make<TMessages>(this, "msgPadraoGrid");
  msgPadraoGrid->Messages = {"Excl|Confirma exclusão?", "Canc|Cancelar operação?",
                             "Grav|Deseja gravar as alterações?"};

  dtsPadrao->OnStateChange = [this](TDataSource &) { dtsPadraoStateChange(this); };
  OnCreate = bindHandler(this, &TfrmPadraoGrid::FormCreate);
  OnClose = bindHandler(this, &TfrmPadraoGrid::FormClose);
  OnCloseQuery = bindHandler(this, &TfrmPadraoGrid::FormCloseQuery);
}

TButtonFlat *TfrmPadraoGrid::command(const char *name, const char *hint, TMenuItem *&item,
                                     const char *caption, TShortCut shortCut,
                                     void (TfrmPadraoGrid::*handler)(TComponent *)) {
  auto *button = placed<TButtonFlat>(this, name, panMenu);
  button->SetHint(hint);
  button->OnClick = bindHandler(this, handler);
  item = make<TMenuItem>(this, std::string("mnu") + (name + 3));
  item->SetCaption(caption);
  item->SetShortCut(shortCut);
  item->OnClick = [this, handler](TComponent *s) { (this->*handler)(s); };
  mnuOperacao->Add(item);
  return button;
}

TMenuItem *TfrmPadraoGrid::menuItemOf(const TButtonFlat *button) const {
  return dynamic_cast<TMenuItem *>(FindComponent("mnu" + button->Name().substr(3)));
}

void TfrmPadraoGrid::setCommandEnabled(TButtonFlat *button, bool enabled) {
  button->SetEnabled(enabled);
  if (TMenuItem *item = menuItemOf(button)) item->SetEnabled(enabled);
}

void TfrmPadraoGrid::FormCreate(TComponent *) {
  pgcPadrao->SetActivePage(tshPadrao);
  dtsPadraoStateChange(this);
}

void TfrmPadraoGrid::dtsPadraoStateChange(TComponent *) {
  const TDataSetState state = dtsPadrao->State();
  const bool browsingRows = state == dsBrowse && !dataSetPadrao()->IsEmpty();
  for (TButtonFlat *b : {sbtIncluir, sbtVerificar})
    setCommandEnabled(b, state == dsInactive || state == dsBrowse);
  for (TButtonFlat *b : {sbtExcluir, sbtProcurar}) setCommandEnabled(b, browsingRows);
  for (TButtonFlat *b : {sbtConfirmar, sbtCancelar}) setCommandEnabled(b, editing(state));
}

void TfrmPadraoGrid::FormClose(TComponent *, TCloseAction &) {}

// A row being edited is the user's work: closing asks what becomes of it. "Sim" confirms it as
// Confirmar would; a check or a save that fails is told as Confirmar's would be, and the screen
// stays open (a modal one too, whose close runs outside any click).
void TfrmPadraoGrid::FormCloseQuery(TComponent *Sender, bool &CanClose) {
  TDataSet *ds = dataSetPadrao();
  if (ds == nullptr || !editing(ds->State())) return;
  switch (msgPadraoGrid->ShowMsg("Grav", mtConfirmation, {mbYes, mbNo, mbCancel})) {
  case mrYes:
    CanClose = dispatch([&] { sbtConfirmarClick(Sender); }) && !editing(ds->State());
    break;
  case mrNo:
    cancelEdit();
    break;
  default:
    CanClose = false;
  }
}

void TfrmPadraoGrid::cancelEdit() {
  if (TDataSet *ds = dataSetPadrao(); ds != nullptr && editing(ds->State())) ds->Cancel();
}

void TfrmPadraoGrid::sbtIncluirClick(TComponent *) {
  if (TDataSet *ds = dataSetPadrao(); ds != nullptr && ds->Active()) ds->Insert();
}

void TfrmPadraoGrid::sbtExcluirClick(TComponent *) {
  TDataSet *ds = dataSetPadrao();
  if (ds == nullptr || ds->IsEmpty()) return;
  if (msgPadraoGrid->ShowMsg("Excl", mtConfirmation, {mbYes, mbNo}) == mrYes) ds->Delete();
}

void TfrmPadraoGrid::sbtProcurarClick(TComponent *) {
  if (TDataSet *ds = dataSetPadrao(); ds != nullptr && ds->Active()) Procurar::Procura(*ds);
}

void TfrmPadraoGrid::sbtVerificarClick(TComponent *) {}

void TfrmPadraoGrid::sbtConfirmarClick(TComponent *) {
  if (TDataSet *ds = dataSetPadrao(); ds != nullptr && editing(ds->State())) ds->Post();
}

void TfrmPadraoGrid::sbtCancelarClick(TComponent *) {
  TDataSet *ds = dataSetPadrao();
  if (ds == nullptr || !editing(ds->State())) return;
  if (msgPadraoGrid->ShowMsg("Canc", mtConfirmation, {mbYes, mbNo}) == mrYes) cancelEdit();
}

void TfrmPadraoGrid::sbtImprimirClick(TComponent *) {}

void TfrmPadraoGrid::dbgPadraoKeyDown(TComponent *Sender, int &Key, TShiftState Shift) {
  if (Key == 'F' && Shift.contains(ssCtrl) && sbtProcurar->Enabled()) {
    Key = 0;
    sbtProcurarClick(Sender);
  }
}

void TfrmPadraoGrid::dbgPadraoKeyPress(TComponent *, char32_t &) {}

TfrmRotiGeral::TfrmRotiGeral(TComponent *owner) : TForm(owner) {
  SetName("frmRotiGeral");
  panMenu = placed<TPanel>(this, "panMenu", this);
  panMenu->SetAlign(alTop);
  lblCodTela = placed<TLabel>(this, "lblCodTela", panMenu);
  sbtConfirma = placed<TButtonFlat>(this, "sbtConfirma", panMenu);
  sbtConfirma->SetHint("Confirmar");
  grbDadosRel = placed<TGroupBox>(this, "grbDadosRel", this);
  grbDadosRel->SetAlign(alClient);
  msgPadrao = make<TMessages>(this, "msgPadrao");
  OnClose = bindHandler(this, &TfrmRotiGeral::FormClose);
  // The confirm button is a speed button, which never takes the focus: its key is the form's.
  KeyPreview = true;
  OnKeyDown = bindHandler(this, &TfrmRotiGeral::FormKeyDown);
}

void TfrmRotiGeral::FormClose(TComponent *, TCloseAction &) {}

void TfrmRotiGeral::FormKeyDown(TComponent *, int &Key, TShiftState Shift) {
  if (Key == 'S' && Shift.bits == ssCtrl && sbtConfirma->Enabled()) {
    Key = 0;
    sbtConfirma->click();
  }
}

} // namespace kdr
