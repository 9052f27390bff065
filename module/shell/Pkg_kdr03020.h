#pragma once
// Package unit of the module: the load and unload entries that a package loader calls by name.
#include "module/common/exports.h"
#include "module/shell/package_info.h"

extern "C" {
KDR_EXPORT void Initialize(void);
KDR_EXPORT void Finalize(void);
KDR_EXPORT const KdrPackageInfoTable *GetPackageInfoTable(void);
}
