#pragma once
// Turning query rows into the data packets the module loads, and the field lists of every
// payload the remote modules send.
#include <string_view>
#include <vector>

#include "platform/rtl/datapacket.h"
#include "server/session.h"

namespace kdr::server {

FieldDef textField(std::string_view name, int size);
FieldDef floatField(std::string_view name);

// Rows must hold one value per field, in field order; integers in float fields become floats.
Variant packetFromRows(std::vector<FieldDef> fields, Rows rows);

// Appends the packet of a query's rows as JSON, written row by row as the engine reads them.
// Same values as packetFromRows.
void appendQueryPacketJson(std::string &out, const std::vector<FieldDef> &fields, Session &s,
                           std::string_view sql, const Params &params = {});

// Comma-separated column list of a field list, for the SELECT that fills it.
std::string columnList(const std::vector<FieldDef> &fields, std::string_view prefix = {});

namespace payload {
const std::vector<FieldDef> &cliente();
const std::vector<FieldDef> &paramFatCli();
const std::vector<FieldDef> &tipoDeServico();
const std::vector<FieldDef> &descPadrao(); // also the default texts of GetParEmpKdr
const std::vector<FieldDef> &empresa();
} // namespace payload

} // namespace kdr::server
