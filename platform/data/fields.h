#pragma once
// Fields: the typed view of one column of a dataset's current record. A field reads and writes
// through its dataset, converts text both ways, and raises the field events in the classic order
// (OnValidate, store, OnChange, the data sources' OnDataChange).
#include <cstdint>
#include <functional>
#include <string>

#include "platform/rtl/datapacket.h"
#include "platform/rtl/variant.h"

namespace kdr {

class TDataSet;
class TField;

using TFieldNotifyEvent = std::function<void(TField &)>;
// Text arrives pre-set to ""; whatever the handler leaves there is the result.
using TFieldGetTextEvent = std::function<void(TField &, std::string &text, bool displayText)>;
using TFieldSetTextEvent = std::function<void(TField &, const std::string &text)>;

class TField {
public:
  TField(TDataSet &dataSet, std::string fieldName, FieldType type, int size = 0);
  virtual ~TField() = default;
  TField(const TField &) = delete;
  TField &operator=(const TField &) = delete;

  std::string Name; // component name, e.g. "cdsParamFatCliCDCLIENTE"

  TDataSet &DataSet() const { return *dataSet_; }
  const std::string &FieldName() const { return fieldName_; }
  FieldType DataType() const { return type_; }
  // Position in the dataset's field list.
  int Index() const { return index_; }

  // Empty means the field name.
  const std::string &DisplayLabel() const { return displayLabel_.empty() ? fieldName_ : displayLabel_; }
  void SetDisplayLabel(std::string label);
  int DisplayWidth() const;
  void SetDisplayWidth(int width);
  int Size() const { return size_; }
  void SetSize(int size) { size_ = size; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  bool Required() const { return required_; }
  void SetRequired(bool required) { required_ = required; }
  const std::string &EditMask() const { return editMask_; }
  void SetEditMask(std::string mask) { editMask_ = std::move(mask); }

  // Raw values: never pass through OnGetText or OnSetText.
  const Variant &Value() const;
  void SetValue(const Variant &value);
  const Variant &AsVariant() const { return Value(); }
  void SetAsVariant(const Variant &value) { SetValue(value); }
  bool IsNull() const { return Value().isEmpty(); }
  void Clear() { SetValue(Variant(nullptr)); }
  virtual std::string AsString() const;
  void SetAsString(const std::string &text) { SetValue(Variant(text)); }
  virtual std::int64_t AsInteger() const;
  void SetAsInteger(std::int64_t value) { SetValue(Variant(value)); }
  double AsFloat() const { return Value().asFloat(); }
  void SetAsFloat(double value) { SetValue(Variant(value)); }
  bool AsBoolean() const { return Value().asBoolean(); }
  void SetAsBoolean(bool value) { SetValue(Variant(value)); }

  // The editing text and the display text, through OnGetText when assigned.
  std::string Text() const { return textOf(false); }
  std::string DisplayText() const { return textOf(true); }
  // Through OnSetText when assigned; the handler alone decides what is stored.
  void SetText(const std::string &text);
  // Puts the focus into the first data-aware control showing this field (a grid selects its
  // column); nothing happens when no control can take it.
  void FocusControl();

  // The value as of the last load or merge (null for a row not yet merged in); NewValue is Value.
  Variant OldValue() const;
  const Variant &NewValue() const { return Value(); }

  TFieldGetTextEvent OnGetText;
  TFieldSetTextEvent OnSetText;
  TFieldNotifyEvent OnChange;
  TFieldNotifyEvent OnValidate;

  // The value as this field stores it (strings cut to Size, "" as null, text parsed as a number);
  // raises EConvertError for a value the type cannot hold.
  virtual Variant convert(const Variant &value) const;
  void setIndex(int index) { index_ = index; }

protected:
  // The field's own text when no OnGetText is assigned.
  virtual std::string formatText(bool displayText) const {
    (void)displayText;
    return AsString();
  }

private:
  std::string textOf(bool displayText) const;

  TDataSet *dataSet_;
  std::string fieldName_;
  FieldType type_;
  int size_;
  int index_ = -1;
  std::string displayLabel_;
  int displayWidth_ = 0;
  bool visible_ = true;
  bool readOnly_ = false;
  bool required_ = false;
  std::string editMask_;
};

// Size counts characters; a longer text is cut to Size, and "" is stored as null.
class TStringField : public TField {
public:
  TStringField(TDataSet &dataSet, std::string fieldName, int size);
  std::int64_t AsInteger() const override;
  Variant convert(const Variant &value) const override;
};

class TIntegerField : public TField {
public:
  TIntegerField(TDataSet &dataSet, std::string fieldName);
  Variant convert(const Variant &value) const override;
};

// Text uses the Brazilian separators: DisplayFormat "#,##0.00" shows 1234.5 as "1.234,50" and
// the editing text drops the grouping ("1234,50"). Written text takes one decimal separator,
// "," or "."; "" stores null; grouping is refused.
class TFloatField : public TField {
public:
  TFloatField(TDataSet &dataSet, std::string fieldName);
  const std::string &DisplayFormat() const { return displayFormat_; }
  void SetDisplayFormat(std::string format) { displayFormat_ = std::move(format); }
  const std::string &EditFormat() const { return editFormat_; }
  void SetEditFormat(std::string format) { editFormat_ = std::move(format); }
  std::string AsString() const override;
  Variant convert(const Variant &value) const override;

protected:
  std::string formatText(bool displayText) const override;

private:
  std::string displayFormat_;
  std::string editFormat_;
};

class TBooleanField : public TField {
public:
  TBooleanField(TDataSet &dataSet, std::string fieldName);
  Variant convert(const Variant &value) const override;
};

// Float formatting and parsing with the Brazilian separators, shared by the fields and the controls.
// A pattern of '#', '0', ',' and '.': grouping when it holds ',', the zeros set the minimum digits.
// Rounding is half away from zero on the shortest decimal form of the value.
std::string formatFloatPattern(double value, std::string_view pattern, bool grouping = true);
// "" gives null; one decimal separator, "," or "."; anything else raises EConvertError.
Variant parseFloatText(std::string_view text);

} // namespace kdr
