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

const std::vector<FieldDef> &cliente() {
  static const std::vector<FieldDef> f =
      tables::cliente().fields({"CDCLIENTE", "NRINSJURCLIE", "NMFANTCLIE", "IDTPIJURCLIE"});
  return f;
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

const std::vector<FieldDef> &paramFatCli() {
  static const std::vector<FieldDef> f = fieldsOf(paramFatCliSelection());
  return f;
}

const std::vector<FieldDef> &tipoDeServico() {
  static const std::vector<FieldDef> f = tables::tipoServ().fields({"CDTIPOSERV", "NMTIPOSERV"});
  return f;
}

const std::vector<FieldDef> &descPadrao() {
  static const std::vector<FieldDef> f = tables::parEmpKdr().fields();
  return f;
}

const std::vector<FieldDef> &empresa() {
  static const std::vector<FieldDef> f = tables::empresa().fields({"NMEMPRESA", "CDEMPRESA"});
  return f;
}

} // namespace payload

} // namespace kdr::server
