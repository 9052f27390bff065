#include "platform/data/dataset.h"

#include <algorithm>
#include <utility>

#include "platform/data/datasource.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/utf8.h"

namespace kdr {

namespace {

const Variant nullValue{nullptr};

} // namespace

std::vector<std::string_view> splitFieldNames(std::string_view names) {
  std::vector<std::string_view> out;
  while (!names.empty()) {
    const auto semi = names.find(';');
    std::string_view name = names.substr(0, semi);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (!name.empty()) out.push_back(name);
    if (semi == std::string_view::npos) break;
    names.remove_prefix(semi + 1);
  }
  return out;
}

TDataSet::TDataSet(TComponent *owner) : TComponent(owner) {}

TDataSet::~TDataSet() {
  for (auto *source : std::vector<TDataSource *>(sources_)) source->dataSetDestroyed();
}

TField &TDataSet::addField(std::unique_ptr<TField> field) {
  if (Active()) throw EDatabaseError("Operação não permitida com o conjunto de dados aberto");
  if (FindField(field->FieldName()))
    throw EDatabaseError("Campo '" + field->FieldName() + "' declarado duas vezes");
  field->setIndex(static_cast<int>(declared_.size()));
  declared_.push_back(std::move(field));
  fieldList_.push_back(declared_.back().get());
  return *declared_.back();
}

TStringField &TDataSet::AddStringField(std::string fieldName, int size) {
  return static_cast<TStringField &>(
      addField(std::make_unique<TStringField>(*this, std::move(fieldName), size)));
}

TIntegerField &TDataSet::AddIntegerField(std::string fieldName) {
  return static_cast<TIntegerField &>(addField(std::make_unique<TIntegerField>(*this, std::move(fieldName))));
}

TFloatField &TDataSet::AddFloatField(std::string fieldName) {
  return static_cast<TFloatField &>(addField(std::make_unique<TFloatField>(*this, std::move(fieldName))));
}

TBooleanField &TDataSet::AddBooleanField(std::string fieldName) {
  return static_cast<TBooleanField &>(addField(std::make_unique<TBooleanField>(*this, std::move(fieldName))));
}

TField *TDataSet::FindField(std::string_view fieldName) const {
  for (TField *field : fieldList_)
    if (utf8::sameText(field->FieldName(), fieldName)) return field;
  return nullptr;
}

TField &TDataSet::FieldByName(std::string_view fieldName) const {
  if (TField *field = FindField(fieldName)) return *field;
  throw EDatabaseError("Campo '" + std::string(fieldName) + "' não encontrado");
}

void TDataSet::createFields(const std::vector<FieldDef> &defs) {
  std::vector<FieldDef> copy = defs;
  destroyDynamicFields();
  for (const auto &def : copy) {
    std::unique_ptr<TField> field;
    switch (def.type) {
    case FieldType::String:
      field = std::make_unique<TStringField>(*this, def.name, def.size);
      break;
    case FieldType::Integer:
      field = std::make_unique<TIntegerField>(*this, def.name);
      break;
    case FieldType::Float:
      field = std::make_unique<TFloatField>(*this, def.name);
      break;
    case FieldType::Boolean:
      field = std::make_unique<TBooleanField>(*this, def.name);
      break;
    }
    field->SetRequired(def.required);
    field->setIndex(static_cast<int>(dynamic_.size()));
    fieldList_.push_back(field.get());
    dynamic_.push_back(std::move(field));
  }
  fieldDefs_ = std::move(copy);
}

void TDataSet::destroyDynamicFields() {
  if (dynamic_.empty()) return;
  fieldList_.clear();
  dynamic_.clear();
}

// ---- state and events

void TDataSet::setState(TDataSetState state) {
  if (state_ == state) return;
  state_ = state;
  modified_ = false;
  dataEvent(TDataEvent::UpdateState);
}

void TDataSet::dataEvent(TDataEvent event, TField *field) {
  if (event != TDataEvent::UpdateState && (state_ == dsInactive || controlsDisabled_ > 0)) return;
  for (auto *source : std::vector<TDataSource *>(sources_)) source->dataEvent(event, field);
}

void TDataSet::EnableControls() {
  if (controlsDisabled_ > 0 && --controlsDisabled_ == 0) dataEvent(TDataEvent::DataSetChange);
}

bool TDataSet::focusControl(TField &field) {
  if (state_ == dsInactive) return false;
  for (auto *source : std::vector<TDataSource *>(sources_))
    if (source->focusControl(field)) return true;
  return false;
}

void TDataSet::attachSource(TDataSource *source) { sources_.push_back(source); }

void TDataSet::detachSource(TDataSource *source) { std::erase(sources_, source); }

void TDataSet::checkActive() const {
  if (!Active()) throw EDatabaseError("Operação não permitida com o conjunto de dados fechado");
}

void TDataSet::checkEditing() const {
  if (state_ != dsEdit && state_ != dsInsert)
    throw EDatabaseError("O conjunto de dados não está em edição nem em inclusão");
}

void TDataSet::checkCanModify() const {
  if (readOnly_) throw EDatabaseError("O conjunto de dados é somente leitura");
}

void TDataSet::checkRequired() const {
  for (TField *field : fieldList_)
    if (field->Required() && buffer_[field->Index()].isEmpty())
      throw EDatabaseError("O campo '" + field->DisplayLabel() + "' deve ser informado");
}

void TDataSet::resetCursor(std::size_t pos) {
  const std::size_t count = viewCount();
  pos_ = count == 0 ? 0 : std::min(pos, count - 1);
  eof_ = bof_ = count == 0;
}

void TDataSet::scrolled() {
  dataEvent(TDataEvent::DataSetScroll);
  fire(AfterScroll);
}

// ---- field values

const Variant &TDataSet::fieldValue(const TField &field) const {
  if (state_ == dsInactive) return nullValue;
  const auto column = static_cast<std::size_t>(field.Index());
  const bool editing = state_ == dsEdit || state_ == dsInsert;
  std::size_t row = pos_;
  if (displayRow_ >= 0) {
    row = static_cast<std::size_t>(displayRow_);
    if (state_ == dsInsert && row == insertPos_) return buffer_[column];
    if (state_ == dsInsert && row > insertPos_) --row;
    if (state_ == dsEdit && row == pos_) return buffer_[column];
  } else if (editing) {
    return buffer_[column];
  }
  return row < viewCount() ? viewRow(row)[column] : nullValue;
}

void TDataSet::setFieldValue(TField &field, Variant value) {
  checkEditing();
  Variant &slot = buffer_[field.Index()];
  if (field.OnValidate) {
    // The handler reads the value being written; raising keeps the old one.
    Variant previous = std::exchange(slot, std::move(value));
    try {
      field.OnValidate(field);
    } catch (...) {
      slot = std::move(previous);
      throw;
    }
  } else {
    slot = std::move(value);
  }
  modified_ = true;
  if (field.OnChange) field.OnChange(field);
  dataEvent(TDataEvent::FieldChange, &field);
}

Variant TDataSet::oldFieldValue(const TField &field) const { return fieldValue(field); }

// ---- open and close

void TDataSet::Open() {
  if (Active()) return;
  fire(BeforeOpen);
  internalOpen();
  buffer_.clear();
  resetCursor(0);
  setState(dsBrowse);
  fire(AfterOpen);
  if (viewCount() > 0) fire(AfterScroll);
}

void TDataSet::Close() {
  if (!Active()) return;
  fire(BeforeClose);
  // A pending edit is dropped without Cancel events: closing is not cancelling.
  buffer_.clear();
  setState(dsInactive);
  internalClose();
  resetCursor(0);
  fire(AfterClose);
}

// ---- counting

bool TDataSet::IsEmpty() const {
  if (!Active()) return true;
  return state_ != dsInsert && viewCount() == 0;
}

std::size_t TDataSet::RecordCount() const { return Active() ? viewCount() : 0; }

std::size_t TDataSet::RecNo() const {
  if (!Active()) return 0;
  if (state_ == dsInsert) return insertPos_ + 1;
  return viewCount() == 0 ? 0 : pos_ + 1;
}

std::size_t TDataSet::displayRowCount() const {
  return Active() ? viewCount() + (state_ == dsInsert ? 1 : 0) : 0;
}

std::size_t TDataSet::currentDisplayRow() const { return state_ == dsInsert ? insertPos_ : pos_; }

TDataSet::DisplayRow::DisplayRow(TDataSet &dataSet, std::size_t row)
    : dataSet_(dataSet), previous_(dataSet.displayRow_) {
  dataSet.displayRow_ = static_cast<long>(row);
}

TDataSet::DisplayRow::~DisplayRow() { dataSet_.displayRow_ = previous_; }

// ---- moving

void TDataSet::CheckBrowseMode() {
  checkActive();
  dataEvent(TDataEvent::CheckBrowseMode);
  if (state_ == dsEdit || state_ == dsInsert) {
    UpdateRecord();
    if (modified_)
      postRecord();
    else
      Cancel();
  }
}

void TDataSet::UpdateRecord() {
  checkEditing();
  dataEvent(TDataEvent::UpdateRecord);
}

void TDataSet::First() {
  CheckBrowseMode();
  fire(BeforeScroll);
  resetCursor(0);
  bof_ = true;
  scrolled();
}

void TDataSet::Last() {
  CheckBrowseMode();
  fire(BeforeScroll);
  fetchAll();
  const std::size_t count = viewCount();
  resetCursor(count == 0 ? 0 : count - 1);
  eof_ = true;
  scrolled();
}

void TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  fire(BeforeScroll);
  if (distance == 0 || (distance > 0 && eof_) || (distance < 0 && bof_)) return;
  const long target = static_cast<long>(pos_) + distance;
  while (target >= static_cast<long>(viewCount()) && fetchMore()) {
  }
  const auto count = static_cast<long>(viewCount());
  eof_ = target >= count;
  bof_ = target < 0;
  pos_ = static_cast<std::size_t>(std::clamp(target, 0L, std::max(count - 1, 0L)));
  scrolled();
}

bool TDataSet::Locate(std::string_view keyFields, const Variant &keyValues, TLocateOptions options) {
  checkActive();
  std::vector<const TField *> fields;
  for (auto name : splitFieldNames(keyFields)) fields.push_back(&FieldByName(name));
  std::vector<Variant> keys;
  if (fields.size() == 1 && !keyValues.isArray()) {
    keys.push_back(keyValues);
  } else {
    if (!keyValues.isArray() || keyValues.array().size() != fields.size())
      throw EDatabaseError("A busca precisa de um valor para cada um dos campos '" + std::string(keyFields) +
                           "'");
    keys = keyValues.array();
  }
  for (std::size_t i = 0; i < keys.size(); ++i) {
    keys[i] = fields[i]->convert(keys[i]);
    if ((options & loCaseInsensitive) && keys[i].isString()) keys[i] = Variant(utf8::foldCase(keys[i].str()));
  }
  fire(BeforeScroll);
  CheckBrowseMode();
  for (std::size_t pos = 0; pos < viewCount() || fetchMore(); ++pos) {
    if (!matches(viewRow(pos), fields, keys, options)) continue;
    resetCursor(pos);
    scrolled();
    return true;
  }
  return false;
}

bool TDataSet::matches(const std::vector<Variant> &row, const std::vector<const TField *> &fields,
                       const std::vector<Variant> &keys, TLocateOptions options) const {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const Variant &value = row[fields[i]->Index()];
    const Variant &key = keys[i];
    if (key.isEmpty() || value.isEmpty()) {
      if (key.isEmpty() != value.isEmpty()) return false;
      continue;
    }
    if (!key.isString() || !value.isString()) {
      if (!(key == value)) return false;
      continue;
    }
    const std::string folded = (options & loCaseInsensitive) ? utf8::foldCase(value.str()) : std::string();
    std::string_view text = (options & loCaseInsensitive) ? std::string_view(folded) : value.str();
    const std::string &wanted = key.str();
    if ((options & loPartialKey) ? !text.starts_with(wanted) : text != wanted) return false;
  }
  return true;
}

// ---- changing

void TDataSet::Edit() {
  checkActive();
  if (state_ == dsEdit || state_ == dsInsert) return;
  if (viewCount() == 0) return Insert();
  CheckBrowseMode();
  checkCanModify();
  fire(BeforeEdit);
  buffer_ = viewRow(pos_);
  setState(dsEdit);
  dataEvent(TDataEvent::RecordChange);
  fire(AfterEdit);
}

void TDataSet::insertRecord(bool append) {
  CheckBrowseMode();
  checkCanModify();
  fire(BeforeInsert);
  fire(BeforeScroll);
  insertPos_ = append ? viewCount() : std::min(pos_, viewCount());
  buffer_.assign(fieldList_.size(), Variant(nullptr));
  eof_ = bof_ = false;
  setState(dsInsert);
  try {
    fire(OnNewRecord);
  } catch (...) {
    buffer_.clear();
    resetCursor(pos_);
    setState(dsBrowse);
    dataEvent(TDataEvent::DataSetChange);
    throw;
  }
  modified_ = false;
  dataEvent(TDataEvent::DataSetChange);
  fire(AfterInsert);
  fire(AfterScroll);
}

void TDataSet::Post() {
  UpdateRecord();
  postRecord();
}

void TDataSet::postRecord() {
  dataEvent(TDataEvent::CheckBrowseMode);
  fire(BeforePost);
  checkRequired();
  const bool inserting = state_ == dsInsert;
  pos_ = internalPost(inserting ? insertPos_ : pos_, inserting, buffer_);
  buffer_.clear();
  eof_ = bof_ = false;
  setState(dsBrowse);
  dataEvent(TDataEvent::DataSetChange);
  fire(AfterPost);
}

void TDataSet::Cancel() {
  if (state_ != dsEdit && state_ != dsInsert) return;
  dataEvent(TDataEvent::CheckBrowseMode);
  fire(BeforeCancel);
  // The record that was current before an insert never left its place in the view.
  buffer_.clear();
  resetCursor(pos_);
  setState(dsBrowse);
  dataEvent(TDataEvent::DataSetChange);
  fire(AfterCancel);
}

void TDataSet::Delete() {
  checkActive();
  if (state_ == dsInsert) return Cancel();
  if (viewCount() == 0) throw EDatabaseError("Operação não permitida com o conjunto de dados vazio");
  checkCanModify();
  dataEvent(TDataEvent::CheckBrowseMode);
  fire(BeforeDelete);
  fire(BeforeScroll);
  internalDelete(pos_);
  buffer_.clear();
  resetCursor(pos_);
  setState(dsBrowse);
  dataEvent(TDataEvent::DataSetChange);
  fire(AfterDelete);
  fire(AfterScroll);
}

} // namespace kdr
