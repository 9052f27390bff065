#pragma once
// The binary contract between the module and a package loader: the table of unit
// initialisations and finalisations that GetPackageInfoTable hands out. Plain C layout, so a
// loader can read it through dlsym without sharing any C++ type with the module.

extern "C" {

typedef void (*KdrUnitProc)(void);

struct KdrPackageUnit {
  const char *UnitName;
  KdrUnitProc Init;  // runs at load, in table order
  KdrUnitProc FInit; // runs at unload, in reverse table order
};

struct KdrPackageInfoTable {
  int UnitCount;
  const KdrPackageUnit *UnitInfo;
};

// The module's exported entry points, as a loader finds them by name.
typedef void (*KdrProc)(void);
typedef const KdrPackageInfoTable *(*KdrGetPackageInfoTableProc)(void);
}
