#pragma once
// Unit of the automatic-registration screen: its exported state, its launcher and its unit
// lifecycle. As in the other units, each variable's exported symbol carries the unit's name
// (Cli_kdr03030_stCliente), so the host reaches it by name.
#include <string>

#include "module/common/exports.h"

namespace Cli_kdr03030 {
class TfrmCadAutomFatCli;
}

extern "C" {
// The one automatic-registration screen; null whenever none exists.
KDR_EXPORT extern Cli_kdr03030::TfrmCadAutomFatCli *Cli_kdr03030_frmCadAutomFatCli;
// A screen exists: the launcher makes one only while this is false.
KDR_EXPORT extern bool Cli_kdr03030_boidcriado;
// The target-client list: "T" for every client, empty while "Lista" waits for a search, else the
// chosen clients' codes as the list search writes them.
KDR_EXPORT extern std::string Cli_kdr03030_stCliente;
// Kept for callers outside the module; nothing here reads or sets them.
KDR_EXPORT extern std::string Cli_kdr03030_stLista;
KDR_EXPORT extern void *Cli_kdr03030_stlDSFiltro;
KDR_EXPORT extern void *Cli_kdr03030_stlCDfiltro;
KDR_EXPORT extern void *Cli_kdr03030_node0;
KDR_EXPORT extern void *Cli_kdr03030_node;
KDR_EXPORT extern void *Cli_kdr03030_node2;

// Opens the automatic-registration screen, or brings the open one forward. Only the host calls it.
KDR_EXPORT void CriaImportacaoParam(void);
}

namespace Cli_kdr03030 {

inline TfrmCadAutomFatCli *&frmCadAutomFatCli = ::Cli_kdr03030_frmCadAutomFatCli;
inline bool &boidcriado = ::Cli_kdr03030_boidcriado;
inline std::string &stCliente = ::Cli_kdr03030_stCliente;
inline std::string &stLista = ::Cli_kdr03030_stLista;

void initialization();
void finalization();

} // namespace Cli_kdr03030
