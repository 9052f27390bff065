#include "platform/data/packet_json.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/data/packet_builder.h"
#include "platform/data/wire_keys.h"
#include "platform/rtl/datapacket.h"
#include "platform/rtl/exceptions.h"

namespace kdr {

namespace {

// Whether eight bytes of text, read as one word, need no escape: none is a control character, a
// quote or a backslash. Names and texts are mostly such runs, so they are passed over a word at a
// time instead of a byte at a time. Bytes of accented letters (0x80 and up) pass as they are.
bool plainWord(const char *at) {
  constexpr std::uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
  std::uint64_t w;
  std::memcpy(&w, at, sizeof w);
  auto hasZero = [](std::uint64_t v) { return (v - ones) & ~v & highs; };
  const std::uint64_t control = (w - ones * 0x20) & ~w & highs;
  return !(control | hasZero(w ^ (ones * '"')) | hasZero(w ^ (ones * '\\')));
}

} // namespace

// The text form is written straight from the variant: answers of the server are built this way
// for every request, and a document tree in between cost more than the query behind it.
void appendJsonString(std::string &out, std::string_view s) {
  static constexpr char hex[] = "0123456789abcdef";
  out += '"';
  std::size_t plain = 0; // start of the run not yet copied
  for (std::size_t i = 0; i < s.size(); ++i) {
    while (i + 8 <= s.size() && plainWord(s.data() + i)) i += 8;
    if (i == s.size()) break;
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(s, plain, i - plain);
    plain = i + 1;
    switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\t':
      out += "\\t";
      break;
    case '\b':
      out += "\\b";
      break;
    case '\f':
      out += "\\f";
      break;
    default:
      out += "\\u00";
      out += hex[c >> 4];
      out += hex[c & 0xf];
    }
  }
  out.append(s, plain, s.size() - plain);
  out += '"';
}

// Shortest text that reads back to the same double, and always reads back as a float: "0.0",
// "12.5", "1e+300". JSON has no infinity or NaN: an infinity is written as a number too large
// for a double, which reads back as that infinity; NaN becomes null.
void appendJsonFloat(std::string &out, double d) {
  if (std::isnan(d)) {
    out += "null";
    return;
  }
  if (std::isinf(d)) {
    out += d < 0 ? "-1e99999" : "1e99999";
    return;
  }
  char buf[32];
  char *end = std::to_chars(buf, buf + sizeof buf, d).ptr;
  out.append(buf, end);
  if (std::string_view(buf, end - buf).find_first_of(".e") == std::string_view::npos) out += ".0";
}

void appendInteger(std::string &out, std::int64_t i) {
  char buf[24];
  out.append(buf, std::to_chars(buf, buf + sizeof buf, i).ptr);
}

namespace {

void appendPacketJson(std::string &out, const DataPacket &packet) {
  appendPacketHeadJson(out, packet.fields);
  for (std::size_t r = 0; r < packet.rows.size(); ++r) {
    const PacketRow &row = packet.rows[r];
    if (r) out += ',';
    const bool plain = row.status == RowStatus::Unmodified;
    if (!plain) {
      out += '{';
      appendJsonKey(out, wire_key::status);
      appendJsonString(out, rowStatusName(row.status));
      out += ',';
      appendJsonKey(out, wire_key::values);
    }
    out += '[';
    for (std::size_t i = 0; i < row.values.size(); ++i) {
      if (i) out += ',';
      appendVariantJson(out, row.values[i]);
    }
    out += plain ? "]" : "]}";
  }
  out += "]}";
}
} // namespace

void appendVariantJson(std::string &out, const Variant &v) {
  switch (v.kind()) {
  case Variant::Kind::Unassigned:
    out += '{';
    appendJsonKey(out, wire_key::unassigned);
    out += "true}";
    return;
  case Variant::Kind::Null:
    out += "null";
    return;
  case Variant::Kind::Boolean:
    out += v.asBoolean() ? "true" : "false";
    return;
  case Variant::Kind::Integer:
    appendInteger(out, v.asInteger());
    return;
  case Variant::Kind::Float:
    appendJsonFloat(out, v.asFloat());
    return;
  case Variant::Kind::String:
    appendJsonString(out, v.str());
    return;
  case Variant::Kind::Array:
    out += '[';
    for (std::size_t i = 0; i < v.array().size(); ++i) {
      if (i) out += ',';
      appendVariantJson(out, v.array()[i]);
    }
    out += ']';
    return;
  case Variant::Kind::Packet:
    appendPacketJson(out, *v.packet());
    return;
  }
}

std::string variantToJsonText(const Variant &v) {
  std::string out;
  appendVariantJson(out, v);
  return out;
}

void appendJsonKey(std::string &out, std::string_view name) {
  out += '"';
  out += name;
  out += "\":";
}

void appendPacketHeadJson(std::string &out, const std::vector<FieldDef> &fields) {
  out += '{';
  appendJsonKey(out, wire_key::fields);
  out += '[';
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const FieldDef &f = fields[i];
    out += i ? ",{" : "{";
    appendJsonKey(out, wire_key::name);
    appendJsonString(out, f.name);
    out += ',';
    appendJsonKey(out, wire_key::type);
    appendJsonString(out, fieldTypeName(f.type));
    out += ',';
    appendJsonKey(out, wire_key::size);
    appendInteger(out, f.size);
    out += ',';
    appendJsonKey(out, wire_key::required);
    out += f.required ? "true}" : "false}";
  }
  out += "],";
  appendJsonKey(out, wire_key::rows);
  out += '[';
}

} // namespace kdr
