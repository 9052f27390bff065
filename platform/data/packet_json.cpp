#include "platform/data/packet_json.h"

#include <charconv>
#include <cmath>

#include "platform/data/packet_builder.h"
#include "platform/data/packet_reader.h"
#include "platform/rtl/datapacket.h"
#include "platform/rtl/exceptions.h"

namespace kdr {

namespace json = boost::json;

namespace {

json::value packetToJson(const DataPacket &packet) {
  json::array fields;
  fields.reserve(packet.fields.size());
  for (const auto &f : packet.fields)
    fields.push_back(json::object{
        {"name", f.name}, {"type", fieldTypeName(f.type)}, {"size", f.size}, {"required", f.required}});
  json::array rows;
  rows.reserve(packet.rows.size());
  for (const auto &row : packet.rows) {
    json::array values;
    values.reserve(row.values.size());
    for (const auto &v : row.values) values.push_back(variantToJson(v));
    if (row.status == RowStatus::Unmodified)
      rows.push_back(std::move(values));
    else
      rows.push_back(json::object{{"status", rowStatusName(row.status)}, {"values", std::move(values)}});
  }
  return json::object{{"fields", std::move(fields)}, {"rows", std::move(rows)}};
}

const json::value &member(const json::object &o, std::string_view key, std::string_view what) {
  auto it = o.find(key);
  if (it == o.end())
    throw EConvertError("Invalid data packet: " + std::string(what) + " has no \"" + std::string(key) + "\"");
  return it->value();
}

FieldDef fieldFromJson(const json::value &j, std::size_t index) {
  const std::string where = "field " + std::to_string(index + 1);
  if (!j.is_object()) throw EConvertError("Invalid data packet: " + where + " is not an object");
  const auto &o = j.get_object();
  FieldDef def;
  const auto &name = member(o, "name", where);
  const auto &type = member(o, "type", where);
  if (!name.is_string() || !type.is_string())
    throw EConvertError("Invalid data packet: " + where + " needs a text name and type");
  def.name = name.get_string();
  def.type = fieldTypeFromName(type.get_string(), def.name);
  if (auto it = o.find("size"); it != o.end()) {
    if (!it->value().is_int64() || it->value().get_int64() < 0 || it->value().get_int64() > 1'000'000)
      throw EConvertError("Invalid data packet: field '" + def.name + "' has an invalid size");
    def.size = static_cast<int>(it->value().get_int64());
  }
  if (auto it = o.find("required"); it != o.end()) {
    if (!it->value().is_bool())
      throw EConvertError("Invalid data packet: field '" + def.name + "' has an invalid \"required\"");
    def.required = it->value().get_bool();
  }
  return def;
}

PacketRow rowFromJson(const json::value &j, std::size_t index) {
  PacketRow row;
  const json::array *values = nullptr;
  if (j.is_array()) {
    values = &j.get_array();
  } else if (j.is_object()) {
    const std::string where = "row " + std::to_string(index + 1);
    const auto &status = member(j.get_object(), "status", where);
    const auto &vals = member(j.get_object(), "values", where);
    if (!status.is_string() || !vals.is_array())
      throw EConvertError("Invalid data packet: " + where + " needs a text status and an array of values");
    row.status = rowStatusFromName(status.get_string(), index);
    values = &vals.get_array();
  } else {
    throw EConvertError("Invalid data packet: row " + std::to_string(index + 1) + " is not an array");
  }
  row.values.reserve(values->size());
  for (const auto &v : *values) row.values.push_back(variantFromJson(v));
  return row;
}

Variant packetFromJson(const json::object &o) {
  const auto &fields = member(o, "fields", "the packet");
  const auto &rows = member(o, "rows", "the packet");
  if (!fields.is_array() || !rows.is_array())
    throw EConvertError("Invalid data packet: \"fields\" and \"rows\" must be arrays");
  PacketBuilder builder;
  std::size_t i = 0;
  for (const auto &f : fields.get_array()) builder.addField(fieldFromJson(f, i++));
  builder.fieldsComplete();
  i = 0;
  for (const auto &r : rows.get_array()) builder.addRow(rowFromJson(r, i++));
  return builder.finish();
}

// The text form is written straight from the variant: answers of the server are built this way
// for every request, and a document tree in between cost more than the query behind it.
void appendJsonString(std::string &out, std::string_view s) {
  static constexpr char hex[] = "0123456789abcdef";
  out += '"';
  std::size_t plain = 0; // start of the run not yet copied
  for (std::size_t i = 0; i < s.size(); ++i) {
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

void appendPacketJson(std::string &out, const DataPacket &packet) {
  appendPacketHeadJson(out, packet.fields);
  for (std::size_t r = 0; r < packet.rows.size(); ++r) {
    const PacketRow &row = packet.rows[r];
    if (r) out += ',';
    const bool plain = row.status == RowStatus::Unmodified;
    if (!plain) {
      out += "{\"status\":";
      appendJsonString(out, rowStatusName(row.status));
      out += ",\"values\":";
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

json::value variantToJson(const Variant &v) {
  switch (v.kind()) {
  case Variant::Kind::Unassigned:
    return json::object{{"unassigned", true}};
  case Variant::Kind::Null:
    return nullptr;
  case Variant::Kind::Boolean:
    return v.asBoolean();
  case Variant::Kind::Integer:
    return v.asInteger();
  case Variant::Kind::Float:
    return v.asFloat();
  case Variant::Kind::String:
    return json::string(v.str());
  case Variant::Kind::Array: {
    json::array a;
    a.reserve(v.array().size());
    for (const auto &item : v.array()) a.push_back(variantToJson(item));
    return a;
  }
  case Variant::Kind::Packet:
    return packetToJson(*v.packet());
  }
  return nullptr;
}

Variant variantFromJson(const json::value &j) {
  switch (j.kind()) {
  case json::kind::null:
    return Variant(nullptr);
  case json::kind::bool_:
    return Variant(j.get_bool());
  case json::kind::int64:
    return Variant(j.get_int64());
  case json::kind::uint64:
    throw EConvertError("Integer value out of range: " + std::to_string(j.get_uint64()));
  case json::kind::double_:
    return Variant(j.get_double());
  case json::kind::string:
    return Variant(std::string(j.get_string()));
  case json::kind::array: {
    Variant::Array a;
    a.reserve(j.get_array().size());
    for (const auto &item : j.get_array()) a.push_back(variantFromJson(item));
    return Variant(std::move(a));
  }
  case json::kind::object: {
    const auto &o = j.get_object();
    if (o.size() == 1 && o.contains("unassigned")) {
      if (o.at("unassigned") != json::value(true))
        throw EConvertError("Invalid value: \"unassigned\" must be true");
      return Variant::unassigned();
    }
    return packetFromJson(o);
  }
  }
  throw EConvertError("Invalid JSON value");
}

void appendVariantJson(std::string &out, const Variant &v) {
  switch (v.kind()) {
  case Variant::Kind::Unassigned:
    out += "{\"unassigned\":true}";
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

Variant variantFromJsonText(std::string_view text) { return readVariantJson(text); }

void appendPacketHeadJson(std::string &out, const std::vector<FieldDef> &fields) {
  out += "{\"fields\":[";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const FieldDef &f = fields[i];
    if (i) out += ',';
    out += "{\"name\":";
    appendJsonString(out, f.name);
    out += ",\"type\":";
    appendJsonString(out, fieldTypeName(f.type));
    out += ",\"size\":";
    appendInteger(out, f.size);
    out += f.required ? ",\"required\":true}" : ",\"required\":false}";
  }
  out += "],\"rows\":[";
}

} // namespace kdr
