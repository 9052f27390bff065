// The package shell as a loader sees it: exported names, the unit table and its order, start
// values, and initialisation that happens once however often the loader asks.
#include <gtest/gtest.h>

#include "platform/rtl/exceptions.h"
#include "tests/module/loaded_module.h"

namespace kdr::test {
namespace {

TEST(ModuleShell, ExportsEveryEntryAndUnitVariableByName) {
  LoadedModule module;
  for (const char *name :
       {"IniProc", "CriaParamFatCli", "Initialize", "Finalize", "GetPackageInfoTable",
        "Cli_kdr03020_frmParamFatCli", "Cli_kdr03020_boIdCriado", "Cli_kdr03020_boImportado", "CriaDescPad",
        "Cli_kdr03021_frmDescPad", "Cli_kdr03021_boMudaEdt"})
    EXPECT_NE(module.package.findSymbol(name), nullptr) << name;
}

TEST(ModuleShell, UnitTableRunsTheReachedScreensFirst) {
  LoadedModule module;
  const KdrPackageInfoTable &table = module.package.packageInfo();
  ASSERT_EQ(table.UnitCount, 3);
  EXPECT_STREQ(table.UnitInfo[0].UnitName, "Cli_kdr03030");
  EXPECT_STREQ(table.UnitInfo[1].UnitName, "Cli_kdr03021");
  EXPECT_STREQ(table.UnitInfo[2].UnitName, "Cli_kdr03020");
}

TEST(ModuleShell, StartValuesAfterLoad) {
  LoadedModule module;
  EXPECT_FALSE(module.flag("Cli_kdr03020", "boIdCriado"));
  EXPECT_FALSE(module.flag("Cli_kdr03020", "boImportado"));
  EXPECT_EQ(module.variable<void *>("Cli_kdr03020", "frmParamFatCli"), nullptr);
  EXPECT_TRUE(module.flag("Cli_kdr03021", "boMudaEdt"));
  EXPECT_EQ(module.variable<void *>("Cli_kdr03021", "frmDescPad"), nullptr);
  EXPECT_FALSE(module.flag("Cli_kdr03030", "boidcriado"));
}

TEST(ModuleShell, SecondInitializeKeepsTheFlagsOfAnOpenScreen) {
  LoadedModule module;
  module.flag("Cli_kdr03020", "boImportado") = true;
  module.call("Initialize");
  EXPECT_TRUE(module.flag("Cli_kdr03020", "boImportado"));

  // After an unload entry the units start afresh.
  module.call("Finalize");
  module.call("Initialize");
  EXPECT_FALSE(module.flag("Cli_kdr03020", "boImportado"));
}

TEST(ModuleShell, FinalizeEmptiesTheTargetClientList) {
  LoadedModule module;
  auto &targets = module.variable<std::string>("Cli_kdr03030", "stCliente");
  targets = "'000000000000000000001'";
  module.call("Finalize");
  EXPECT_EQ(targets, "");
  module.call("Initialize");
}

TEST(PackageLoader, RefusesALibraryThatIsNoPackageNamingTheMissingEntry) {
  host::PackageLoader loader;
  try {
    loader.load(programPath("libkdr-platform.so").string());
    FAIL() << "a library without Initialize was accepted";
  } catch (const Exception &e) {
    EXPECT_NE(e.Message().find("Initialize"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(loader.loaded());
}

TEST(PackageLoader, MissingFileAndMissingEntryAreClearErrors) {
  host::PackageLoader loader;
  EXPECT_THROW(loader.load("/nonexistent/libkdr03020.so"), Exception);
  LoadedModule module;
  try {
    module.package.entry("CriaNadaDisso");
    FAIL();
  } catch (const Exception &e) {
    EXPECT_NE(e.Message().find("CriaNadaDisso"), std::string::npos) << e.Message();
  }
}

} // namespace
} // namespace kdr::test
