#include "module/Cli_kdr03020/Cli_kdr03020.h"

#include "module/Cli_kdr03020/TfrmParamFatCli.h"
#include "module/common/hourglass.h"
#include "platform/ui/application.h"

extern "C" {
Cli_kdr03020::TfrmParamFatCli *Cli_kdr03020_frmParamFatCli = nullptr;
bool Cli_kdr03020_boIdCriado = false;
bool Cli_kdr03020_boImportado = false;
}

namespace Cli_kdr03020 {

void initialization() {
  boIdCriado = false;
  boImportado = false;
}

void finalization() {}

} // namespace Cli_kdr03020

extern "C" {

void CriaParamFatCli(void) {
  using namespace Cli_kdr03020;
  kdr03020::common::HourGlass wait;
  if (!boIdCriado) {
    kdr::Application().CreateForm(frmParamFatCli);
    boIdCriado = true;
  }
  frmParamFatCli->SetWindowState(kdr::wsNormal);
  frmParamFatCli->Show();
  // A row being edited keeps the client fixed (the number is disabled meanwhile): the screen
  // comes to the front with the row and its focus as the user left them.
  if (frmParamFatCli->medNrInsJurClie->CanFocus()) frmParamFatCli->medNrInsJurClie->SetFocus();
}

void IniProc(void) { CriaParamFatCli(); }
}
