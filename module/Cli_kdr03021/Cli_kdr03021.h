#pragma once
// Unit of the default-descriptions screen: its exported state, its launcher and its unit lifecycle.
#include "module/common/exports.h"

namespace kdr {
class TNetConnection;
}

namespace Cli_kdr03021 {
class TfrmDescPad;
}

extern "C" {
// The one default-descriptions screen: made at the first opening and kept, hidden, for the rest of
// the process.
KDR_EXPORT extern Cli_kdr03021::TfrmDescPad *Cli_kdr03021_frmDescPad;
// An editor change opens a pending change only while this is true.
KDR_EXPORT extern bool Cli_kdr03021_boMudaEdt;

// Opens the default-descriptions screen modally; returns when the user closes it.
KDR_EXPORT void CriaDescPad(void);
}

namespace Cli_kdr03021 {

inline TfrmDescPad *&frmDescPad = ::Cli_kdr03021_frmDescPad;
inline bool &boMudaEdt = ::Cli_kdr03021_boMudaEdt;
// The connection handed to the opening under way (the billing-parameters screen's, opened from
// there); null outside an opening and when none was handed.
extern kdr::TNetConnection *handedServer;

void initialization();
void finalization();

} // namespace Cli_kdr03021
