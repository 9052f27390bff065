#include "module/shell/Pkg_kdr03020.h"

#include <array>

#include "module/Cli_kdr03020/Cli_kdr03020.h"
#include "module/Cli_kdr03021/Cli_kdr03021.h"
#include "module/Cli_kdr03030/Cli_kdr03030.h"

namespace {

// The screens that are reached through others initialise first: the automatic registration and
// the default descriptions both lean on the billing-parameters unit.
const std::array<KdrPackageUnit, 3> units{{
    {"Cli_kdr03030", Cli_kdr03030::initialization, Cli_kdr03030::finalization},
    {"Cli_kdr03021", Cli_kdr03021::initialization, Cli_kdr03021::finalization},
    {"Cli_kdr03020", Cli_kdr03020::initialization, Cli_kdr03020::finalization},
}};

const KdrPackageInfoTable table{static_cast<int>(units.size()), units.data()};

// Units initialise once per process: a loader that calls Initialize again must not reset the
// flags of a screen that is already open.
bool initialized = false;

} // namespace

extern "C" {

void Initialize(void) {
  if (initialized) return;
  initialized = true;
  for (int i = 0; i < table.UnitCount; ++i) table.UnitInfo[i].Init();
}

void Finalize(void) {
  if (!initialized) return;
  initialized = false;
  for (int i = table.UnitCount - 1; i >= 0; --i) table.UnitInfo[i].FInit();
}

const KdrPackageInfoTable *GetPackageInfoTable(void) { return &table; }
}
