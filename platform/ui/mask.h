#pragma once
// Edit masks "pattern;save-literals;blank". "/" and ":" are the Brazilian date and time
// separators, so they stand for themselves like any other literal.
#include <string>
#include <vector>

namespace kdr {

class EditMask {
public:
  enum class Slot { Literal, Digit, DigitOpt, DigitSign, Letter, LetterOpt, Alnum, AlnumOpt, Any, AnyOpt };
  struct Position {
    Slot slot;
    char32_t literal; // for Slot::Literal
    int caseMode;     // 1 upper, -1 lower, 0 as typed
  };

  EditMask() = default;
  explicit EditMask(const std::string &mask);

  bool empty() const { return positions_.empty(); }
  bool saveLiterals() const { return saveLiterals_; }
  char32_t blank() const { return blank_; }
  const std::vector<Position> &positions() const { return positions_; }
  // Positions including literals: the MaxLength a mask gives its edit.
  int length() const { return static_cast<int>(positions_.size()); }

  // Cells are the editable positions' characters; 0 marks an unfilled one.
  std::vector<char32_t> emptyCells() const;
  // Lays value into cells: without literals (left to right, right to left with '!'), or with
  // them, segment by segment. Characters are not checked against their positions.
  std::vector<char32_t> layIn(const std::string &value, bool valueHasLiterals) const;
  // The formatted text, unfilled positions shown as fill.
  std::string render(const std::vector<char32_t> &cells, char32_t fill) const;
  // The value the edit reports as Text: with save-literals the rendered text, otherwise only the
  // filled characters' positions; trailing blanks dropped.
  std::string valueOf(const std::vector<char32_t> &cells) const;
  // The filled characters alone, literals and blanks removed.
  static std::string filledOf(const std::vector<char32_t> &cells);
  // A character accepted at editable position i (after case conversion), or 0.
  char32_t accept(int cell, char32_t ch) const;
  bool complete(const std::vector<char32_t> &cells) const;

private:
  std::vector<int> editable_; // index into positions_ of each cell
  std::vector<Position> positions_;
  bool saveLiterals_ = true;
  char32_t blank_ = U'_';
  bool rightAlign_ = false;
};

// The value laid into the mask; leftover positions are spaces. An empty mask returns value.
std::string FormatMaskText(const std::string &mask, const std::string &value);

} // namespace kdr
