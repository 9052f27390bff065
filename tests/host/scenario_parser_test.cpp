// The scenario language's lines: words, quotes, comments, and every command's shape. A line that
// does not parse is refused with its number before anything runs.
#include <gtest/gtest.h>

#include "host/scenario/scenario.h"
#include "platform/rtl/exceptions.h"

namespace kdr::host::scenario {
namespace {

TEST(ScenarioWords, QuotesCommentsAndEscapes) {
  struct Case {
    std::string line;
    std::vector<std::string> words;
  } cases[] = {
      {"type 123", {"type", "123"}},
      {"  expect message \"Cliente não cadastrado.\"  # comment",
       {"expect", "message", "Cliente não cadastrado."}},
      {"type \"say \\\"hi\\\"\"", {"type", "say \"hi\""}},
      {"type \"#\"", {"type", "#"}},
      {"assert edtNmCliente.Text = \"\"", {"assert", "edtNmCliente.Text", "=", ""}},
      {"# only a comment", {}},
      {"\t", {}},
  };
  for (const auto &c : cases) EXPECT_EQ(splitWords(c.line), c.words) << c.line;
}

TEST(ScenarioParser, EveryCommandShape) {
  Script s = parseScript("call IniProc\n"
                         "key Tab shift\n"
                         "cell dbgPadrao 2 CDEMPRESA\n"
                         "expect question \"Confirma?\" answer Yes\n"
                         "expect search Cliente choose Padaria\n"
                         "expect list Clientes choose A B\n"
                         "expect search Cliente cancel\n"
                         "assert dbgPadrao[3].IDTPFATUCLIE = Manutenção\n"
                         "assert frmParamFatCli.cdsCliente.NRINSJURCLIE.Text = 1\n"
                         "\n"
                         "assert forms = 0\n"
                         "snapshot\n",
                         "t.kdr");
  ASSERT_EQ(s.commands.size(), 11u);
  EXPECT_EQ(s.commands[0].op, Op::Call);
  EXPECT_TRUE(s.commands[1].shift);
  EXPECT_FALSE(s.commands[1].ctrl);
  EXPECT_EQ(s.commands[2].row, 2);
  EXPECT_EQ(s.commands[3].expectation.answer, "Yes");
  EXPECT_EQ(s.commands[4].expectation.choose, std::vector<std::string>{"Padaria"});
  EXPECT_EQ(s.commands[5].expectation.choose, (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(s.commands[6].expectation.cancel);
  EXPECT_EQ(s.commands[7].target.kind, AssertKind::GridCell);
  EXPECT_EQ(s.commands[7].target.row, 3);
  EXPECT_EQ(s.commands[7].target.path, (std::vector<std::string>{"dbgPadrao", "IDTPFATUCLIE"}));
  EXPECT_EQ(s.commands[8].target.path.size(), 4u);
  EXPECT_EQ(s.commands[9].line, 11);
  EXPECT_EQ(s.commands[9].target.kind, AssertKind::Forms);
  EXPECT_EQ(s.commands[10].op, Op::Snapshot);
}

TEST(ScenarioParser, QuestionLikeKeepsItsPatternAndAnswer) {
  Script s = parseScript("expect question like \"Serão copiados * cliente(s)*\" answer Sim\n", "t.kdr");
  const Expectation &e = s.commands.at(0).expectation;
  EXPECT_EQ(e.kind, ExpectKind::Question);
  EXPECT_TRUE(e.pattern);
  EXPECT_EQ(e.text, "Serão copiados * cliente(s)*");
  EXPECT_EQ(e.answer, "Sim");
  EXPECT_FALSE(parseScript("expect question like answer Sim\n", "t.kdr").commands.at(0).expectation.pattern);
}

TEST(ScenarioParser, BadLinesAreRefusedWithTheirNumber) {
  const char *bad[] = {
      "jump medNrInsJurClie",
      "call",
      "call A B",
      "key Tab meta",
      "cell dbgPadrao 0 CDEMPRESA",
      "cell dbgPadrao x CDEMPRESA",
      "expect question X answer",
      "expect question like X answer",
      "expect question like X Sim",
      "expect search Cliente choose A B",
      "expect list Clientes",
      "expect dialog X",
      "assert forms 1",
      "assert medNrInsJurClie = 1",
      "assert dbgPadrao[1]IDTPFATUCLIE = 1",
      "type \"unclosed",
      "ellipsis now",
      "snapshot out.png",
  };
  for (const char *line : bad) {
    try {
      parseScript(std::string("dump\n") + line + "\n", "t.kdr");
      ADD_FAILURE() << "accepted: " << line;
    } catch (const Exception &e) {
      EXPECT_EQ(e.Message().rfind("t.kdr:2: ", 0), 0u) << e.Message();
    }
  }
}

} // namespace
} // namespace kdr::host::scenario
