// Scenarios run the way kdr-host runs them (--demo, the real module and server): a run stops at
// the first unmet expectation or check, names its line and what it found, and exits non-zero.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "host/host_app.h"
#include "tests/support/server_process.h"

namespace kdr::host {
namespace {

struct HostRun {
  int code;
  std::string out, err;
};

HostRun runScenario(const std::string &text) {
  test::TempDir dir;
  const std::string path = dir.file("t.kdr");
  std::ofstream(path) << text;
  std::ostringstream out, err;
  int code = runHost({"--demo", "--script", path}, {}, out, err);
  return {code, out.str(), err.str()};
}

TEST(ScenarioRun, PassesAndSaysSo) {
  HostRun r = runScenario("call IniProc\nassert forms = 1\nexpect error like \"Cliente*informado.\"\n"
                          "focus dbgPadrao\nclose\nassert forms = 0\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("scenario passed"), std::string::npos);
}

TEST(ScenarioRun, StopsAtTheFirstUnmetExpectationNamingLineAndFinding) {
  struct Case {
    const char *script;
    const char *where;
    const char *what;
  } cases[] = {
      // A check that does not hold; the lines after it never run.
      {"call IniProc\nassert edtNmCliente.Enabled = true\ncall Nada\n", "t.kdr:2: ", "encontrado \"false\""},
      // A dialog nobody expected.
      {"call IniProc\nfocus dbgPadrao\n", "t.kdr:2: ", "Cliente deve ser informado."},
      // A dialog other than the one expected.
      {"call IniProc\nexpect message \"Outro texto\"\nfocus dbgPadrao\n",
       "t.kdr:3: ", "Cliente deve ser informado."},
      // A question answer for a plain message: the kinds differ even when the text agrees.
      {"call IniProc\nexpect question \"Cliente deve ser informado.\" answer OK\nfocus dbgPadrao\n",
       "t.kdr:3: ", "Cliente deve ser informado."},
      // An answer left unused at the end.
      {"call IniProc\nexpect message \"Cliente não cadastrado.\"\n",
       "t.kdr:fim: ", "Cliente não cadastrado."},
      // A message of another kind than the one expected.
      {"call IniProc\nexpect warning \"Cliente deve ser informado.\"\nfocus dbgPadrao\n",
       "t.kdr:3: ", "Cliente deve ser informado."},
      // A screen left open at the end.
      {"call IniProc\n", "t.kdr:fim: ", "frmParamFatCli left open"},
      // A kept screen whose row is still being inserted.
      {"keep frmParamFatCli\ncall IniProc\ntype 11222333000181\nfocus dbgPadrao\nkey Insert\n",
       "t.kdr:fim: ", "cdsParamFatCli left in insert state"},
      // An entry point the module does not export.
      {"call CriaNadaDisso\n", "t.kdr:1: ", "CriaNadaDisso"},
      // A control the active screen does not have.
      {"call IniProc\nclick sbtNaoExiste\n", "t.kdr:2: ", "sbtNaoExiste"},
  };
  for (const auto &c : cases) {
    HostRun r = runScenario(c.script);
    EXPECT_EQ(r.code, 1) << c.script << r.err;
    EXPECT_NE(r.err.find(c.where), std::string::npos) << c.script << r.err;
    EXPECT_NE(r.err.find(c.what), std::string::npos) << c.script << r.err;
  }
}

TEST(ScenarioRun, ALineThatDoesNotParseRunsNothing) {
  HostRun r = runScenario("call IniProc\nassert forms 1\n");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("t.kdr:2:"), std::string::npos) << r.err;
}

TEST(ScenarioRun, DumpPrintsTheScreenAsAUserSeesIt) {
  HostRun r = runScenario("call IniProc\ntype 11222333000181\nfocus dbgPadrao\ndump\nclose\n");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Padaria Pão Quente"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("11.222.333/0001-81"), std::string::npos) << r.out;
}

} // namespace
} // namespace kdr::host
