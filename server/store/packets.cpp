#include "server/store/packets.h"

#include <string>

#include "platform/data/packet_json.h"
#include "server/store/tables.h"

namespace kdr::server {

FieldDef textField(std::string_view name, int size) {
  return FieldDef{std::string(name), FieldType::String, size, false};
}

namespace {

// An engine gives a whole number for a float column holding one, and a number for a text column
// holding digits: the packet carries them as its fields say.
void conform(Row &row, const std::vector<FieldDef> &fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    Variant &v = row[i];
    if (fields[i].type == FieldType::Float && v.kind() == Variant::Kind::Integer)
      v = Variant(v.asFloat());
    else if (fields[i].type == FieldType::String && v.isNumber())
      v = Variant(v.asString());
  }
}

} // namespace

Variant packetFromRows(std::vector<FieldDef> fields, Rows rows) {
  DataPacket packet;
  packet.rows.reserve(rows.size());
  for (Row &row : rows) {
    conform(row, fields);
    packet.rows.push_back(PacketRow{RowStatus::Unmodified, std::move(row)});
  }
  packet.fields = std::move(fields);
  return makePacketVariant(std::move(packet));
}

namespace {

// A value of a row in a packet's JSON, as its field says (as conform does for a row of values).
void appendValueJson(std::string &out, const RowValues &row, std::size_t i, const FieldDef &field) {
  using Kind = RowValues::Kind;
  const Kind kind = row.kind(i);
  if (field.type == FieldType::String && (kind == Kind::Integer || kind == Kind::Float)) {
    appendJsonString(out,
                     (kind == Kind::Integer ? Variant(row.integer(i)) : Variant(row.real(i))).asString());
    return;
  }
  switch (kind) {
  case Kind::Null:
    out += "null";
    return;
  case Kind::Boolean:
    out += row.boolean(i) ? "true" : "false";
    return;
  case Kind::Integer:
    if (field.type == FieldType::Float)
      appendJsonFloat(out, static_cast<double>(row.integer(i)));
    else
      appendInteger(out, row.integer(i));
    return;
  case Kind::Float:
    appendJsonFloat(out, row.real(i));
    return;
  case Kind::Text:
    appendJsonString(out, row.text(i));
    return;
  }
}

// A row of a packet's JSON, after a comma unless it is the first.
void appendRowJson(std::string &out, const RowValues &row, const std::vector<FieldDef> &fields, bool first) {
  out += first ? "[" : ",[";
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (i) out += ',';
    appendValueJson(out, row, i, fields[i]);
  }
  out += ']';
}

// The rows of a packet's JSON and its end, after its head: written from each row where the engine
// holds it, so that a point read builds no values of its own.
void appendQueryRowsJson(std::string &out, const std::vector<FieldDef> &fields, Session &s,
                         std::string_view sql, const Params &params) {
  bool first = true;
  s.scanValues(sql, params, [&](const RowValues &row) {
    appendRowJson(out, row, fields, first);
    first = false;
  });
  out += "]}";
}

} // namespace

Payload::Payload(std::vector<FieldDef> f) : fields(std::move(f)) { appendPacketHeadJson(jsonHead, fields); }

void appendQueryPacketJson(std::string &out, const std::vector<FieldDef> &fields, Session &s,
                           std::string_view sql, const Params &params) {
  appendPacketHeadJson(out, fields);
  appendQueryRowsJson(out, fields, s, sql, params);
}

void appendQueryPacketJson(std::string &out, const Payload &payload, Session &s, std::string_view sql,
                           const Params &params) {
  out += payload.jsonHead;
  appendQueryRowsJson(out, payload.fields, s, sql, params);
}

std::string packetJson(const Payload &payload, Rows rows) {
  std::string out = payload.jsonHead;
  for (std::size_t r = 0; r < rows.size(); ++r)
    appendRowJson(out, VariantRowValues(rows[r]), payload.fields, r == 0);
  out += "]}";
  return out;
}

std::string columnList(const std::vector<FieldDef> &fields, std::string_view prefix) {
  std::string out;
  for (const FieldDef &f : fields) {
    if (!out.empty()) out += ", ";
    out += prefix;
    out += f.name;
  }
  return out;
}

std::vector<FieldDef> fieldsOf(const std::vector<Selected> &selection) {
  std::vector<FieldDef> out;
  for (const Selected &c : selection) out.push_back(c.table.column(c.column).def);
  return out;
}

std::string selectList(const std::vector<Selected> &selection) {
  std::string out;
  for (const Selected &c : selection) {
    out += out.empty() ? "" : ", ";
    out += c.alias;
    out += '.';
    out += c.table.column(c.column).def.name;
  }
  return out;
}

namespace payload {

const Payload &cliente() {
  static const Payload p(
      tables::cliente().fields({"CDCLIENTE", "NRINSJURCLIE", "NMFANTCLIE", "IDTPIJURCLIE"}));
  return p;
}

const std::vector<Selected> &paramFatCliSelection() {
  const Table &p = tables::parClieKdr(), &c = tables::cliente();
  static const std::vector<Selected> s{{"P", p, "CDCLIENTE"},
                                       {"P", p, "IDTPFATUCLIE"},
                                       {"P", p, "DSFATURCLIE"},
                                       {"P", p, "DSBOLETCLIE"},
                                       {"C", c, "NMFANTCLIE"},
                                       {"P", p, "CDTIPOSERV"},
                                       {"T", tables::tipoServ(), "NMTIPOSERV"},
                                       {"P", p, "CDEMPRESA"},
                                       {"E", tables::empresa(), "NMEMPRESA"},
                                       {"P", p, "IDFATURAPFILI"},
                                       {"P", p, "IDFATMESATUCLIE"},
                                       {"O", tables::operador(), "NMOPERADOR"},
                                       {"P", p, "CDGERENTEIMPCLI"},
                                       {"P", p, "IDGERANFUNIFICA"},
                                       {"P", p, "VRPERCAJUSTEINV"},
                                       {"C", c, "CDPAIS"}};
  return s;
}

const Payload &paramFatCli() {
  static const Payload p(fieldsOf(paramFatCliSelection()));
  return p;
}

const Payload &tipoDeServico() {
  static const Payload p(tables::tipoServ().fields({"CDTIPOSERV", "NMTIPOSERV"}));
  return p;
}

const Payload &descPadrao() {
  static const Payload p(tables::parEmpKdr().fields());
  return p;
}

const Payload &empresa() {
  static const Payload p(tables::empresa().fields({"NMEMPRESA", "CDEMPRESA"}));
  return p;
}

} // namespace payload

} // namespace kdr::server
