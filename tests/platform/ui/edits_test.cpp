// Typing through the KeyPress chain, MaxLength, and edit masks.
#include "tests/platform/ui/uitest.h"

#include "platform/ui/stdctrls.h"
#include "platform/ui/userdoor.h"

namespace kdr::test {
namespace {

class EditTest : public UiTest {
protected:
  void SetUp() override {
    UiTest::SetUp();
    form = shownForm();
    edit = make<TEdit>(form, form, "edt");
    med = make<TMaskEdit>(form, form, "med");
    edit->OnChange = [this](TComponent *) { ++changes; };
    med->OnChange = [this](TComponent *) { ++changes; };
  }
  TForm *form;
  TEdit *edit;
  TMaskEdit *med;
  int changes = 0;
};

TEST_F(EditTest, AKeyFilterDiscardsOrReplacesKeysBeforeTheyAreTyped) {
  // Digits and Backspace only, as the code edits do; a lower-case letter becomes upper case.
  edit->OnKeyPress = [](TComponent *, char32_t &key) {
    if (key == U'x')
      key = U'X';
    else if (!(key >= U'0' && key <= U'9') && key != 8)
      key = 0;
  };
  EXPECT_TRUE(user::type(*edit, "1a2-3ç4"));
  EXPECT_EQ(edit->Text(), "1234");
  EXPECT_TRUE(user::press(*edit, VK_BACK));
  EXPECT_EQ(edit->Text(), "123");
  EXPECT_TRUE(user::type(*edit, "x"));
  EXPECT_EQ(edit->Text(), "123X");
  EXPECT_EQ(changes, 6) << "one change per character that got through";

  // A key-down handler that zeroes Delete keeps the text.
  edit->OnKeyDown = [](TComponent *, int &key, TShiftState) {
    if (key == VK_DELETE) key = 0;
  };
  user::selectAll(*edit);
  user::press(*edit, VK_DELETE);
  EXPECT_EQ(edit->Text(), "123X");
}

TEST_F(EditTest, MaxLengthLimitsTypingOnlyAndCountsCharacters) {
  edit->SetMaxLength(3);
  user::type(*edit, "ãçé!?");
  EXPECT_EQ(edit->Text(), "ãçé");
  edit->SetText("código longo");
  EXPECT_EQ(edit->Text(), "código longo") << "text set by code is not cut";
  const int before = changes;
  edit->SetText("código longo");
  EXPECT_EQ(changes, before) << "the same text fires no change";
}

// A memo's Enter starts a line; the break is two characters of its text, so it is refused like any
// other character that would pass MaxLength.
TEST_F(EditTest, MemoMaxLengthCountsLineBreaks) {
  auto *memo = make<TMemo>(form, form, "mem");
  memo->SetMaxLength(4);
  user::type(*memo, "ab");
  user::press(*memo, VK_RETURN);
  EXPECT_EQ(memo->Text(), "ab\r\n");
  user::press(*memo, VK_RETURN);
  user::type(*memo, "cd");
  EXPECT_EQ(memo->Text(), "ab\r\n") << "nothing fits after the fourth character";
  memo->SetText("abc");
  user::press(*memo, VK_RETURN);
  EXPECT_EQ(memo->Text(), "abc") << "a break that does not fit whole is refused";

  // Ctrl+A selects the whole text: Delete empties it.
  user::press(*memo, 'A', ssCtrl);
  user::press(*memo, VK_DELETE);
  EXPECT_EQ(memo->Text(), "");
}

TEST(FormatMaskText, LaysTheValueIntoTheMask) {
  struct Case {
    const char *mask, *value, *expected;
  } cases[] = {
      {"000.000.000-00;0;_", "12345678901", "123.456.789-01"},
      {"000.000.000-00;0;_", "123", "123.   .   -  "},
      {"000.000.000-00;0;_", "123456789012", "123.456.789-01"},
      {"000.000.000-00;0;_", "abc", "abc.   .   -  "},
      {"00.000.000/0000-00;0;_", "12345678000190", "12.345.678/0001-90"},
      {"999;0; ", "7", "7  "},
      {"!999;0; ", "7", "  7"},
      {"", "as is", "as is"},
      {"\\/00;0;_", "12", "/12"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(FormatMaskText(c.mask, c.value), c.expected) << c.mask << " " << c.value;
}

TEST_F(EditTest, SettingAndClearingAMaskRelaysTheTextAndMaxLength) {
  med->SetText("12345678901");
  changes = 0;
  med->SetEditMask("000.000.000-00;0;_");
  EXPECT_EQ(med->EditText(), "123.456.789-01");
  EXPECT_EQ(med->Text(), "12345678901");
  EXPECT_EQ(med->MaxLength(), 14);
  EXPECT_EQ(changes, 1);

  med->SetEditMask("");
  EXPECT_EQ(med->Text(), "12345678901");
  EXPECT_EQ(med->MaxLength(), 0);
  EXPECT_EQ(changes, 2);

  // A company number in a person's mask keeps only what fits.
  med->SetText("12345678000190");
  med->SetEditMask("000.000.000-00;0;_");
  EXPECT_EQ(med->EditText(), "123.456.780-00");
}

TEST_F(EditTest, TypingIntoAMaskFillsItsPositionsAndAnIncompleteMaskCannotBeLeft) {
  auto *other = make<TEdit>(form, form, "other");
  med->SetEditMask("00/00;1;_");
  med->OnExit = logs("med.Exit");
  user::type(*med, "1a2");
  EXPECT_EQ(med->EditText(), "12/__") << "a letter does not fit a digit position";
  user().expectError("Valor de entrada inválido. Use a tecla Esc para abandonar as alterações.");
  EXPECT_FALSE(user::focus(*other));
  EXPECT_EQ(form->focusedControl(), med);
  EXPECT_TRUE(log.empty()) << "OnExit does not run when validation fails";
  // Leaving again without mending the text fails again.
  user().expectError("Valor de entrada inválido. Use a tecla Esc para abandonar as alterações.");
  EXPECT_FALSE(user::focus(*other));
  EXPECT_EQ(med->EditText(), "12/__");
  // The failed validation selected the text, so typing starts over.
  user::type(*med, "1234");
  EXPECT_EQ(med->Text(), "12/34");
  EXPECT_TRUE(user::focus(*other));
  EXPECT_EQ(log, std::vector<std::string>{"med.Exit"});
}

TEST_F(EditTest, RadioButtonsAreExclusiveAmongSiblingsAndCheckBoxesToggle) {
  auto *group = make<TGroupBox>(form, form, "grb");
  auto *all = make<TRadioButton>(form, group, "rbgTodos");
  auto *list = make<TRadioButton>(form, group, "rbgLista");
  auto *box = make<TCheckBox>(form, form, "chb");
  all->SetChecked(true);
  all->OnClick = logs("all.Click");
  list->OnClick = logs("list.Click");
  EXPECT_TRUE(user::click(*list));
  EXPECT_TRUE(list->Checked());
  EXPECT_FALSE(all->Checked());
  // The button turned off says nothing, and clicking the checked one again changes nothing.
  EXPECT_TRUE(user::click(*list));
  EXPECT_EQ(log, std::vector<std::string>{"list.Click"});
  all->SetChecked(true);
  EXPECT_FALSE(list->Checked());
  EXPECT_EQ(log, (std::vector<std::string>{"list.Click", "all.Click"}));
  box->SetEnabled(false);
  EXPECT_FALSE(user::click(*box));
  EXPECT_FALSE(box->Checked());
  box->SetEnabled(true);
  EXPECT_TRUE(user::click(*box));
  EXPECT_TRUE(box->Checked());
}

} // namespace
} // namespace kdr::test
