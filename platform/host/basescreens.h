#pragma once
// The host's base screens. A screen derives from one of them, builds its own components in its
// constructor, all owned by the screen (datasets and data sources too), and overrides the
// handlers it extends, calling the base handler first.
#include "platform/data/datasource.h"
#include "platform/host/controls.h"
#include "platform/host/messages.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/dbctrls.h"
#include "platform/ui/dbgrids.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/stdctrls.h"

namespace kdr {

// The grid screen: a toolbar of record commands over the dataset of dtsPadrao, each mirrored by
// an item of the menu mnuOperacao, and a page control whose first page holds the grid.
class TfrmPadraoGrid : public TForm {
public:
  explicit TfrmPadraoGrid(TComponent *owner);
  std::string className() const override { return "TfrmPadraoGrid"; }

  TLabel *lblCodTela;
  TPanel *panMenu;
  TButtonFlat *sbtIncluir, *sbtExcluir, *sbtProcurar, *sbtVerificar, *sbtConfirmar, *sbtCancelar,
      *sbtImprimir;
  TCustomPageControl98 *pgcPadrao;
  TTabSheet *tshPadrao;
  TDBGrid *dbgPadrao;
  TPanel *panNavigator;
  TDBText *dbtNome;
  TDBNavigator *dbnPadrao;
  TDataSource *dtsPadrao;
  // The screen's own catalogue, and apart from it the base's catalogue of its questions.
  TMessages *msgPadrao;
  TMessages *msgPadraoGrid;
  TMainMenu *mnuMenu;
  TMenuItem *mnuOperacao;
  TMenuItem *mnuIncluir, *mnuExcluir, *mnuProcurar, *mnuVerificar, *mnuConfirmar, *mnuCancelar, *mnuImprimir;

  // The dataset the commands work on; null when dtsPadrao has none.
  TDataSet *dataSetPadrao() const { return dtsPadrao->DataSet(); }
  // Sets a toolbar button and the menu item that mirrors it.
  void setCommandEnabled(TButtonFlat *button, bool enabled);
  TMenuItem *menuItemOf(const TButtonFlat *button) const;

  // Shows the first page and sets the commands for the state of dtsPadrao.
  virtual void FormCreate(TComponent *Sender);
  // The base keeps nothing to release; the close action stays what the screen gives it.
  virtual void FormClose(TComponent *Sender, TCloseAction &Action);
  // With a row being edited, asks "Grav" (Sim, Não, Cancelar): Sim confirms it and closes only
  // when that succeeded, Não drops it and closes, Cancelar stays.
  void FormCloseQuery(TComponent *Sender, bool &CanClose);
  // Drops the row being edited; Cancelar (after its question) and a close answered Não use it.
  virtual void cancelEdit();
  // Inserts a row into the open dataset.
  virtual void sbtIncluirClick(TComponent *Sender);
  // Asks "Excl" and deletes the current row on Yes.
  virtual void sbtExcluirClick(TComponent *Sender);
  // Opens the find dialog on the open dataset.
  virtual void sbtProcurarClick(TComponent *Sender);
  // Reloading is the screen's: the base does not know where the rows come from.
  virtual void sbtVerificarClick(TComponent *Sender);
  // Posts the row being edited or inserted.
  virtual void sbtConfirmarClick(TComponent *Sender);
  // Asks "Canc" and cancels the row being edited or inserted on Yes (cancelEdit).
  virtual void sbtCancelarClick(TComponent *Sender);
  virtual void sbtImprimirClick(TComponent *Sender);
  // Ctrl+F opens the find dialog, like the Procurar button when it is enabled; every other key
  // goes on to the grid untouched.
  virtual void dbgPadraoKeyDown(TComponent *Sender, int &Key, TShiftState Shift);
  // The base filters no character: the screens decide what their columns accept.
  virtual void dbgPadraoKeyPress(TComponent *Sender, char32_t &Key);
  // The commands follow the state of dtsPadrao: insert and verify while not editing, delete and
  // find while browsing rows, confirm and cancel while editing. Screens with their own rule
  // override it whole.
  virtual void dtsPadraoStateChange(TComponent *Sender);

private:
  TButtonFlat *command(const char *name, const char *hint, TMenuItem *&item, const char *caption,
                       TShortCut shortCut, void (TfrmPadraoGrid::*handler)(TComponent *));
};

// The routine screen: a toolbar with the confirm button over a group holding the screen's inputs.
class TfrmRotiGeral : public TForm {
public:
  explicit TfrmRotiGeral(TComponent *owner);
  std::string className() const override { return "TfrmRotiGeral"; }

  TLabel *lblCodTela;
  TPanel *panMenu;
  TButtonFlat *sbtConfirma;
  TGroupBox *grbDadosRel;
  TMessages *msgPadrao;

  // The base keeps nothing to release; the close action stays what the screen gives it.
  virtual void FormClose(TComponent *Sender, TCloseAction &Action);
  // Without the mouse: Ctrl+S confirms, as the grid screens' Confirmar does.
  virtual void FormKeyDown(TComponent *Sender, int &Key, TShiftState Shift);
};

} // namespace kdr
