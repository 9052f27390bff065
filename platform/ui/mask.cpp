#include "platform/ui/mask.h"

#include "platform/rtl/utf8.h"

namespace kdr {

namespace {

std::vector<char32_t> decodeAll(const std::string &s) {
  std::vector<char32_t> out;
  for (std::size_t i = 0; i < s.size();) out.push_back(utf8::decode(s, i));
  return out;
}

bool isDigit(char32_t c) { return c >= U'0' && c <= U'9'; }
bool isLetter(char32_t c) {
  return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') ||
         (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7);
}

} // namespace

EditMask::EditMask(const std::string &mask) {
  if (mask.empty()) return;
  // Split off ";save;blank" from the end; a ';' escaped by '\' belongs to the pattern.
  auto chars = decodeAll(mask);
  std::vector<std::vector<char32_t>> fields(1);
  for (std::size_t i = 0; i < chars.size(); ++i) {
    if (chars[i] == U'\\' && i + 1 < chars.size() && fields.size() == 1) {
      fields.back().push_back(chars[i]);
      fields.back().push_back(chars[++i]);
    } else if (chars[i] == U';' && fields.size() < 3) {
      fields.emplace_back();
    } else {
      fields.back().push_back(chars[i]);
    }
  }
  if (fields.size() > 1) saveLiterals_ = !(fields[1].size() == 1 && fields[1][0] == U'0');
  if (fields.size() > 2 && !fields[2].empty()) blank_ = fields[2][0];

  int caseMode = 0;
  const auto &p = fields[0];
  for (std::size_t i = 0; i < p.size(); ++i) {
    char32_t c = p[i];
    Slot slot = Slot::Literal;
    switch (c) {
    case U'!':
      rightAlign_ = true;
      continue;
    case U'>':
      if (i + 1 < p.size() && p[i + 1] == U'<') {
        caseMode = 0;
        ++i;
      } else {
        caseMode = 1;
      }
      continue;
    case U'<':
      caseMode = -1;
      continue;
    case U'\\':
      if (i + 1 < p.size()) c = p[++i];
      break;
    case U'0':
      slot = Slot::Digit;
      break;
    case U'9':
      slot = Slot::DigitOpt;
      break;
    case U'#':
      slot = Slot::DigitSign;
      break;
    case U'L':
      slot = Slot::Letter;
      break;
    case U'l':
      slot = Slot::LetterOpt;
      break;
    case U'A':
      slot = Slot::Alnum;
      break;
    case U'a':
      slot = Slot::AlnumOpt;
      break;
    case U'C':
      slot = Slot::Any;
      break;
    case U'c':
      slot = Slot::AnyOpt;
      break;
    default:
      break;
    }
    if (slot != Slot::Literal) editable_.push_back(static_cast<int>(positions_.size()));
    positions_.push_back({slot, slot == Slot::Literal ? c : U'\0', caseMode});
  }
}

std::vector<char32_t> EditMask::emptyCells() const { return std::vector<char32_t>(editable_.size(), 0); }

std::vector<char32_t> EditMask::layIn(const std::string &value, bool valueHasLiterals) const {
  auto cells = emptyCells();
  auto chars = decodeAll(value);
  if (!valueHasLiterals) {
    const std::size_t n = std::min(chars.size(), cells.size());
    if (rightAlign_) {
      for (std::size_t k = 0; k < n; ++k) cells[cells.size() - 1 - k] = chars[chars.size() - 1 - k];
    } else {
      for (std::size_t k = 0; k < n; ++k) cells[k] = chars[k];
    }
  } else {
    // Walk mask and value together: a literal of the mask consumes the same literal of the
    // value; an editable position takes the next value character that is not that literal.
    std::size_t v = 0, cell = 0;
    for (const auto &pos : positions_) {
      if (v >= chars.size()) break;
      if (pos.slot == Slot::Literal) {
        if (chars[v] == pos.literal) ++v;
        continue;
      }
      cells[cell++] = chars[v++];
    }
  }
  for (std::size_t k = 0; k < cells.size(); ++k)
    if (cells[k] == U' ') cells[k] = 0;
  return cells;
}

std::string EditMask::render(const std::vector<char32_t> &cells, char32_t fill) const {
  std::string out;
  std::size_t cell = 0;
  for (const auto &pos : positions_) {
    char32_t c = pos.slot == Slot::Literal ? pos.literal : cells[cell++];
    utf8::append(out, c ? c : fill);
  }
  return out;
}

std::string EditMask::valueOf(const std::vector<char32_t> &cells) const {
  std::string out;
  if (saveLiterals_) {
    out = render(cells, U' ');
  } else {
    for (char32_t c : cells) utf8::append(out, c ? c : U' ');
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string EditMask::filledOf(const std::vector<char32_t> &cells) {
  std::string out;
  for (char32_t c : cells)
    if (c) utf8::append(out, c);
  return out;
}

char32_t EditMask::accept(int cell, char32_t ch) const {
  const auto &pos = positions_[editable_[cell]];
  bool ok = false;
  switch (pos.slot) {
  case Slot::Digit:
  case Slot::DigitOpt:
    ok = isDigit(ch);
    break;
  case Slot::DigitSign:
    ok = isDigit(ch) || ch == U'+' || ch == U'-';
    break;
  case Slot::Letter:
  case Slot::LetterOpt:
    ok = isLetter(ch);
    break;
  case Slot::Alnum:
  case Slot::AlnumOpt:
    ok = isLetter(ch) || isDigit(ch);
    break;
  case Slot::Any:
  case Slot::AnyOpt:
    ok = ch >= 32;
    break;
  case Slot::Literal:
    break;
  }
  if (!ok) return 0;
  std::string s;
  utf8::append(s, ch);
  if (pos.caseMode != 0) {
    s = pos.caseMode > 0 ? utf8::toUpper(s) : utf8::toLower(s);
    std::size_t i = 0;
    ch = utf8::decode(s, i);
  }
  return ch;
}

bool EditMask::complete(const std::vector<char32_t> &cells) const {
  for (std::size_t k = 0; k < cells.size(); ++k) {
    auto slot = positions_[editable_[k]].slot;
    bool required = slot == Slot::Digit || slot == Slot::Letter || slot == Slot::Alnum || slot == Slot::Any;
    if (required && !cells[k]) return false;
  }
  return true;
}

std::string FormatMaskText(const std::string &mask, const std::string &value) {
  EditMask m(mask);
  if (m.empty()) return value;
  return m.render(m.layIn(value, m.saveLiterals()), U' ');
}

} // namespace kdr
