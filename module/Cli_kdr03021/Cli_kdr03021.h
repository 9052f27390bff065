#pragma once
// Unit of the default-descriptions screen: its exported state and unit lifecycle.

extern "C" {
// An editor change opens a pending change only while this is true.
extern bool Cli_kdr03021_boMudaEdt;
}

namespace Cli_kdr03021 {

inline bool &boMudaEdt = ::Cli_kdr03021_boMudaEdt;

void initialization();
void finalization();

} // namespace Cli_kdr03021
