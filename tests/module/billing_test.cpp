// The billing vocabulary against a screen's catalogue: texts read at each call, exact
// comparisons, and conversions limited to what a screen offers.
#include <gtest/gtest.h>

#include <array>

#include "module/common/billing.h"

namespace kdr::test {
namespace {

using namespace kdr03020::common;

class BillingVocabulary : public ::testing::Test {
protected:
  BillingVocabulary() {
    catalogue.Messages = {"CUS|Customização", "LIC|Licença de uso", "MAN|Manutenção",
                          "LOC|Locação",      "OBR|Mão de Obra",    "SER|Service Desk"};
  }
  TMessages catalogue{nullptr};
};

TEST_F(BillingVocabulary, EveryCodeShowsItsCatalogueTextAndNothingElseShowsAny) {
  EXPECT_EQ(billingTypeText(catalogue, "1"), "Customização");
  EXPECT_EQ(billingTypeText(catalogue, "4"), "Locação");
  EXPECT_EQ(billingTypeText(catalogue, "6"), "Service Desk");
  for (const char *odd : {"", "7", "0", " 1", "1 ", "11"})
    EXPECT_EQ(billingTypeText(catalogue, odd), "") << odd;
  // Read at the moment of use: a catalogue changed afterwards shows its new text.
  catalogue.Messages[0] = "CUS|Desenvolvimento sob medida";
  EXPECT_EQ(billingTypeText(catalogue, "1"), "Desenvolvimento sob medida");
  EXPECT_EQ(billingTypeCode(catalogue, "Desenvolvimento sob medida"), "1");
  EXPECT_EQ(billingTypeCode(catalogue, "Customização"), std::nullopt);
}

TEST_F(BillingVocabulary, TextsTurnBackIntoCodesExactlyAndOnlyAmongTheOfferedOnes) {
  EXPECT_EQ(billingTypeCode(catalogue, "Locação"), "4");
  constexpr std::array<std::string_view, 5> grid{"1", "2", "3", "5", "6"};
  EXPECT_EQ(billingTypeCode(catalogue, "Locação", grid), std::nullopt);
  EXPECT_EQ(billingTypeCode(catalogue, "Mão de Obra", grid), "5");
  for (const char *odd : {"", "mão de obra", "Mão de Obra ", "5"})
    EXPECT_EQ(billingTypeCode(catalogue, odd, grid), std::nullopt) << odd;
}

TEST(FlagVocabulary, OnlyExactlySAndNHaveTexts) {
  EXPECT_EQ(flagText("S"), "Sim");
  EXPECT_EQ(flagText("N"), "Não");
  for (const char *odd : {"", "s", "n", "X", "Sim"}) EXPECT_EQ(flagText(odd), "") << odd;
  EXPECT_EQ(flagCode("Sim"), "S");
  EXPECT_EQ(flagCode("Não"), "N");
  for (const char *odd : {"", "sim", "Nao", "S"}) EXPECT_EQ(flagCode(odd), "") << odd;
}

} // namespace
} // namespace kdr::test
