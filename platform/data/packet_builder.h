#pragma once
// Assembles a data packet from decoded parts and checks that it is consistent: known types, one
// value per field in every row, each value of its field's type and within its size. Shared by
// every decoder of the JSON form, so they all accept and refuse the same packets.
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/rtl/datapacket.h"

namespace kdr {

std::string_view fieldTypeName(FieldType type);
FieldType fieldTypeFromName(std::string_view name, std::string_view fieldName);
std::string_view rowStatusName(RowStatus status);
RowStatus rowStatusFromName(std::string_view name, std::size_t rowIndex);

class PacketBuilder {
public:
  void addField(FieldDef def);
  // Called once every field is known; rows added before are checked then.
  void fieldsComplete();
  void addRow(PacketRow row);
  std::size_t fieldCount() const { return packet_.fields.size(); }
  // The packet as a variant; raises when a field list was never given.
  Variant finish();

private:
  void checkRow(PacketRow &row, std::size_t index) const;

  DataPacket packet_;
  bool fieldsComplete_ = false;
};

} // namespace kdr
