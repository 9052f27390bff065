#pragma once
// Screen KDR03021, "Descrição Padrão": for every company and billing type, the default invoice and
// bank-slip texts that a client's parameters may take over. The user picks a company and a billing
// type; the two editors show that pair's texts; typing opens a pending change, which Confirmar
// stores (or deletes, when both texts are blank) and Cancelar drops. Every confirmed change goes to
// the server at once, alone.
#include <string>

#include "platform/data/clientdataset.h"
#include "platform/host/basescreens.h"
#include "platform/net/netconnection.h"
#include "platform/ui/stdctrls.h"

namespace Cli_kdr03021 {

class TfrmDescPad : public kdr::TfrmPadraoGrid {
public:
  explicit TfrmDescPad(kdr::TComponent *owner);
  ~TfrmDescPad() override;
  std::string className() const override { return "TfrmDescPad"; }

  // Lists at the top, the companies' (dbgPadrao) left and the billing types' right.
  kdr::TPanel *panListas;
  kdr::TSplitter *splListas;
  kdr::TDBGrid *dbgFat;
  kdr::TSplitter *splDescricoes;
  // The two editors below, each under its bold caption.
  kdr::TPanel *panDescricoes;
  kdr::TPanel *panFat;
  kdr::TPanel *panCapFat;
  kdr::TMemo *memDesFatu;
  kdr::TSplitter *splMemos;
  kdr::TPanel *panBol;
  kdr::TPanel *panCapBole;
  kdr::TMemo *memDescBol;
  // Bottom bar, after the navigator and the company name.
  kdr::TLabel *lblIfen;
  kdr::TDBText *DBText1;

  // Data model.
  kdr::TClientDataSet *cdsEmpresa;
  kdr::TStringField *cdsEmpresaNMEMPRESA = nullptr;
  kdr::TStringField *cdsEmpresaCDEMPRESA = nullptr;
  kdr::TDataSource *dtsEmpresa;
  kdr::TClientDataSet *cdsFaturamento;
  kdr::TStringField *cdsFaturamentoIDFATURAMENTO = nullptr;
  kdr::TStringField *cdsFaturamentoDSFATURAMENTO = nullptr;
  kdr::TDataSource *dtsFaturamento;
  kdr::TClientDataSet *cdsEmpresaKdr;
  kdr::TStringField *cdsEmpresaKdrCDEMPRESA = nullptr;
  kdr::TStringField *cdsEmpresaKdrIDTPFATUEMPRESA = nullptr;
  kdr::TStringField *cdsEmpresaKdrDSFATUREMPRESA = nullptr;
  kdr::TStringField *cdsEmpresaKdrDSBOLETEMPRESA = nullptr;
  // Used only by an opening that was handed no connection (the host's menu).
  kdr::TNetConnection *netDescPadServ;

  // Handlers and operations.
  void FormCreate(kdr::TComponent *Sender) override;
  void FormActivate(kdr::TComponent *Sender);
  void FormClose(kdr::TComponent *Sender, kdr::TCloseAction &Action) override;
  void getEmpresas();
  void cdsEmpresaAfterScroll(kdr::TDataSet &DataSet);
  void cdsFaturamentoAfterScroll(kdr::TDataSet &DataSet);
  void memDesFatuChange(kdr::TComponent *Sender);
  void memDescBolChange(kdr::TComponent *Sender);
  void sbtConfirmarClick(kdr::TComponent *Sender) override;
  void cancelEdit() override;
  void sbtProcurarClick(kdr::TComponent *Sender) override;
  void sbtVerificarClick(kdr::TComponent *Sender) override;
  void cdsEmpresaKdrAfterPost(kdr::TDataSet &DataSet);
  void cdsEmpresaKdrAfterDelete(kdr::TDataSet &DataSet);
  void dtsPadraoStateChange(kdr::TComponent *Sender) override;
  void netDescPadServBeforeConnect(kdr::TNetConnection &Sender);

  // A company and a billing type: the key of one row of default texts.
  struct Pair {
    std::string empresa;
    std::string faturamento;
  };
  // Stores or deletes the editors' texts as the texts of pair.
  void confirmaOpera(const Pair &pair);

private:
  void createDataModel();
  void createLayout();
  void assignHandlers();
  void buildBillingTypes();
  // The company and billing type standing in the two lists; empty parts when a list has no row.
  Pair currentPair() const;
  bool pendingChange() const;
  bool locate(const Pair &pair);
  // Confirms a pending change for the pair the editors were filled for, then shows the texts of
  // the pair now current.
  void settleAndShow();
  // Puts the stored texts of the current pair into the editors without opening a pending change.
  void showTexts();
  void openPendingChange();
  void sendChange();
  kdr::TNetConnection &server();
  kdr::Variant callServer(std::string_view method, kdr::Variant::Array args);

  // The pair whose texts the editors were last filled with.
  Pair shown_;
};

} // namespace Cli_kdr03021
