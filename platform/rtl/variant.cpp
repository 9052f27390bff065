#include "platform/rtl/variant.h"

#include <charconv>
#include <cmath>

#include "platform/rtl/datapacket.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/utf8.h"

namespace kdr {

Variant::Variant(PacketPtr p) : v_(std::monostate{}) {
  if (p) v_ = std::move(p);
}

Variant Variant::unassigned() { return Variant(UnassignedTag{}); }

std::string formatFloat(double d) {
  if (d == 0) return "0";
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, res.ptr);
}

namespace {

std::int64_t parseInteger(const std::string &s) {
  // Leading blanks are tolerated, trailing ones are not, as the classic conversion does.
  std::size_t start = s.find_first_not_of(' ');
  if (start == std::string::npos) throw EConvertError("'" + s + "' não é um número inteiro válido");
  const char *first = s.data() + start;
  if (*first == '+') ++first;
  std::int64_t value = 0;
  auto res = std::from_chars(first, s.data() + s.size(), value);
  if (res.ec != std::errc() || res.ptr != s.data() + s.size())
    throw EConvertError("'" + s + "' não é um número inteiro válido");
  return value;
}

double parseFloat(const std::string &s) {
  double value = 0;
  auto res = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || res.ec != std::errc() || res.ptr != s.data() + s.size())
    throw EConvertError("'" + s + "' não é um número válido");
  return value;
}

} // namespace

std::string Variant::asString() const {
  switch (kind()) {
  case Kind::Unassigned:
  case Kind::Null:
    return {};
  case Kind::Boolean:
    return std::get<bool>(v_) ? "True" : "False";
  case Kind::Integer:
    return std::to_string(std::get<std::int64_t>(v_));
  case Kind::Float:
    return formatFloat(std::get<double>(v_));
  case Kind::String:
    return std::get<std::string>(v_);
  default:
    throw EConvertError("Conversão de tipo inválida");
  }
}

std::int64_t Variant::asInteger() const {
  switch (kind()) {
  case Kind::Unassigned:
  case Kind::Null:
    return 0;
  case Kind::Boolean:
    return std::get<bool>(v_) ? 1 : 0;
  case Kind::Integer:
    return std::get<std::int64_t>(v_);
  case Kind::Float:
    return static_cast<std::int64_t>(std::llround(std::get<double>(v_)));
  case Kind::String:
    return parseInteger(std::get<std::string>(v_));
  default:
    throw EConvertError("Conversão de tipo inválida");
  }
}

double Variant::asFloat() const {
  switch (kind()) {
  case Kind::Unassigned:
  case Kind::Null:
    return 0;
  case Kind::Boolean:
    return std::get<bool>(v_) ? 1 : 0;
  case Kind::Integer:
    return static_cast<double>(std::get<std::int64_t>(v_));
  case Kind::Float:
    return std::get<double>(v_);
  case Kind::String:
    return parseFloat(std::get<std::string>(v_));
  default:
    throw EConvertError("Conversão de tipo inválida");
  }
}

bool Variant::asBoolean() const {
  switch (kind()) {
  case Kind::Unassigned:
  case Kind::Null:
    return false;
  case Kind::Boolean:
    return std::get<bool>(v_);
  case Kind::Integer:
    return std::get<std::int64_t>(v_) != 0;
  case Kind::Float:
    return std::get<double>(v_) != 0;
  case Kind::String: {
    const auto &s = std::get<std::string>(v_);
    if (utf8::sameText(s, "true")) return true;
    if (utf8::sameText(s, "false")) return false;
    return parseInteger(s) != 0;
  }
  default:
    throw EConvertError("Conversão de tipo inválida");
  }
}

const std::string &Variant::str() const {
  if (auto p = std::get_if<std::string>(&v_)) return *p;
  throw EConvertError("Variant is not a string");
}

const Variant::Array &Variant::array() const {
  if (auto p = std::get_if<Array>(&v_)) return *p;
  throw EConvertError("Variant is not an array");
}

Variant::Array &Variant::array() {
  if (auto p = std::get_if<Array>(&v_)) return *p;
  throw EConvertError("Variant is not an array");
}

const PacketPtr &Variant::packet() const {
  if (auto p = std::get_if<PacketPtr>(&v_)) return *p;
  throw EConvertError("Variant is not a data packet");
}

bool Variant::operator==(const Variant &other) const {
  if (kind() == Kind::Packet && other.kind() == Kind::Packet) {
    const auto &a = packet(), &b = other.packet();
    return a == b || *a == *b;
  }
  return v_ == other.v_;
}

std::string Variant::debugString() const {
  switch (kind()) {
  case Kind::Unassigned:
    return "unassigned";
  case Kind::Null:
    return "null";
  case Kind::String:
    return "\"" + str() + "\"";
  case Kind::Array: {
    std::string out = "[";
    for (const auto &item : array()) out += (out.size() > 1 ? ", " : "") + item.debugString();
    return out + "]";
  }
  case Kind::Packet:
    return "<packet of " + std::to_string(packet()->rows.size()) + " rows>";
  default:
    return asString();
  }
}

int DataPacket::fieldIndex(std::string_view name) const {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (utf8::sameText(fields[i].name, name)) return static_cast<int>(i);
  return -1;
}

Variant makePacketVariant(DataPacket packet) {
  // Built non-const, so that a sole owner (a dataset loading it) may take its rows by move.
  return Variant(PacketPtr(std::make_shared<DataPacket>(std::move(packet))));
}

} // namespace kdr
