#include "module/Cli_kdr03030/Cli_kdr03030.h"

extern "C" {
bool Cli_kdr03030_boidcriado = false;
std::string Cli_kdr03030_stCliente;
std::string Cli_kdr03030_stLista;
}

namespace Cli_kdr03030 {

void initialization() {
  boidcriado = false;
  stCliente.clear();
  stLista.clear();
}

void finalization() {
  stCliente.clear();
  stLista.clear();
}

} // namespace Cli_kdr03030
