#include "platform/data/fields.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/data/dataset.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/utf8.h"

namespace kdr {

TField::TField(TDataSet &dataSet, std::string fieldName, FieldType type, int size)
    : dataSet_(&dataSet), fieldName_(std::move(fieldName)), type_(type), size_(size) {}

void TField::SetDisplayLabel(std::string label) {
  displayLabel_ = std::move(label);
  dataSet_->layoutChanged();
}

int TField::DisplayWidth() const {
  if (displayWidth_ > 0) return displayWidth_;
  switch (type_) {
  case FieldType::String:
    return size_ > 0 ? size_ : 20;
  case FieldType::Boolean:
    return 5;
  default:
    return 10;
  }
}

void TField::SetDisplayWidth(int width) {
  displayWidth_ = width;
  dataSet_->layoutChanged();
}

void TField::SetVisible(bool visible) {
  visible_ = visible;
  dataSet_->layoutChanged();
}

const Variant &TField::Value() const { return dataSet_->fieldValue(*this); }

void TField::SetValue(const Variant &value) {
  if (readOnly_) throw EDatabaseError("O campo '" + DisplayLabel() + "' não pode ser alterado");
  dataSet_->setFieldValue(*this, convert(value));
}

std::string TField::AsString() const { return Value().asString(); }

std::int64_t TField::AsInteger() const { return Value().asInteger(); }

void TField::SetText(const std::string &text) {
  if (OnSetText)
    OnSetText(*this, text);
  else
    SetAsString(text);
}

Variant TField::OldValue() const { return dataSet_->oldFieldValue(*this); }

Variant TField::convert(const Variant &value) const {
  if (value.isEmpty()) return Variant(nullptr);
  return value;
}

void TField::FocusControl() { dataSet_->focusControl(*this); }

std::string TField::textOf(bool displayText) const {
  if (!OnGetText) return formatText(displayText);
  std::string text;
  OnGetText(const_cast<TField &>(*this), text, displayText);
  return text;
}

TStringField::TStringField(TDataSet &dataSet, std::string fieldName, int size)
    : TField(dataSet, std::move(fieldName), FieldType::String, size) {}

std::int64_t TStringField::AsInteger() const { return Variant(AsString()).asInteger(); }

Variant TStringField::convert(const Variant &value) const {
  if (value.isEmpty()) return Variant(nullptr);
  std::string text = value.asString();
  if (text.empty()) return Variant(nullptr);
  const auto size = static_cast<std::size_t>(Size());
  if (size > 0 && text.size() > size && utf8::length(text) > size) text = utf8::cut(text, size);
  return Variant(std::move(text));
}

TIntegerField::TIntegerField(TDataSet &dataSet, std::string fieldName)
    : TField(dataSet, std::move(fieldName), FieldType::Integer) {}

Variant TIntegerField::convert(const Variant &value) const {
  if (value.isEmpty() || (value.isString() && value.str().empty())) return Variant(nullptr);
  return Variant(value.asInteger());
}

TFloatField::TFloatField(TDataSet &dataSet, std::string fieldName)
    : TField(dataSet, std::move(fieldName), FieldType::Float) {}

std::string TFloatField::AsString() const {
  if (IsNull()) return {};
  std::string text = formatFloat(AsFloat());
  if (auto dot = text.find('.'); dot != std::string::npos) text[dot] = ',';
  return text;
}

Variant TFloatField::convert(const Variant &value) const {
  if (value.isEmpty()) return Variant(nullptr);
  if (value.isString()) return parseFloatText(value.str());
  return Variant(value.asFloat());
}

std::string TFloatField::formatText(bool displayText) const {
  if (IsNull()) return {};
  if (!displayText && !editFormat_.empty()) return formatFloatPattern(AsFloat(), editFormat_);
  if (displayFormat_.empty()) return AsString();
  // The editing text keeps the decimals of the display format but never its grouping.
  return formatFloatPattern(AsFloat(), displayFormat_, displayText);
}

TBooleanField::TBooleanField(TDataSet &dataSet, std::string fieldName)
    : TField(dataSet, std::move(fieldName), FieldType::Boolean) {}

Variant TBooleanField::convert(const Variant &value) const {
  if (value.isEmpty() || (value.isString() && value.str().empty())) return Variant(nullptr);
  return Variant(value.asBoolean());
}

namespace {

struct Pattern {
  std::string prefix, suffix;
  bool grouping = false;
  int minInt = 0, minDec = 0, maxDec = 0;
};

Pattern parsePattern(std::string_view text) {
  text = text.substr(0, text.find(';'));
  Pattern p;
  const auto first = text.find_first_of("#0.,");
  if (first == std::string_view::npos) {
    p.prefix = text;
    return p;
  }
  const auto last = text.find_last_of("#0.,");
  p.prefix = text.substr(0, first);
  p.suffix = text.substr(last + 1);
  bool decimals = false;
  for (char c : text.substr(first, last - first + 1)) {
    if (c == '.')
      decimals = true;
    else if (c == ',' && !decimals)
      p.grouping = true;
    else if (c == '0' && !decimals)
      ++p.minInt;
    else if (c == '0') {
      ++p.minDec;
      ++p.maxDec;
    } else if (c == '#' && decimals)
      ++p.maxDec;
  }
  return p;
}

// The digits of |value| in its shortest exact decimal form, and how many stand before the point.
void decimalDigits(double value, std::string &digits, int &pointPos) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific);
  std::string_view s(buf, res.ptr - buf);
  const auto e = s.find('e');
  for (char c : s.substr(0, e))
    if (c != '.') digits += c;
  pointPos = std::atoi(std::string(s.substr(e + 1)).c_str()) + 1;
}

} // namespace

std::string formatFloatPattern(double value, std::string_view patternText, bool grouping) {
  if (!std::isfinite(value)) return formatFloat(value);
  const Pattern p = parsePattern(patternText);
  std::string d;
  int point = 0;
  decimalDigits(value, d, point);
  if (point < 1) {
    d.insert(0, static_cast<std::size_t>(1 - point), '0');
    point = 1;
  }
  const auto keep = static_cast<std::size_t>(point + p.maxDec);
  if (d.size() < keep) d.append(keep - d.size(), '0');
  const bool roundUp = d.size() > keep && d[keep] >= '5';
  d.resize(keep);
  if (roundUp) {
    auto i = static_cast<long>(keep) - 1;
    while (i >= 0 && d[i] == '9') d[i--] = '0';
    if (i < 0) {
      d.insert(0, 1, '1');
      ++point;
    } else {
      ++d[i];
    }
  }
  std::string intPart = d.substr(0, point), frac = d.substr(point);
  const bool zero = d.find_first_not_of('0') == std::string::npos;
  intPart.erase(0, std::min(intPart.find_first_not_of('0'), intPart.size()));
  if (intPart.size() < static_cast<std::size_t>(p.minInt)) intPart.insert(0, p.minInt - intPart.size(), '0');
  while (frac.size() > static_cast<std::size_t>(p.minDec) && frac.back() == '0') frac.pop_back();
  if (grouping && p.grouping)
    for (auto i = static_cast<long>(intPart.size()) - 3; i > 0; i -= 3) intPart.insert(i, 1, '.');
  std::string out = (value < 0 && !zero) ? "-" : "";
  out += p.prefix + intPart;
  if (!frac.empty()) out += "," + frac;
  return out + p.suffix;
}

Variant parseFloatText(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return Variant(nullptr);
  text = text.substr(first, text.find_last_not_of(' ') - first + 1);
  auto invalid = [&] { return EConvertError("'" + std::string(text) + "' não é um número válido"); };
  std::string s(text);
  int separators = 0;
  bool digit = false;
  for (char &c : s) {
    if (c == ',' || c == '.') {
      c = '.';
      ++separators;
    } else if (c >= '0' && c <= '9') {
      digit = true;
    } else if (!std::strchr("+-eE", c)) {
      throw invalid();
    }
  }
  if (separators > 1 || !digit) throw invalid();
  const char *begin = s.data() + (s[0] == '+' ? 1 : 0);
  double value = 0;
  auto res = std::from_chars(begin, s.data() + s.size(), value);
  if (res.ec != std::errc() || res.ptr != s.data() + s.size()) throw invalid();
  return Variant(value);
}

} // namespace kdr
