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

TEST(Utf8, SearchFoldingDropsCaseAndAccentsCharacterForCharacter) {
  EXPECT_EQ(utf8::foldForSearch("João Açougue"), "JOAO ACOUGUE");
  EXPECT_EQ(utf8::foldForSearch("ÿæ ß € 50%_x"), "YÆ ß € 50%_X") << "wildcards and other characters kept";
  const utf8::SearchFolding &f = utf8::searchFolding();
  EXPECT_EQ(utf8::length(f.from), utf8::length(f.to)) << "a database's translation pairs them one to one";
  EXPECT_EQ(utf8::foldForSearch(f.from), f.to);
  const std::string odd = "a\xC3(b";
  EXPECT_EQ(utf8::length(utf8::foldForSearch(odd)), utf8::length(odd));
}

TEST(Utf8, PercentEncodingCarriesAnyTextInAHeaderAndBack) {
  const std::string name = "João da Silva 100%\r\n";
  const std::string encoded = utf8::percentEncode(name);
  EXPECT_EQ(encoded, "Jo%C3%A3o%20da%20Silva%20100%25%0D%0A");
  EXPECT_EQ(utf8::percentDecode(encoded), name);
  // A "%" without two hexadecimal digits after it is kept as typed.
  EXPECT_EQ(utf8::percentDecode("50%-%4"), "50%-%4");
  EXPECT_EQ(utf8::percentDecode("%e3%"), "\xE3%");
  // Another program may write the digits in either case, the letters' ends included.
  EXPECT_EQ(utf8::percentDecode("Jo%c3%a3o%0a%AF%fA%9f"), "Jo\xC3\xA3o\n\xAF\xFA\x9F");
}

TEST(Utf8, OneStrictRuleRefusesEveryMalformedForm) {
  EXPECT_TRUE(utf8::isValid("Manutenção \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF"));
  for (const char *bad : {"\xC0\xAF",           // "/" in two bytes: an overlong form
                          "\xE0\x80\xAF",       // the same in three
                          "\xF0\x80\x80\xAF",   // and in four
                          "\xED\xA0\x80",       // a surrogate
                          "\xF4\x90\x80\x80",   // above U+10FFFF
                          "\xF5\x80\x80\x80",   // a byte no UTF-8 text holds
                          "\xFF", "\x80",       // a stray continuation byte
                          "\xC3(", "\xE2\x82(", // a character cut by another
                          "\xF0\x9F\x98"}) {    // cut short at the end
    const std::string text = std::string("ok ") + bad + " ok";
    EXPECT_EQ(utf8::firstMalformed(text), 3u) << text;
    std::size_t i = 3;
    EXPECT_EQ(utf8::decode(text, i), U'\xFFFD') << text;
    EXPECT_EQ(i, 4u) << text;
  }
}

TEST(Utf8, FourByteCharactersAreOneCharacterAndAreNeverSplit) {
  EXPECT_EQ(utf8::length("a😀b"), 3u);
  std::size_t i = 1;
  EXPECT_EQ(utf8::decode("a😀b", i), U'😀');
  EXPECT_EQ(i, 5u);
  std::string faces;
  for (int k = 0; k < 401; ++k) faces += "😀";
  EXPECT_EQ(utf8::cut(faces, 400).size(), 1600u);
  EXPECT_TRUE(utf8::isValid(utf8::cut("a😀b", 2)));
  // A lead byte followed by a byte that does not continue it is one malformed character, and the
  // next one counts on its own.
  EXPECT_EQ(utf8::length("\xC3"
                         "A"),
            2u);
  EXPECT_EQ(utf8::cut("\xE2"
                      "ab",
                      2),
            "\xE2"
            "a");
}

TEST(Utf8, CodesBroughtToTheirWidthAndTextsMadeInert) {
  EXPECT_EQ(utf8::padCode("1", 2), "01");
  EXPECT_EQ(utf8::padCode(" 7 ", 3), "007");
  EXPECT_EQ(utf8::padCode("", 2), "");
  EXPECT_EQ(utf8::padCode("  ", 2), "");
  EXPECT_EQ(utf8::padCode("123", 2), "123");
  EXPECT_EQ(utf8::inert("a\x1B[2Jb\nc\r\x7F"), "a␛[2Jb⏎c␡");
  EXPECT_EQ(utf8::inert("x\xC2\x9B"
                        "1m\xE2\x80\xAE"
                        "y\xC0"),
            "x\uFFFD1m\uFFFDy\uFFFD");
  EXPECT_EQ(utf8::inert("Manutenção 😀"), "Manutenção 😀");
}
