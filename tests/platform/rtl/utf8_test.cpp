#include <gtest/gtest.h>

#include "platform/rtl/utf8.h"

namespace utf8 = kdr::utf8;

TEST(Utf8, CountsAndCutsCharactersNotBytes) {
  EXPECT_EQ(utf8::length("Manutenção"), 10u);
  EXPECT_EQ(utf8::cut("Não", 1), "N");
  EXPECT_EQ(utf8::cut("Não", 2), "Nã");
  EXPECT_EQ(utf8::cut("ção", 10), "ção");
  std::string accents;
  for (int i = 0; i < 401; ++i) accents += "ã";
  EXPECT_EQ(utf8::length(utf8::cut(accents, 400)), 400u);
  EXPECT_EQ(utf8::cut(accents, 400).size(), 800u);
}

TEST(Utf8, MalformedInputNeverReadsPastTheEnd) {
  const std::string truncated = "ab\xC3";
  EXPECT_EQ(utf8::length(truncated), 3u);
  EXPECT_EQ(utf8::cut(truncated, 3), truncated);
}

TEST(Utf8, BlankAndPortugueseCaseFolding) {
  EXPECT_TRUE(utf8::isBlank(" \t\r\n"));
  EXPECT_TRUE(utf8::isBlank(""));
  EXPECT_FALSE(utf8::isBlank(" x "));
  EXPECT_TRUE(utf8::sameText("ção", "ÇÃO"));
  EXPECT_TRUE(utf8::sameText("Manutenção", "MANUTENÇÃO"));
  EXPECT_FALSE(utf8::sameText("cao", "ção"));
  EXPECT_FALSE(utf8::sameText("abc", "abcd"));
  EXPECT_EQ(utf8::toUpper("ação"), "AÇÃO");
}

TEST(Utf8, PercentEncodingCarriesAnyTextInAHeaderAndBack) {
  const std::string name = "João da Silva 100%\r\n";
  const std::string encoded = utf8::percentEncode(name);
  EXPECT_EQ(encoded, "Jo%C3%A3o%20da%20Silva%20100%25%0D%0A");
  EXPECT_EQ(utf8::percentDecode(encoded), name);
  // A "%" without two hexadecimal digits after it is kept as typed.
  EXPECT_EQ(utf8::percentDecode("50%-%4"), "50%-%4");
  EXPECT_EQ(utf8::percentDecode("%e3%"), "\xE3%");
}
