#pragma once
// The methods of the remote data module "KDR03020.rdmParamFatCli": decoded arguments in, a
// result out; no HTTP here. The reads of a client's or a company's rows give their packet as
// JSON text, written as the rows are read. An all-flag of "T" asks for every row.
#include <string>

#include "platform/rtl/datapacket.h"
#include "server/history/history.h"
#include "server/methods/delta_writer.h"
#include "server/store/session.h"

namespace kdr::server {
struct DeltaTable;
}

namespace kdr::server::rdmParamFatCli {

// Every client with the all-flag: it may be large.
std::string GetCliente(Session &s, const std::string &nrInscricao, const std::string &todos);
// A page of the clients a search shows: those after the code `after` (empty: from the first)
// whose trade name contains the filter regardless of case, whose code is the filter, or, for a
// filter of digits and number punctuation, whose registration digits contain its digits; an
// empty filter matches every client. By CDCLIENTE, at most pageSize rows (1 to 1000; a text).
std::string PesquisaCliente(Session &s, const std::string &filter, const std::string &after,
                            const std::string &pageSize);
std::string GetParamFatCli(Session &s, const std::string &cdCliente);
void SetParamFatCli(Session &s, const DataPacket &delta, const Author &author);
std::string GetDescPadrao(Session &s, const std::string &cdEmpresa, const std::string &tipoFaturamento);
std::string GetTipoDeServico(Session &s, const std::string &cdTipoServ, const std::string &todos,
                             const std::string &cdCliente);
// [0] every company's default texts, [1] every company.
Variant GetParEmpKdr(Session &s);
void SetParEmpKdr(Session &s, const DataPacket &delta, const Author &author);

// The stored tables as deltas reach them: their columns, keys and rules.
const DeltaTable &parClieKdr();
const DeltaTable &parEmpKdr();

// The tables the two Set methods write, with their rules (see applyDelta).
const DeltaTable &parClieKdr();
const DeltaTable &parEmpKdr();

} // namespace kdr::server::rdmParamFatCli
