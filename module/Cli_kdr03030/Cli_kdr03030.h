#pragma once
// Unit of the automatic-registration screen: its exported state and unit lifecycle.
#include <string>

extern "C" {
extern bool Cli_kdr03030_boidcriado;
// The target-client list: "T" for every client, else the chosen clients' codes.
extern std::string Cli_kdr03030_stCliente;
extern std::string Cli_kdr03030_stLista;
}

namespace Cli_kdr03030 {

inline bool &boidcriado = ::Cli_kdr03030_boidcriado;
inline std::string &stCliente = ::Cli_kdr03030_stCliente;
inline std::string &stLista = ::Cli_kdr03030_stLista;

void initialization();
void finalization();

} // namespace Cli_kdr03030
