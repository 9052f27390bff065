#include "module/Cli_kdr03021/Cli_kdr03021.h"

extern "C" {
bool Cli_kdr03021_boMudaEdt = false;
}

namespace Cli_kdr03021 {

void initialization() { boMudaEdt = true; }

void finalization() {}

} // namespace Cli_kdr03021
