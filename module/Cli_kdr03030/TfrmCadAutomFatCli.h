#pragma once
// Screen KDR03030, "Cadastramento Automático de Parâmetro de Faturamento por Cliente": copies the
// billing types and texts of a model client, the client loaded on the billing-parameters screen,
// to every other client or to a chosen list of clients. The server does the copying; this screen
// builds the order and sends it through the billing-parameters screen's connection.
#include <array>
#include <string>
#include <string_view>

#include "module/common/billing.h"
#include "platform/data/clientdataset.h"
#include "platform/host/adoibquery.h"
#include "platform/host/basescreens.h"
#include "platform/host/controls.h"
#include "platform/ui/stdctrls.h"

namespace Cli_kdr03020 {
class TfrmParamFatCli;
}

namespace Cli_kdr03030 {

// The catalogue key telling why the billing-parameters screen cannot serve as the model now, or an
// empty key when it can: it must be open, have a client loaded and no row half edited.
std::string_view modelRefusal();
// The text of a key of this screen's catalogue, for the launcher, which speaks before any screen
// (and so any catalogue component) exists.
std::string catalogueText(std::string_view key);

class TfrmCadAutomFatCli : public kdr::TfrmRotiGeral {
public:
  explicit TfrmCadAutomFatCli(kdr::TComponent *owner);
  ~TfrmCadAutomFatCli() override;
  std::string className() const override { return "TfrmCadAutomFatCli"; }

  // The model client.
  kdr::TGroupBox *grbClienteModelo;
  kdr::TEdit *edtNmCliente;

  // The target clients.
  kdr::TGroupBox *grbClienteCopia;
  kdr::TRadioButton *rbgTodosCli;
  kdr::TRadioButton *rbgListaClie;
  kdr::TBtnPesquisa *btpCliente;
  // How many clients the list holds, once one was chosen.
  kdr::TLabel *lblQtdLista;

  // Billing types and texts to copy: two boxes per type, enabled for the model's types.
  kdr::TGroupBox *gpbTipServ;
  kdr::TGroupBox *grbCustomizacao, *grbLicencaUso, *grbManutencao, *grbLocacao, *grbMaoDeObra,
      *grbServiceDesk;
  kdr::TCheckBox *chbDescFatCZ, *chbDescBolCZ, *chbDescFatLU, *chbDescBolLU, *chbDescFatMN, *chbDescBolMN;
  kdr::TCheckBox *chbDescFatLC, *chbDescBolLC, *chbDescFatMO, *chbDescBolMO, *chbDescFatSD, *chbDescBolSD;

  // Clients offered by the list search: every client but the model.
  kdr::TADOIBQuery *adqCliente;
  kdr::TDataSource *dtsCliente;
  kdr::TStringField *adqClienteCDCLIENTE = nullptr;
  kdr::TStringField *adqClienteIDTPIJURCLIE = nullptr;
  kdr::TStringField *adqClienteNRINSJURCLIE = nullptr;
  kdr::TStringField *adqClienteNMFANTCLIE = nullptr;
  // States which clients a target list names; the server resolves the list itself.
  kdr::TADOIBQuery *adqClienteCopia;

  // The copy order, built at each confirmation.
  kdr::TClientDataSet *cdsParamClienteCopia;
  kdr::TStringField *cdsParamClienteCopiaIDTPFATUCLIE = nullptr;
  kdr::TStringField *cdsParamClienteCopiaDSFATURCLIE = nullptr;
  kdr::TStringField *cdsParamClienteCopiaDSBOLETCLIE = nullptr;

  // Handlers.
  void FormCreate(kdr::TComponent *Sender);
  void FormClose(kdr::TComponent *Sender, kdr::TCloseAction &Action) override;
  void rbgTodosCliClick(kdr::TComponent *Sender);
  void rbgListaClieClick(kdr::TComponent *Sender);
  void btpClienteClick(kdr::TComponent *Sender);
  void sbtConfirmaClick(kdr::TComponent *Sender);
  // F4 opens the list search while "Lista" is chosen, as the billing screen's F4 opens its search.
  void FormKeyDown(kdr::TComponent *Sender, int &Key, kdr::TShiftState Shift) override;

  // The code of the model client, read when the screen opened.
  const std::string &modelClient() const { return modelClient_; }

private:
  struct TypeBoxes {
    const kdr03020::common::BillingType *type;
    kdr::TCheckBox *invoice;
    kdr::TCheckBox *slip;
  };

  void createDataModel();
  void createLayout();
  kdr::TGroupBox *typeGroup(const char *name, const char *caption, kdr::TCheckBox *&invoice,
                            const char *invoiceName, kdr::TCheckBox *&slip, const char *slipName);
  void assignHandlers();
  // The boxes of a stored billing type; null for a code outside "1".."6".
  const TypeBoxes *boxesOf(std::string_view code) const;
  bool anyBoxChecked() const;
  // The billing-parameters screen as the model it was at the opening; shows why not and raises
  // otherwise, so nothing is searched or sent for the wrong client.
  Cli_kdr03020::TfrmParamFatCli &modelScreen() const;
  void buildOrder(Cli_kdr03020::TfrmParamFatCli &model);
  // True when the copy was done; false when the user stopped it (nothing was written).
  bool sendOrder(Cli_kdr03020::TfrmParamFatCli &model);
  // The server's preview of the order, counted in a question; true when the user answers "Sim".
  bool copyConfirmed(Cli_kdr03020::TfrmParamFatCli &model);

  std::array<TypeBoxes, 6> boxes_{};
  std::string modelClient_;
};

} // namespace Cli_kdr03030
