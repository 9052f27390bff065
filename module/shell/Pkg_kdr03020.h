#pragma once
// Package unit of the module: the load and unload entries that a package loader calls by name.
#include "module/shell/package_info.h"

extern "C" {
void Initialize(void);
void Finalize(void);
const KdrPackageInfoTable *GetPackageInfoTable(void);
}
