#pragma once
// The variant that carries every value between the screens, the connection and the server:
// null, Boolean, integer, float, UTF-8 string, array of variants, or a data packet.
// Null and the empty string are distinct values. "Unassigned" marks a field left unchanged
// in a modified row of a delta, which is not the same as a field set to null.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kdr {

struct DataPacket;
using PacketPtr = std::shared_ptr<const DataPacket>;

class Variant {
public:
  enum class Kind { Unassigned, Null, Boolean, Integer, Float, String, Array, Packet };
  using Array = std::vector<Variant>;

  Variant() : v_(std::monostate{}) {}
  Variant(std::nullptr_t) : v_(std::monostate{}) {}
  Variant(bool b) : v_(b) {}
  Variant(int i) : v_(std::int64_t{i}) {}
  Variant(std::int64_t i) : v_(i) {}
  Variant(double d) : v_(d) {}
  Variant(const char *s) : v_(std::string(s)) {}
  Variant(std::string s) : v_(std::move(s)) {}
  Variant(std::string_view s) : v_(std::string(s)) {}
  Variant(Array a) : v_(std::move(a)) {}
  Variant(PacketPtr p);

  static Variant unassigned();

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  bool isNull() const { return kind() == Kind::Null; }
  bool isUnassigned() const { return kind() == Kind::Unassigned; }
  // Null or unassigned: no value at all.
  bool isEmpty() const { return isNull() || isUnassigned(); }
  bool isString() const { return kind() == Kind::String; }
  bool isArray() const { return kind() == Kind::Array; }
  bool isPacket() const { return kind() == Kind::Packet; }
  bool isNumber() const { return kind() == Kind::Integer || kind() == Kind::Float; }

  // Conversions in the classic way: null reads as "", 0 or false; a string that is not a
  // number raises EConvertError; an array or packet raises EConvertError.
  std::string asString() const;
  std::int64_t asInteger() const;
  double asFloat() const;
  bool asBoolean() const;

  // Direct access; raises EConvertError when the kind differs.
  const std::string &str() const;
  const Array &array() const;
  Array &array();
  const PacketPtr &packet() const;

  bool operator==(const Variant &other) const;

  // A short readable form for messages and test output: null, "text", 12, 1.5, [..], <packet>.
  std::string debugString() const;

private:
  struct UnassignedTag {
    bool operator==(const UnassignedTag &) const { return true; }
  };
  explicit Variant(UnassignedTag t) : v_(t) {}
  std::variant<UnassignedTag, std::monostate, bool, std::int64_t, double, std::string, Array, PacketPtr> v_;
};

// Formats a float for storage and the wire: shortest text that reads back to the same value,
// with "." as the decimal separator ("12.5", "0", "-3").
std::string formatFloat(double d);

} // namespace kdr
