#pragma once
// A data packet: the rowset that travels between the application server and a client dataset.
// A plain packet holds unmodified rows. A delta (a dataset's change log) holds, in the order the
// changes were made: an inserted row with all its values; a deleted row with its original values;
// a modification as two rows, the original (status Unmodified, all original values) followed by the
// modified row where only changed fields hold values and the others are unassigned.
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/variant.h"

namespace kdr {

enum class FieldType { String, Integer, Float, Boolean };

struct FieldDef {
  std::string name;
  FieldType type = FieldType::String;
  int size = 0; // characters, for strings
  bool required = false;
  bool operator==(const FieldDef &) const = default;
};

enum class RowStatus { Unmodified, Modified, Inserted, Deleted };

struct PacketRow {
  RowStatus status = RowStatus::Unmodified;
  std::vector<Variant> values; // one per field, in field order
  bool operator==(const PacketRow &) const = default;
};

struct DataPacket {
  std::vector<FieldDef> fields;
  std::vector<PacketRow> rows;

  // Index of a field by name, case-insensitive; -1 when absent.
  int fieldIndex(std::string_view name) const;
  bool operator==(const DataPacket &) const = default;
};

// Wraps a packet into a variant.
Variant makePacketVariant(DataPacket packet);

} // namespace kdr
