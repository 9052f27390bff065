#pragma once
// Screen KDR03020, "Parâmetros de Faturamento por Cliente": for one client at a time, its billing
// parameter rows, one per billing type. The client is named by its registration number or chosen
// in a search; leaving the client panel loads its rows.
#include "platform/data/clientdataset.h"
#include "platform/host/adoibquery.h"
#include "platform/host/basescreens.h"
#include "platform/host/controls.h"
#include "platform/net/netconnection.h"
#include "platform/ui/stdctrls.h"

namespace Cli_kdr03020 {

class TfrmParamFatCli : public kdr::TfrmPadraoGrid {
public:
  explicit TfrmParamFatCli(kdr::TComponent *owner);
  ~TfrmParamFatCli() override;
  std::string className() const override { return "TfrmParamFatCli"; }

  // Toolbar and menu of this screen, beside the base's.
  kdr::TButtonFlat *sbtDescPad;
  kdr::TMenuItem *mnuPrincipais;
  kdr::TMenuItem *mnuOutros;
  kdr::TMenuItem *mnuLinha;

  // Client panel.
  kdr::TPanel *panCliente;
  kdr::TLabel *lbCliente;
  kdr::TMaskEdit *medNrInsJurClie;
  kdr::TBtnPesquisa *btpCliente;
  kdr::TEdit *edtNmCliente;

  // Page "Outros": the settings of the current row the grid does not show.
  kdr::TTabSheet *tshOutros;
  kdr::TGroupBox *grbOutros;
  kdr::TLabel *lblTipoServico;
  kdr::TDBEdit *dbeTipoServico;
  kdr::TBtnPesquisa *btpPesqTipoServico;
  kdr::TEdit *edtMostraTipoServico;
  kdr::TLabel *lblGerenteImplant;
  kdr::TDBEdit *dbeGerenteImplant;
  kdr::TBtnPesquisa *btpPesqGerenteImplant;
  kdr::TEdit *edtMostraGerenteImplant;
  kdr::TLabel *lblGeraNFUnif;
  kdr::TDBComboBox *dbcGeraNFUnif;
  kdr::TLabel *lblPercAjust;
  kdr::TDBEdit *dbePercAjust;
  kdr::TLabel *lblDescFaturamento;
  kdr::TDBMemo *dbDescreveFat;
  kdr::TLabel *lblDescBoleto;
  kdr::TDBMemo *dbDescreveBoleto;

  // Data model.
  kdr::TClientDataSet *cdsCliente;
  kdr::TDataSource *dtsCliente;
  kdr::TStringField *cdsClienteCDCLIENTE = nullptr;
  kdr::TStringField *cdsClienteNRINSJURCLIE = nullptr;
  kdr::TStringField *cdsClienteNMFANTCLIE = nullptr;
  kdr::TStringField *cdsClienteIDTPIJURCLIE = nullptr;
  kdr::TClientDataSet *cdsParamFatCli;
  kdr::TStringField *cdsParamFatCliCDCLIENTE = nullptr;
  kdr::TStringField *cdsParamFatCliIDTPFATUCLIE = nullptr;
  kdr::TStringField *cdsParamFatCliDSFATURCLIE = nullptr;
  kdr::TStringField *cdsParamFatCliDSBOLETCLIE = nullptr;
  kdr::TStringField *cdsParamFatCliNMFANTCLIE = nullptr;
  kdr::TStringField *cdsParamFatCliCDTIPOSERV = nullptr;
  kdr::TStringField *cdsParamFatCliNMTIPOSERV = nullptr;
  kdr::TStringField *cdsParamFatCliCDEMPRESA = nullptr;
  kdr::TStringField *cdsParamFatCliNMEMPRESA = nullptr;
  kdr::TStringField *cdsParamFatCliIDFATURAPFILI = nullptr;
  kdr::TStringField *cdsParamFatCliIDFATMESATUCLIE = nullptr;
  kdr::TStringField *cdsParamFatCliNMOPERADOR = nullptr;
  kdr::TStringField *cdsParamFatCliCDGERENTEIMPCLI = nullptr;
  kdr::TStringField *cdsParamFatCliIDGERANFUNIFICA = nullptr;
  kdr::TFloatField *cdsParamFatCliVRPERCAJUSTEINV = nullptr;
  kdr::TStringField *cdsParamFatCliCDPAIS = nullptr;
  kdr::TClientDataSet *cdsTemp;
  kdr::TStringField *cdsTempIDTPFATUCLIE = nullptr;
  kdr::TClientDataSet *cdsTipoDeServico;
  kdr::TStringField *cdsTipoDeServicoCDTIPOSERV = nullptr;
  kdr::TStringField *cdsTipoDeServicoNMTIPOSERV = nullptr;
  kdr::TDataSource *dtsTipoDeServico;
  kdr::TClientDataSet *cdsDescPad;
  kdr::TStringField *cdsDescPadDSFATUREMPRESA = nullptr;
  kdr::TStringField *cdsDescPadDSBOLETEMPRESA = nullptr;
  kdr::TDataSource *dtsDescPad;
  kdr::TADOIBQuery *qryEmpresa;
  kdr::TStringField *qryEmpresaCDEMPRESA = nullptr;
  kdr::TStringField *qryEmpresaNMEMPRESA = nullptr;
  kdr::TDataSource *dtsEmpresa;
  kdr::TADOIBQuery *qryGrupoImplantacao;
  kdr::TStringField *qryGrupoImplantacaoCDOPERADOR = nullptr;
  kdr::TStringField *qryGrupoImplantacaoNMOPERADOR = nullptr;
  kdr::TDataSource *dtsGrupoImplantacao;

  kdr::TNetConnection *netParamFatCliServ;

  // Handlers.
  void FormCreate(kdr::TComponent *Sender) override;
  void FormClose(kdr::TComponent *Sender, kdr::TCloseAction &Action) override;
  void netParamFatCliServBeforeConnect(kdr::TNetConnection &Sender);
  void medNrInsJurClieEnter(kdr::TComponent *Sender);
  void medNrInsJurClieChange(kdr::TComponent *Sender);
  void medNrInsJurClieExit(kdr::TComponent *Sender);
  void medNrInsJurClieKeyDown(kdr::TComponent *Sender, int &Key, kdr::TShiftState Shift);
  void PadraoNumeroKeyPress(kdr::TComponent *Sender, char32_t &Key);
  void btpClienteClick(kdr::TComponent *Sender);
  void btpClienteBeforePesq(kdr::TComponent *Sender, bool &Continue);
  void btpClienteAfterPesq(kdr::TComponent *Sender);
  void btpClienteFiltra(const std::string &Text);
  bool btpClienteMaisClientes();
  void panClienteEnter(kdr::TComponent *Sender);
  void panClienteExit(kdr::TComponent *Sender);
  void cdsClienteNRINSJURCLIEGetText(kdr::TField &Sender, std::string &Text, bool DisplayText);
  // Opens the default-descriptions screen; nothing here is refreshed when it closes.
  void sbtDescPadClick(kdr::TComponent *Sender);

  // The grid of page "Parâmetros Principais": codes shown as texts, key filters, the company
  // column, and the commands, client panel and page "Outros" following the rows' state.
  void cdsParamFatCliIDTPFATUCLIEGetText(kdr::TField &Sender, std::string &Text, bool DisplayText);
  void cdsParamFatCliIDTPFATUCLIESetText(kdr::TField &Sender, const std::string &Text);
  void cdsParamFatCliIDFATURAPFILIGetText(kdr::TField &Sender, std::string &Text, bool DisplayText);
  void cdsParamFatCliIDFATURAPFILISetText(kdr::TField &Sender, const std::string &Text);
  void cdsParamFatCliIDFATMESATUCLIEGetText(kdr::TField &Sender, std::string &Text, bool DisplayText);
  void cdsParamFatCliIDFATMESATUCLIESetText(kdr::TField &Sender, const std::string &Text);
  void cdsParamFatCliIDGERANFUNIFICAGetText(kdr::TField &Sender, std::string &Text, bool DisplayText);
  void dbgPadraoKeyPress(kdr::TComponent *Sender, char32_t &Key) override;
  void dbgPadraoKeyDown(kdr::TComponent *Sender, int &Key, kdr::TShiftState Shift) override;
  void dbgPadraoDrawColumnCell(kdr::TComponent *Sender, const kdr::TRect &Rect, int DataCol,
                               kdr::TColumn *Column, kdr::TGridDrawState State);
  void dbgPadraoEditButtonClick(kdr::TComponent *Sender);
  // Also run before a post, whatever column is selected then.
  void dbgPadraoColExit(kdr::TComponent *Sender);
  void dtsPadraoStateChange(kdr::TComponent *Sender) override;

  // Validation before each post, the save after each post and delete, and the record commands.
  void cdsParamFatCliBeforePost(kdr::TDataSet &DataSet);
  void cdsParamFatCliAfterPost(kdr::TDataSet &DataSet);
  void cdsParamFatCliAfterDelete(kdr::TDataSet &DataSet);
  void cdsParamFatCliAfterCancel(kdr::TDataSet &DataSet);
  void sbtIncluirClick(kdr::TComponent *Sender) override;
  void sbtExcluirClick(kdr::TComponent *Sender) override;
  void sbtVerificarClick(kdr::TComponent *Sender) override;
  // Offers the company's default texts for the row's company and billing type (wait animation,
  // question); "Sim" takes both over and sets boImportado. A failed call raises. textsTyped: the
  // user changed the row's texts in this edit, so the question's default button is "Não".
  void offerCompanyTexts(bool textsTyped);
  // The invoice or bank-slip text differs from the row as loaded (a new row: any text at all).
  bool textsTypedInEdit() const;

  // Page "Outros": which settings the row's billing type and country allow, the checks and
  // searches of the service type and the manager, the key filters, and the page switch with its
  // offer of the company's default texts.
  void cdsParamFatCliAfterScroll(kdr::TDataSet &DataSet);
  void cdsParamFatCliIDTPFATUCLIEChange(kdr::TField &Sender);
  // The checks of a looked-up code: with informar false (leaving the field) an empty code passes;
  // with true (before a post) it is an error. A failure clears the code, shows page "Outros",
  // puts the focus into the field and raises again.
  void Vd_TipoServico(bool informar);
  void Vd_GerenteImp(bool informar);
  void dbeTipoServicoExit(kdr::TComponent *Sender);
  void dbeGerenteImplantExit(kdr::TComponent *Sender);
  void dbeTipoServicoChange(kdr::TComponent *Sender);
  void dbeGerenteImplantChange(kdr::TComponent *Sender);
  void btpPesqTipoServicoClick(kdr::TComponent *Sender);
  void btpPesqGerenteImplantBeforePesq(kdr::TComponent *Sender, bool &Continue);
  void btpPesqGerenteImplantAfterPesq(kdr::TComponent *Sender);
  void dbcGeraNFUnifKeyPress(kdr::TComponent *Sender, char32_t &Key);
  void dbePercAjustKeyPress(kdr::TComponent *Sender, char32_t &Key);
  void pgcPadraoChange(kdr::TComponent *Sender);
  void mnuPrincipaisClick(kdr::TComponent *Sender);
  void mnuOutrosClick(kdr::TComponent *Sender);

private:
  void createDataModel();
  void createLayout();
  void assignHandlers();
  void assignGridHandlers();
  void assignSaveHandlers();
  void checkBillingTypeAgainstServer();
  void checkCompanyBeforePost();
  void checkInvoiceRate();
  void completeRow();
  void saveParamFatCli();
  void showServerRows();
  void settleConflict(const kdr::Variant &detail);
  // A field the user sets in a row, named as the screen names it, its value shown as the grid
  // shows it (a billing type by name, a flag as Sim or Não).
  struct Compared {
    kdr::TField *field;
    const char *label;
    enum Shown { Plain, Type, Flag } shown;
  };
  std::vector<Compared> comparedFields() const;
  std::string shownAs(const Compared &compared, const std::string &value) const;
  void warnUnsavedChangesDropped();
  void enableSearchByPage();
  void focusGridColumn(kdr::TField *field);

  void createOutrosLayout();
  void assignOutrosHandlers();
  // Service type for billing type "6", manager and unified invoice for "5", their names shown.
  void applyBillingTypeRule();
  // Shows a page by code, with the menu's check mark on it: no change handler runs.
  void showPage(kdr::TTabSheet *page);
  // Code, name shown, page and focus after a failed check; the caller raises again.
  void failedCheck(kdr::TStringField &code, kdr::TDBEdit &edit);
  // The result of a call to the application server, checked; a refused call has shown its
  // message and raised.
  kdr::Variant callServer(std::string_view method, kdr::Variant::Array args);

  std::string clienteFiltro_; // what the client search narrows by, for its next pages
  std::string searchChoice_;  // the client picked in the search, until the number is typed over
};

} // namespace Cli_kdr03020
