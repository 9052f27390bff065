#include "server/packets.h"

#include <string>

#include "platform/data/packet_json.h"

namespace kdr::server {

FieldDef textField(std::string_view name, int size) {
  return FieldDef{std::string(name), FieldType::String, size, false};
}

FieldDef floatField(std::string_view name) { return FieldDef{std::string(name), FieldType::Float, 0, false}; }

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

void appendQueryPacketJson(std::string &out, const std::vector<FieldDef> &fields, Session &s,
                           std::string_view sql, const Params &params) {
  appendPacketHeadJson(out, fields);
  bool first = true;
  s.scan(sql, params, [&](Row &row) {
    conform(row, fields);
    out += first ? "[" : ",[";
    first = false;
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (i) out += ',';
      appendVariantJson(out, row[i]);
    }
    out += ']';
  });
  out += "]}";
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

namespace payload {

const std::vector<FieldDef> &cliente() {
  static const std::vector<FieldDef> f{textField("CDCLIENTE", 21), textField("NRINSJURCLIE", 20),
                                       textField("NMFANTCLIE", 50), textField("IDTPIJURCLIE", 1)};
  return f;
}

const std::vector<FieldDef> &paramFatCli() {
  static const std::vector<FieldDef> f{textField("CDCLIENTE", 21),       textField("IDTPFATUCLIE", 1),
                                       textField("DSFATURCLIE", 400),    textField("DSBOLETCLIE", 400),
                                       textField("NMFANTCLIE", 50),      textField("CDTIPOSERV", 3),
                                       textField("NMTIPOSERV", 80),      textField("CDEMPRESA", 2),
                                       textField("NMEMPRESA", 40),       textField("IDFATURAPFILI", 1),
                                       textField("IDFATMESATUCLIE", 1),  textField("NMOPERADOR", 40),
                                       textField("CDGERENTEIMPCLI", 12), textField("IDGERANFUNIFICA", 1),
                                       floatField("VRPERCAJUSTEINV"),    textField("CDPAIS", 4)};
  return f;
}

const std::vector<FieldDef> &tipoDeServico() {
  static const std::vector<FieldDef> f{textField("CDTIPOSERV", 3), textField("NMTIPOSERV", 80)};
  return f;
}

const std::vector<FieldDef> &descPadrao() {
  static const std::vector<FieldDef> f{textField("CDEMPRESA", 2), textField("IDTPFATUEMPRESA", 1),
                                       textField("DSFATUREMPRESA", 400), textField("DSBOLETEMPRESA", 400)};
  return f;
}

const std::vector<FieldDef> &empresa() {
  static const std::vector<FieldDef> f{textField("NMEMPRESA", 40), textField("CDEMPRESA", 2)};
  return f;
}

} // namespace payload

} // namespace kdr::server
