#pragma once
// Turning query rows into the data packets the module loads, and the field lists of every
// payload the remote modules send, taken from the tables' own columns.
#include <string_view>
#include <vector>

#include "platform/rtl/datapacket.h"
#include "server/store/session.h"
#include "server/store/tables.h"

namespace kdr::server {

// A text field of values a query computes, which no table column defines.
FieldDef textField(std::string_view name, int size);

// Rows must hold one value per field, in field order; integers in float fields become floats.
Variant packetFromRows(std::vector<FieldDef> fields, Rows rows);

// The fields of an answer's packets with the JSON text every such packet starts with,
// '{"fields":[...],"rows":[', written once: most of a point read's answer is this text.
struct Payload {
  explicit Payload(std::vector<FieldDef> fields);
  std::vector<FieldDef> fields;
  std::string jsonHead;
};

// Appends the packet of a query's rows as JSON, written row by row as the engine reads them.
// Same text as the packet of packetFromRows.
void appendQueryPacketJson(std::string &out, const std::vector<FieldDef> &fields, Session &s,
                           std::string_view sql, const Params &params = {});
void appendQueryPacketJson(std::string &out, const Payload &payload, Session &s, std::string_view sql,
                           const Params &params = {});
// The packet of rows read before as JSON, the same text as the packet of packetFromRows.
std::string packetJson(const Payload &payload, Rows rows);

// Comma-separated column list of a field list, for the SELECT that fills it.
std::string columnList(const std::vector<FieldDef> &fields, std::string_view prefix = {});

// A column of an answer read from several tables: the alias the query gives its table, and the
// column. One list gives both the packet's fields and the query's select list.
struct Selected {
  std::string_view alias;
  const Table &table;
  std::string_view column;
};
std::vector<FieldDef> fieldsOf(const std::vector<Selected> &selection);
// "P.CDCLIENTE, C.NMFANTCLIE, ..."
std::string selectList(const std::vector<Selected> &selection);

namespace payload {
const Payload &cliente();
// From PARCLIEKDR P, CLIENTE C, TIPOSERV T, EMPRESA E and OPERADOR O.
const std::vector<Selected> &paramFatCliSelection();
const Payload &paramFatCli();
const Payload &tipoDeServico();
const Payload &descPadrao(); // also the default texts of GetParEmpKdr
const Payload &empresa();
} // namespace payload

} // namespace kdr::server
