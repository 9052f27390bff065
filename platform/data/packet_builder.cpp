#include "platform/data/packet_builder.h"

#include "platform/rtl/exceptions.h"
#include "platform/rtl/utf8.h"

namespace kdr {

namespace {

constexpr std::string_view typeNames[] = {"string", "integer", "float", "boolean"};
constexpr std::string_view statusNames[] = {"unmodified", "modified", "inserted", "deleted"};

[[noreturn]] void invalid(const std::string &what) { throw EConvertError("Invalid data packet: " + what); }

bool fits(Variant &v, const FieldDef &field, RowStatus status) {
  switch (v.kind()) {
  case Variant::Kind::Null:
    return true;
  case Variant::Kind::Unassigned:
    return status == RowStatus::Modified;
  case Variant::Kind::String:
    return field.type == FieldType::String;
  case Variant::Kind::Integer:
    if (field.type == FieldType::Float) v = Variant(v.asFloat());
    return field.type == FieldType::Integer || field.type == FieldType::Float;
  case Variant::Kind::Float:
    return field.type == FieldType::Float;
  case Variant::Kind::Boolean:
    return field.type == FieldType::Boolean;
  default:
    return false;
  }
}

} // namespace

std::string_view fieldTypeName(FieldType type) { return typeNames[static_cast<int>(type)]; }

FieldType fieldTypeFromName(std::string_view name, std::string_view fieldName) {
  for (int i = 0; i < 4; ++i)
    if (typeNames[i] == name) return static_cast<FieldType>(i);
  invalid("field '" + std::string(fieldName) + "' has unknown type \"" + std::string(name) + "\"");
}

std::string_view rowStatusName(RowStatus status) { return statusNames[static_cast<int>(status)]; }

RowStatus rowStatusFromName(std::string_view name, std::size_t rowIndex) {
  for (int i = 0; i < 4; ++i)
    if (statusNames[i] == name) return static_cast<RowStatus>(i);
  invalid("row " + std::to_string(rowIndex + 1) + " has unknown status \"" + std::string(name) + "\"");
}

void PacketBuilder::addField(FieldDef def) {
  if (def.name.empty()) invalid("field " + std::to_string(packet_.fields.size() + 1) + " has no name");
  if (packet_.fieldIndex(def.name) >= 0) invalid("field '" + def.name + "' appears twice");
  packet_.fields.push_back(std::move(def));
}

void PacketBuilder::fieldsComplete() {
  fieldsComplete_ = true;
  for (std::size_t i = 0; i < packet_.rows.size(); ++i) checkRow(packet_.rows[i], i);
}

void PacketBuilder::addRow(PacketRow row) {
  if (fieldsComplete_) checkRow(row, packet_.rows.size());
  packet_.rows.push_back(std::move(row));
}

Variant PacketBuilder::finish() {
  if (!fieldsComplete_) invalid("no field list");
  return makePacketVariant(std::move(packet_));
}

void PacketBuilder::checkRow(PacketRow &row, std::size_t index) const {
  const auto where = [index] { return "row " + std::to_string(index + 1); };
  if (row.values.size() != packet_.fields.size())
    invalid(where() + " has " + std::to_string(row.values.size()) + " values for " +
            std::to_string(packet_.fields.size()) + " fields");
  for (std::size_t c = 0; c < row.values.size(); ++c) {
    const FieldDef &field = packet_.fields[c];
    Variant &v = row.values[c];
    if (!fits(v, field, row.status))
      invalid(where() + ", field '" + field.name + "': " + v.debugString() + " is not a valid " +
              std::string(fieldTypeName(field.type)) + " value");
    // Byte count bounds the character count, so short texts skip the decoding.
    if (v.isString() && field.size > 0 && v.str().size() > static_cast<std::size_t>(field.size) &&
        utf8::length(v.str()) > static_cast<std::size_t>(field.size))
      invalid(where() + ", field '" + field.name + "': text longer than " + std::to_string(field.size) +
              " characters");
  }
}

} // namespace kdr
