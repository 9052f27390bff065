#include "platform/host/consiste.h"

#include <gtest/gtest.h>

namespace kdr {
namespace {

TEST(Consiste, EmptyStringTakesNullEmptyAndBlanks) {
  EXPECT_TRUE(Consiste::EmptyString(Variant(nullptr)));
  EXPECT_TRUE(Consiste::EmptyString(Variant::unassigned()));
  EXPECT_TRUE(Consiste::EmptyString(""));
  EXPECT_TRUE(Consiste::EmptyString(std::string(" \t ")));
  EXPECT_TRUE(Consiste::EmptyString(Variant("   ")));
  EXPECT_FALSE(Consiste::EmptyString(" a "));
  EXPECT_FALSE(Consiste::EmptyString(Variant(0)));
}

TEST(Consiste, AjustaBringsCodesToTheirWidth) {
  struct Case {
    const char *code;
    int width;
    const char *expected;
  };
  for (const Case &c :
       {Case{"1", 2, "01"}, Case{"7", 3, "007"}, Case{"42", 12, "000000000042"}, Case{"", 2, ""},
        Case{"  ", 3, ""}, Case{" 5 ", 2, "05"}, Case{"12", 2, "12"}, Case{"1234", 3, "1234"}})
    EXPECT_EQ(Consiste::Ajusta(c.code, c.width), c.expected) << '"' << c.code << "\" width " << c.width;
}

TEST(Consiste, RegistrationNumberAndItsMask) {
  EXPECT_EQ(Consiste::Ajusta_Inscricao("123.456.789-01"), "12345678901");
  EXPECT_EQ(Consiste::Ajusta_Inscricao("12.345.678/0001-90"), "12345678000190");
  EXPECT_EQ(Consiste::Ajusta_Inscricao("abc"), "");
  EXPECT_EQ(Consiste::PictPess("F"), "000.000.000-00;0;_");
  EXPECT_EQ(Consiste::PictPess("J"), "00.000.000/0000-00;0;_");
  EXPECT_EQ(Consiste::PictPess(""), "");
  EXPECT_EQ(Consiste::PictPess("X"), "");
}

} // namespace
} // namespace kdr
