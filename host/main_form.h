#pragma once
// The host's main window: the MDI frame whose "Faturamento" menu starts the module's screens,
// with the menus of a desktop program around it: Arquivo (leave), Janela (arrange and reach the
// open screens) and Ajuda (what this desktop is and where it works).
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/comctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/stdctrls.h"

namespace kdr::host {

class TfrmPrincipal : public TForm {
public:
  // callEntry runs a module entry point by its exported name (inside the dispatch boundary).
  TfrmPrincipal(TComponent *owner, std::function<void(std::string_view)> callEntry);
  std::string className() const override { return "TfrmPrincipal"; }

  TMainMenu *mnuPrincipal;
  TMenuItem *mnuArquivo;
  TMenuItem *mnuSair;
  TMenuItem *mnuFaturamento;
  TMenuItem *mnuParamFatCli;
  TMenuItem *mnuDescPad;
  TMenuItem *mnuImportacaoParam;
  TMenuItem *mnuJanela;
  TMenuItem *mnuCascata;
  TMenuItem *mnuLadoALado;
  TMenuItem *mnuAjuda;
  TMenuItem *mnuSobre;

  // The status bar: the server and the operator, the connection, the local copy.
  TPanel *stbPrincipal;
  TLabel *lblServidor;
  TLabel *lblOperador;
  TLabel *lblConexao;
  TLabel *lblCopiaLocal;
  TProgressBar *pgbCopiaLocal;

  // The text of Ajuda › Sobre: the version, the server and the operator.
  static std::string aboutText();
  // The server and operator as the status bar names them (the operator only when there is one).
  void showServer();
  void showConnection(bool connected);
  // A first load of the local copy under way: rows done of total (0 when the server cannot tell).
  void showLoading(std::size_t done, std::size_t total);
  // The local copy was brought up to date at the time given ("08:31").
  void showUpdated(const std::string &time);
  // "carregando 120.000 de 1.000.000 linhas", or without the total when it is unknown.
  static std::string loadingText(std::size_t done, std::size_t total);

  // Enables the screens the signed-in operator may open (its groups' authorisations).
  void showAuthorisations();

private:
  TMenuItem *addItem(TMenuItem *menu, const char *name, const char *caption,
                     std::function<void()> action = nullptr);
  TMenuItem *addEntry(const char *name, const char *caption, const char *entry);
  // Janela lists the open screens each time it opens, the active one checked.
  void listScreens();
  std::function<void(std::string_view)> callEntry_;
  std::vector<TMenuItem *> screenItems_;
};

} // namespace kdr::host
