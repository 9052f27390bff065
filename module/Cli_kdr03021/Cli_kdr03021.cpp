#include "module/Cli_kdr03021/Cli_kdr03021.h"

#include "module/Cli_kdr03021/TfrmDescPad.h"
#include "module/common/screens.h"
#include "platform/ui/application.h"

extern "C" {
Cli_kdr03021::TfrmDescPad *Cli_kdr03021_frmDescPad = nullptr;
bool Cli_kdr03021_boMudaEdt = false;
}

namespace Cli_kdr03021 {

kdr::TNetConnection *handedServer = nullptr;

namespace {

// The connection handed to one opening, forgotten when the opening ends, however it ends: the
// screen outlives the screen that hands it.
class HandedConnection {
public:
  explicit HandedConnection(kdr::TNetConnection *server) { handedServer = server; }
  ~HandedConnection() { handedServer = nullptr; }
  HandedConnection(const HandedConnection &) = delete;
  HandedConnection &operator=(const HandedConnection &) = delete;
};

} // namespace

void initialization() { boMudaEdt = true; }

void finalization() {}

} // namespace Cli_kdr03021

void kdr03020::common::openDefaultDescriptions(kdr::TNetConnection *server) {
  using Cli_kdr03021::frmDescPad;
  // The screen made at the first opening loads its companies then, through this connection too.
  Cli_kdr03021::HandedConnection opening(server);
  if (frmDescPad == nullptr) kdr::Application().CreateForm(frmDescPad);
  frmDescPad->ShowModal();
}

extern "C" {

// From the host's menu: the screen works through a connection of its own.
void CriaDescPad(void) { kdr03020::common::openDefaultDescriptions(nullptr); }
}
