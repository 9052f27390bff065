#include "module/Cli_kdr03021/Cli_kdr03021.h"

#include "module/Cli_kdr03021/TfrmDescPad.h"
#include "platform/ui/application.h"

extern "C" {
Cli_kdr03021::TfrmDescPad *Cli_kdr03021_frmDescPad = nullptr;
bool Cli_kdr03021_boMudaEdt = false;
}

namespace Cli_kdr03021 {

void initialization() { boMudaEdt = true; }

void finalization() {}

} // namespace Cli_kdr03021

extern "C" {

// Nothing is caught: a failure while making or showing the screen goes on to the caller.
void CriaDescPad(void) {
  using namespace Cli_kdr03021;
  if (frmDescPad == nullptr) kdr::Application().CreateForm(frmDescPad);
  frmDescPad->ShowModal();
}
}
