#pragma once
// Unit of the billing-parameters screen: its exported state, its launchers and its unit lifecycle.
// The variables carry the unit's name in their exported symbol (Cli_kdr03020_boIdCriado), so the
// host reaches them by name; inside the module they read as Cli_kdr03020::boIdCriado.
#include "module/common/exports.h"

namespace Cli_kdr03020 {
class TfrmParamFatCli;
}

extern "C" {
// The one billing-parameters screen; null whenever no screen exists.
KDR_EXPORT extern Cli_kdr03020::TfrmParamFatCli *Cli_kdr03020_frmParamFatCli;
// A screen exists: the launcher makes one only while this is false.
KDR_EXPORT extern bool Cli_kdr03020_boIdCriado;
// The company's default descriptions were already taken over into the row being edited.
KDR_EXPORT extern bool Cli_kdr03020_boImportado;

// Starts the module: opens the billing-parameters screen.
KDR_EXPORT void IniProc(void);
// Opens the billing-parameters screen, or brings the open one forward.
KDR_EXPORT void CriaParamFatCli(void);
}

namespace Cli_kdr03020 {

inline TfrmParamFatCli *&frmParamFatCli = ::Cli_kdr03020_frmParamFatCli;
inline bool &boIdCriado = ::Cli_kdr03020_boIdCriado;
inline bool &boImportado = ::Cli_kdr03020_boImportado;

void initialization();
void finalization();

} // namespace Cli_kdr03020
