// The administrator's commands as the administrator meets them: the real kdr-server binary on the
// database a server is serving.
#include <sys/wait.h>

#include <cstdio>
#include <fstream>

#include "tests/server/server_fixture.h"
#include "tests/support/server_process.h"

namespace kdr::server::testing {
namespace {

class AdminCommand : public ServerTest {
protected:
  // Exit status and everything the command printed, both streams.
  std::pair<int, std::string> command(const std::string &args) {
    const std::string line =
        kdr::test::programPath("kdr-server").string() + " " + args + " --db '" + db_->url() + "' 2>&1";
    std::FILE *pipe = ::popen(line.c_str(), "r");
    std::string out;
    char buf[4096];
    for (std::size_t n; pipe && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    const int status = pipe ? ::pclose(pipe) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
  }
  std::string file(const std::string &text) {
    const auto path = dir_.path() / ("arquivo" + std::to_string(++files_) + ".csv");
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }
  kdr::test::TempDir dir_;
  int files_ = 0;
};

TEST_P(AdminCommand, HistoryShowsControlCharactersOfStoredTextsInert) {
  DeltaBuilder d(paramFatCliFields());
  d.modify(paramsOf("101").rows[0].values, {{"DSFATURCLIE", "Fatura\x1B]0;pwned\x07\x1B[2J"},
                                            {"DSBOLETCLIE", "a\xC2\x9B"
                                                            "31mb"}});
  ASSERT_EQ(call("SetParamFatCli", {d.variant()}).status, 200);
  auto [status, out] = command("history --client 101");
  ASSERT_EQ(status, 0) << out;
  EXPECT_EQ(out.find_first_of("\x1B\x07"), std::string::npos) << out;
  EXPECT_EQ(out.find("\xC2\x9B"), std::string::npos) << out;
  EXPECT_NE(out.find("Fatura␛]0;pwned␇␛[2J"), std::string::npos) << out;
}

TEST_P(AdminCommand, ImportDryAndRealRunRefuseAlikeNamingLineAndField) {
  const std::string bad = file("CDCLIENTE;IDTPFATUCLIE;CDEMPRESA;DSFATURCLIE\n101;3;02;a\n");
  auto [dryStatus, dry] = command("import params " + bad + " --dry-run");
  auto [realStatus, real] = command("import params " + bad);
  EXPECT_EQ(dryStatus, 1);
  EXPECT_EQ(realStatus, 1);
  EXPECT_EQ(dry, real);
  EXPECT_NE(real.find("Linha 2: "), std::string::npos) << real;
  const std::string ansi = file("CDCLIENTE;IDTPFATUCLIE;CDEMPRESA;DSFATURCLIE\n101;3;01;Manuten\xE7\xE3o\n");
  auto [refused, hint] = command("import params " + ansi);
  EXPECT_EQ(refused, 1);
  EXPECT_NE(hint.find("Linha 2, campo DSFATURCLIE"), std::string::npos) << hint;
  EXPECT_NE(hint.find("--encoding cp1252"), std::string::npos) << hint;
  auto [read, done] = command("import params " + ansi + " --encoding cp1252");
  EXPECT_EQ(read, 0) << done;
  EXPECT_EQ(paramsOf("101").rows[0].values[2], Variant("Manutenção"));
  // The readable export goes back in as it came out.
  auto [exported, readable] = command("export params --readable");
  ASSERT_EQ(exported, 0);
  auto [again, same] = command("import params " + file(readable));
  EXPECT_EQ(again, 0) << same;
  EXPECT_NE(same.find("0 linha(s) incluída(s), 0 alterada(s)"), std::string::npos) << same;
}

INSTANTIATE_TEST_SUITE_P(Engines, AdminCommand, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
