#include "module/Cli_kdr03030/Cli_kdr03030.h"

#include "module/Cli_kdr03030/TfrmCadAutomFatCli.h"
#include "module/common/hourglass.h"
#include "platform/host/consiste.h"
#include "platform/ui/application.h"

extern "C" {
Cli_kdr03030::TfrmCadAutomFatCli *Cli_kdr03030_frmCadAutomFatCli = nullptr;
bool Cli_kdr03030_boidcriado = false;
std::string Cli_kdr03030_stCliente;
std::string Cli_kdr03030_stLista;
void *Cli_kdr03030_stlDSFiltro = nullptr;
void *Cli_kdr03030_stlCDfiltro = nullptr;
void *Cli_kdr03030_node0 = nullptr;
void *Cli_kdr03030_node = nullptr;
void *Cli_kdr03030_node2 = nullptr;
}

namespace Cli_kdr03030 {

void initialization() {
  frmCadAutomFatCli = nullptr;
  boidcriado = false;
  stCliente.clear();
  stLista.clear();
}

void finalization() {
  stCliente.clear();
  stLista.clear();
}

} // namespace Cli_kdr03030

extern "C" {

// The screen reads its model from the billing-parameters screen: when that screen cannot give one,
// the user is told why and nothing opens. An open screen is only brought forward, keeping its model.
void CriaImportacaoParam(void) {
  using namespace Cli_kdr03030;
  kdr03020::common::HourGlass wait;
  if (!boidcriado) {
    if (const std::string_view key = modelRefusal(); !key.empty())
      kdr::Consiste::MensErro(catalogueText(key), true);
    kdr::Application().CreateForm(frmCadAutomFatCli);
    boidcriado = true;
  }
  frmCadAutomFatCli->Show();
  frmCadAutomFatCli->SetWindowState(kdr::wsNormal);
}
}
