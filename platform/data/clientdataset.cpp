#include "platform/data/clientdataset.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "platform/rtl/exceptions.h"

namespace kdr {

namespace {

// Ascending order of index keys: null first, then by value; strings by code point.
int compareValues(const Variant &a, const Variant &b) {
  if (a.isEmpty() || b.isEmpty()) return a.isEmpty() == b.isEmpty() ? 0 : (a.isEmpty() ? -1 : 1);
  if (a.isString() && b.isString()) return a.str().compare(b.str());
  const double x = a.asFloat(), y = b.asFloat();
  return x < y ? -1 : (y < x ? 1 : 0);
}

} // namespace

TClientDataSet::TClientDataSet(TComponent *owner) : TDataSet(owner) {}

TClientDataSet::~TClientDataSet() = default;

// ---- loading

void TClientDataSet::SetData(Variant data) {
  Close();
  if (data.isEmpty()) return;
  if (!data.isPacket()) throw EDatabaseError("Invalid data packet");
  pending_ = std::move(data);
  Open();
}

void TClientDataSet::CreateDataSet() {
  if (Active()) throw EDatabaseError("Operação não permitida com o conjunto de dados aberto");
  DataPacket packet;
  if (hasDeclaredFields())
    for (TField *field : Fields())
      packet.fields.push_back({field->FieldName(), field->DataType(), field->Size(), field->Required()});
  else
    packet.fields = FieldDefs();
  pending_ = makePacketVariant(std::move(packet));
  Open();
}

void TClientDataSet::internalOpen() {
  if (!pending_.isPacket()) throw EDatabaseError("O conjunto de dados não tem dados para abrir");
  Variant data = std::exchange(pending_, Variant(nullptr));
  try {
    loadPacket(std::move(data));
  } catch (...) {
    internalClose();
    throw;
  }
}

void TClientDataSet::internalClose() {
  records_.clear();
  view_.clear();
  baseline_.clear();
  log_.clear();
  destroyDynamicFields();
}

void TClientDataSet::loadPacket(Variant data) {
  if (!hasDeclaredFields()) createFields(data.packet()->fields);
  records_.clear();
  appendRecords(std::move(data));
  view_.resize(records_.size());
  std::iota(view_.begin(), view_.end(), 0u);
  SetIndexFieldNames(indexFieldNames_);
  sortView();
  baseline_ = view_;
}

void TClientDataSet::AppendData(Variant data) {
  if (!Active()) throw EDatabaseError("Operação não permitida com o conjunto de dados fechado");
  if (!data.isPacket()) throw EDatabaseError("Invalid data packet");
  const bool hadRow = !view_.empty();
  const std::uint32_t current = hadRow ? view_[cursor()] : 0;
  const auto first = static_cast<std::uint32_t>(records_.size());
  appendRecords(std::move(data));
  for (auto id = first; id < records_.size(); ++id) {
    view_.push_back(id);
    baseline_.push_back(id);
  }
  sortView();
  const auto at = hadRow ? std::find(view_.begin(), view_.end(), current) : view_.begin();
  resetCursor(static_cast<std::size_t>(at - view_.begin()));
  dataEvent(TDataEvent::DataSetChange);
}

void TClientDataSet::appendRecords(Variant data) {
  const PacketPtr &shared = data.packet();
  // A packet nobody else holds gives its rows up instead of copying them; packets are built
  // non-const (makePacketVariant), so this is a move out of a mutable object.
  const bool owned = shared.use_count() == 1;
  auto &packet = const_cast<DataPacket &>(*shared);

  // Column of the packet behind each field; declared fields may be fewer or in another order.
  std::vector<std::size_t> columns;
  bool sameLayout = packet.fields.size() == Fields().size();
  for (TField *field : Fields()) {
    const int column = packet.fieldIndex(field->FieldName());
    if (column < 0) throw EDatabaseError("Campo '" + field->FieldName() + "' não encontrado");
    sameLayout = sameLayout && column == field->Index() && packet.fields[column].type == field->DataType();
    columns.push_back(static_cast<std::size_t>(column));
  }

  records_.reserve(records_.size() + packet.rows.size());
  for (std::size_t r = 0; r < packet.rows.size(); ++r) {
    auto &values = packet.rows[r].values;
    if (values.size() != packet.fields.size())
      throw EDatabaseError("Invalid data packet: row " + std::to_string(r + 1) + " has " +
                           std::to_string(values.size()) + " values for " +
                           std::to_string(packet.fields.size()) + " fields");
    Record record;
    if (sameLayout) {
      record.values = owned ? std::move(values) : values;
      normalizeStrings(record.values);
    } else {
      record.values.reserve(columns.size());
      for (TField *field : Fields()) record.values.push_back(field->convert(values[columns[field->Index()]]));
    }
    records_.push_back(std::move(record));
  }
}

// Strings as a string field stores them: "" is null, cut to size; unassigned reads as null.
void TClientDataSet::normalizeStrings(std::vector<Variant> &values) const {
  for (TField *field : Fields()) {
    Variant &v = values[field->Index()];
    if (v.isUnassigned()) v = Variant(nullptr);
    if (!v.isString() || field->DataType() != FieldType::String) continue;
    const auto size = static_cast<std::size_t>(field->Size());
    if (v.str().empty() || (size > 0 && v.str().size() > size)) v = field->convert(v);
  }
}

Variant TClientDataSet::Data() const {
  DataPacket packet = emptyPacket();
  packet.rows.reserve(view_.size());
  for (auto id : view_) packet.rows.push_back({RowStatus::Unmodified, records_[id].values});
  return makePacketVariant(std::move(packet));
}

DataPacket TClientDataSet::emptyPacket() const {
  DataPacket packet;
  for (TField *field : Fields())
    packet.fields.push_back({field->FieldName(), field->DataType(), field->Size(), field->Required()});
  return packet;
}

void TClientDataSet::EmptyDataSet() {
  Cancel();
  if (view_.empty() && log_.empty()) return;
  records_.clear();
  view_.clear();
  baseline_.clear();
  log_.clear();
  resetCursor(0);
  dataEvent(TDataEvent::DataSetChange);
}

// ---- index

void TClientDataSet::SetIndexFieldNames(std::string names) {
  std::vector<int> fields;
  if (Active() || !Fields().empty()) {
    for (auto name : splitFieldNames(names)) fields.push_back(FieldByName(name).Index());
  }
  indexFieldNames_ = std::move(names);
  indexFields_ = std::move(fields);
  if (!Active()) return;
  if (!indexFields_.empty()) fetchAll();
  if (view_.empty()) return;
  const std::uint32_t current = view_[cursor()];
  sortView();
  resetCursor(static_cast<std::size_t>(std::find(view_.begin(), view_.end(), current) - view_.begin()));
  dataEvent(TDataEvent::DataSetChange);
}

bool TClientDataSet::recordLess(std::uint32_t a, std::uint32_t b) const {
  for (int column : indexFields_) {
    const int c = compareValues(records_[a].values[column], records_[b].values[column]);
    if (c != 0) return c < 0;
  }
  return a < b; // ties keep the order of arrival
}

void TClientDataSet::sortView() {
  if (indexFields_.empty()) return;
  std::sort(view_.begin(), view_.end(), [this](auto a, auto b) { return recordLess(a, b); });
}

std::size_t TClientDataSet::placeInView(std::uint32_t record, std::size_t pos) {
  if (indexFields_.empty()) return pos;
  view_.erase(view_.begin() + static_cast<long>(pos));
  auto at = std::lower_bound(view_.begin(), view_.end(), record,
                             [this](auto a, auto b) { return recordLess(a, b); });
  return static_cast<std::size_t>(view_.insert(at, record) - view_.begin());
}

// ---- posting and the change log

std::size_t TClientDataSet::internalPost(std::size_t pos, bool inserting, std::vector<Variant> values) {
  std::uint32_t id;
  if (inserting) {
    id = static_cast<std::uint32_t>(records_.size());
    records_.push_back({std::move(values), {}, logChanges_ ? Change::Inserted : Change::None});
    view_.insert(view_.begin() + static_cast<long>(pos), id);
    if (logChanges_) logChange(id);
  } else {
    id = view_[pos];
    Record &record = records_[id];
    if (logChanges_ && record.change == Change::None) {
      record.original = std::move(record.values);
      record.change = Change::Modified;
      logChange(id);
    }
    record.values = std::move(values);
  }
  pos = placeInView(id, pos);
  if (!logChanges_) rebuildBaseline();
  return pos;
}

void TClientDataSet::internalDelete(std::size_t pos) {
  const std::uint32_t id = view_[pos];
  view_.erase(view_.begin() + static_cast<long>(pos));
  Record &record = records_[id];
  if (!logChanges_ || record.change == Change::Inserted) {
    if (record.change == Change::Inserted) unlog(id);
    record = {{}, {}, Change::Dropped};
    if (!logChanges_) rebuildBaseline();
    return;
  }
  if (record.change == Change::None) {
    record.original = std::move(record.values);
    logChange(id);
  }
  record.values.clear();
  record.change = Change::Deleted;
}

// With logging off, changes go straight into the baseline.
void TClientDataSet::rebuildBaseline() {
  if (log_.empty()) {
    baseline_ = view_;
    return;
  }
  std::erase_if(baseline_, [this](auto id) { return records_[id].change == Change::Dropped; });
  for (auto id : view_)
    if (records_[id].change == Change::None &&
        std::find(baseline_.begin(), baseline_.end(), id) == baseline_.end())
      baseline_.push_back(id);
}

void TClientDataSet::logChange(std::uint32_t record) { log_.push_back(record); }

void TClientDataSet::unlog(std::uint32_t record) { std::erase(log_, record); }

Variant TClientDataSet::Delta() const {
  DataPacket packet = emptyPacket();
  for (auto id : log_) {
    const Record &record = records_[id];
    switch (record.change) {
    case Change::Inserted:
      packet.rows.push_back({RowStatus::Inserted, record.values});
      break;
    case Change::Deleted:
      packet.rows.push_back({RowStatus::Deleted, record.original});
      break;
    case Change::Modified: {
      packet.rows.push_back({RowStatus::Unmodified, record.original});
      PacketRow changed{RowStatus::Modified, {}};
      changed.values.reserve(record.values.size());
      for (std::size_t c = 0; c < record.values.size(); ++c)
        changed.values.push_back(record.values[c] == record.original[c] ? Variant::unassigned()
                                                                        : record.values[c]);
      packet.rows.push_back(std::move(changed));
      break;
    }
    default:
      break;
    }
  }
  return makePacketVariant(std::move(packet));
}

void TClientDataSet::MergeChangeLog() {
  for (auto id : log_) {
    Record &record = records_[id];
    if (record.change == Change::Deleted)
      record = {{}, {}, Change::Dropped};
    else
      record = {std::move(record.values), {}, Change::None};
  }
  log_.clear();
  baseline_ = view_;
}

void TClientDataSet::CancelUpdates() {
  if (!Active()) return;
  Cancel();
  const bool hadRow = !view_.empty();
  const std::uint32_t current = hadRow ? view_[cursor()] : 0;
  const std::size_t oldPos = cursor();
  for (auto id : log_) {
    Record &record = records_[id];
    if (record.change == Change::Inserted)
      record = {{}, {}, Change::Dropped};
    else
      record = {std::move(record.original), {}, Change::None};
  }
  log_.clear();
  view_ = baseline_;
  sortView();
  auto it = hadRow ? std::find(view_.begin(), view_.end(), current) : view_.end();
  resetCursor(it != view_.end() ? static_cast<std::size_t>(it - view_.begin()) : oldPos);
  dataEvent(TDataEvent::DataSetChange);
}

Variant TClientDataSet::oldFieldValue(const TField &field) const {
  if (State() == dsInsert || !Active() || view_.empty()) return Variant(nullptr);
  const Record &record = records_[view_[cursor()]];
  switch (record.change) {
  case Change::None:
    return record.values[field.Index()];
  case Change::Modified:
    return record.original[field.Index()];
  default:
    return Variant(nullptr);
  }
}

} // namespace kdr
