#include <gtest/gtest.h>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/utf8.h"
#include "recorder.h"

namespace kdr {
namespace {

using testing::Recorder;

struct FieldFixture : ::testing::Test {
  TClientDataSet ds;
  TStringField &flag = ds.AddStringField("IDTPFATUCLIE", 1);
  TStringField &text = ds.AddStringField("DSFATURCLIE", 400);
  TIntegerField &number = ds.AddIntegerField("NR");
  TFloatField &rate = ds.AddFloatField("VRPERCAJUSTEINV");

  void SetUp() override {
    ds.CreateDataSet();
    ds.Append();
  }
};

TEST_F(FieldFixture, StringFieldsCutToSizeInCharactersAndStoreEmptyAsNull) {
  flag.SetAsString("Sim");
  EXPECT_EQ(flag.AsString(), "S");
  flag.SetAsString("Não");
  EXPECT_EQ(flag.AsString(), "N");
  std::string long401;
  for (int i = 0; i < 401; ++i) long401 += (i % 3 == 0) ? "ç" : (i % 3 == 1 ? "ã" : "a");
  text.SetAsString(long401);
  EXPECT_EQ(utf8::length(text.AsString()), 400u);
  EXPECT_EQ(text.AsString(), utf8::cut(long401, 400));
  text.SetAsString("");
  EXPECT_TRUE(text.IsNull());
  EXPECT_EQ(text.AsString(), "");
}

TEST_F(FieldFixture, AsIntegerOfAStringFieldRaisesOnEmptyOrNonNumbers) {
  for (const char *value : {"", "x", "1 "}) {
    text.SetAsString(value);
    EXPECT_THROW(text.AsInteger(), EConvertError) << value;
  }
  text.SetAsString(" 12");
  EXPECT_EQ(text.AsInteger(), 12);
  EXPECT_EQ(number.AsInteger(), 0); // a null number reads as 0
  number.SetAsString("42");
  EXPECT_EQ(number.AsInteger(), 42);
  EXPECT_THROW(number.SetAsString("4x"), EConvertError);
}

TEST_F(FieldFixture, GetTextAndSetTextHooks) {
  flag.OnGetText = [](TField &f, std::string &t, bool display) {
    EXPECT_EQ(t, "");
    t = (display ? "show:" : "edit:") + f.AsString();
  };
  flag.SetAsString("1");
  EXPECT_EQ(flag.DisplayText(), "show:1");
  EXPECT_EQ(flag.Text(), "edit:1");
  EXPECT_EQ(flag.AsString(), "1"); // raw access never passes through the hook

  int changes = 0;
  flag.OnChange = [&](TField &) { ++changes; };
  ds.Post();
  ds.Edit();
  flag.OnSetText = [](TField &, const std::string &) {}; // assigns nothing
  flag.SetText("Mensal");
  EXPECT_EQ(flag.AsString(), "1");
  EXPECT_FALSE(ds.Modified());
  EXPECT_EQ(changes, 0);
  flag.OnSetText = [](TField &f, const std::string &t) { f.SetAsString(t == "Mensal" ? "2" : "1"); };
  flag.SetText("Mensal");
  EXPECT_EQ(flag.AsString(), "2");
  EXPECT_TRUE(ds.Modified());
  flag.SetAsString("2"); // the same value still counts as a change
  EXPECT_EQ(changes, 2);
}

TEST_F(FieldFixture, OnValidateRaisingKeepsTheOldValue) {
  flag.SetAsString("1");
  flag.OnValidate = [](TField &f) {
    if (f.AsString() == "9") throw EDatabaseError("inválido");
  };
  EXPECT_THROW(flag.SetAsString("9"), EDatabaseError);
  EXPECT_EQ(flag.AsString(), "1");
}

TEST(FloatFormat, DisplayFormatWithBrazilianSeparators) {
  struct Case {
    double value;
    const char *pattern;
    const char *display;
    const char *edit;
  } cases[] = {
      {1234.5, "#,##0.00", "1.234,50", "1234,50"},
      {0, "#,##0.00", "0,00", "0,00"},
      {-5, "#,##0.00", "-5,00", "-5,00"},
      {12.345, "#,##0.00", "12,35", "12,35"}, // half away from zero on the decimal form
      {-12.345, "#,##0.00", "-12,35", "-12,35"},
      {0.005, "#,##0.00", "0,01", "0,01"},
      {-0.001, "#,##0.00", "0,00", "0,00"},
      {999.995, "#,##0.00", "1.000,00", "1000,00"},
      {1234567.891, "#,##0.00", "1.234.567,89", "1234567,89"},
      {2.5, "0.##", "2,5", "2,5"},
      {1e-7, "#,##0.00", "0,00", "0,00"},
      {123456789012.0, "#,##0", "123.456.789.012", "123456789012"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(formatFloatPattern(c.value, c.pattern), c.display);
    EXPECT_EQ(formatFloatPattern(c.value, c.pattern, false), c.edit);
  }
}

TEST_F(FieldFixture, FloatTextParsingAndDisplay) {
  rate.SetDisplayFormat("#,##0.00");
  EXPECT_EQ(rate.DisplayText(), ""); // null shows nothing
  EXPECT_EQ(rate.AsString(), "");    // and is not a zero
  rate.SetAsFloat(1234.5);
  EXPECT_EQ(rate.DisplayText(), "1.234,50");
  EXPECT_EQ(rate.Text(), "1234,50");
  EXPECT_EQ(rate.AsString(), "1234,5");
  struct Case {
    const char *text;
    Variant stored; // unassigned: raises
  } cases[] = {{"12,5", 12.5},
               {"12.5", 12.5},
               {" 7 ", 7.0},
               {"", nullptr},
               {"-0,25", -0.25},
               {"1234,50", 1234.5},
               {"1.234,50", Variant::unassigned()},
               {"1,2,3", Variant::unassigned()},
               {"abc", Variant::unassigned()},
               {"inf", Variant::unassigned()},
               {",", Variant::unassigned()}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    if (c.stored.isUnassigned()) {
      EXPECT_THROW(rate.SetText(c.text), EConvertError);
    } else {
      rate.SetText(c.text);
      EXPECT_EQ(rate.Value(), c.stored);
    }
  }
  // The editing text goes back in unchanged; the display text with grouping does not.
  rate.SetAsFloat(1234.5);
  rate.SetText(rate.Text());
  EXPECT_EQ(rate.AsFloat(), 1234.5);
  EXPECT_THROW(rate.SetText(rate.DisplayText()), EConvertError);
}

} // namespace
} // namespace kdr
