#include "server/methods/param_fat_cli.h"

#include <algorithm>
#include <charconv>

#include "server/errors.h"
#include "server/methods/billing.h"
#include "server/methods/client_search.h"
#include "server/methods/delta_writer.h"
#include "server/store/packets.h"

namespace kdr::server::rdmParamFatCli {
namespace {

bool all(const std::string &todos) { return todos == "T"; }

void checkFlag(const DeltaRow &row, std::string_view column, std::string_view label) {
  if (row.changed(column) && !row[column].isNull() && !isFlag(row.text(column)))
    refuse(std::string(label) + " deve ser \"S\" ou \"N\".");
}

void checkBillingType(const DeltaRow &row, std::string_view column) {
  if (row.changed(column) && !isBillingType(row.text(column)))
    refuse("Tipo de faturamento inválido: \"" + row.shown(column) + "\". Use de 1 a 6.");
}

void checkCompany(Session &s, const DeltaRow &row) {
  if (row.changed("CDEMPRESA") && !codeExists(s, "EMPRESA", "CDEMPRESA", row["CDEMPRESA"]))
    refuse("Empresa " + row.shown("CDEMPRESA") + " não cadastrada.");
}

// The invoice rate is a percentage from 0 to 100, except for clients of the home country, whose
// rate is free. Only a rate the change sets is checked, so a stored row holding a rate out of
// range still saves a change of its other fields.
void checkRate(Session &s, const DeltaRow &row) {
  const Variant &rate = row["VRPERCAJUSTEINV"];
  if (!row.changed("VRPERCAJUSTEINV") || rate.isNull()) return;
  const double value = rate.asFloat();
  if (value >= 0 && value <= 100) return;
  Rows country = s.query("SELECT CDPAIS FROM CLIENTE WHERE CDCLIENTE = ?", {row["CDCLIENTE"]});
  if (!country.empty() && country[0][0].asString() == homeCountry) return;
  refuse("Percentual de ajuste do Invoice deve estar entre 0 e 100 (cliente " + row.shown("CDCLIENTE") +
         ", tipo de faturamento " + billingTypeText(row.text("IDTPFATUCLIE")) + ").");
}

// A client's billing parameter: its codes exist, its flags are "S" or "N", its rate is in range.
void checkClientParam(Session &s, const DeltaRow &row) {
  if (row.changed("CDCLIENTE") && !codeExists(s, "CLIENTE", "CDCLIENTE", row["CDCLIENTE"]))
    refuse("Cliente " + row.shown("CDCLIENTE") + " não cadastrado.");
  checkBillingType(row, "IDTPFATUCLIE");
  checkCompany(s, row);
  checkFlag(row, "IDFATURAPFILI", "Fatura por filial");
  checkFlag(row, "IDFATMESATUCLIE", "Fatura mês atual");
  checkFlag(row, "IDGERANFUNIFICA", "Gera NF unificada");
  if (row.changed("CDTIPOSERV") && !row["CDTIPOSERV"].isNull() &&
      !codeExists(s, "TIPOSERV", "CDTIPOSERV", row["CDTIPOSERV"]))
    refuse("Tipo de serviço " + row.shown("CDTIPOSERV") + " não cadastrado.");
  if (row.changed("CDGERENTEIMPCLI") && !row["CDGERENTEIMPCLI"].isNull() &&
      !codeExists(s, "OPERADOR", "CDOPERADOR", row["CDGERENTEIMPCLI"]))
    refuse("Gerente de Implantação " + row.shown("CDGERENTEIMPCLI") + " não cadastrado.");
  checkRate(s, row);
}

std::string clientParamConflict(const DeltaRow &row) {
  return "O parâmetro do cliente " + row.shown("CDCLIENTE") + ", tipo de faturamento " +
         billingTypeText(row.text("IDTPFATUCLIE")) + ", empresa " + row.shown("CDEMPRESA") +
         ", foi alterado ou excluído por outro usuário. Nada foi gravado; recarregue os parâmetros do "
         "cliente.";
}

std::string clientParamDuplicate(const DeltaRow &row) {
  return "O cliente " + row.shown("CDCLIENTE") + " já tem parâmetro do tipo de faturamento " +
         billingTypeText(row.text("IDTPFATUCLIE")) + " na empresa " + row.shown("CDEMPRESA") +
         ". Nada foi gravado.";
}

void checkCompanyDescription(Session &s, const DeltaRow &row) {
  checkCompany(s, row);
  checkBillingType(row, "IDTPFATUEMPRESA");
}

std::string companyDescriptionConflict(const DeltaRow &row) {
  return "A descrição padrão da empresa " + row.shown("CDEMPRESA") + ", tipo de faturamento " +
         billingTypeText(row.text("IDTPFATUEMPRESA")) +
         ", foi alterada ou excluída por outro usuário. Nada foi gravado; recarregue as descrições.";
}

std::string companyDescriptionDuplicate(const DeltaRow &row) {
  return "A empresa " + row.shown("CDEMPRESA") + " já tem descrição padrão do tipo de faturamento " +
         billingTypeText(row.text("IDTPFATUEMPRESA")) + ". Nada foi gravado.";
}

// The query of the client parameters as the screen reads them, names joined, of the rows the
// condition keeps.
std::string parametersSql(std::string_view condition) {
  return "SELECT " + selectList(payload::paramFatCliSelection()) +
         " FROM PARCLIEKDR P JOIN CLIENTE C ON C.CDCLIENTE = P.CDCLIENTE "
         "LEFT JOIN TIPOSERV T ON T.CDTIPOSERV = P.CDTIPOSERV "
         "LEFT JOIN EMPRESA E ON E.CDEMPRESA = P.CDEMPRESA "
         "LEFT JOIN OPERADOR O ON O.CDOPERADOR = P.CDGERENTEIMPCLI WHERE " +
         std::string(condition) + " ORDER BY P.IDTPFATUCLIE, P.CDEMPRESA";
}

} // namespace

const DeltaTable &parClieKdr() {
  static const DeltaTable table{
      .stored = tables::parClieKdr(),
      .shownOnly = {"NMFANTCLIE", "NMTIPOSERV", "NMEMPRESA", "NMOPERADOR", "CDPAIS"},
      .check = checkClientParam,
      .conflictMessage = clientParamConflict,
      .duplicateMessage = clientParamDuplicate,
      // A client is billed once per billing type, whichever company bills it. Two desktops may
      // both pass the screen's check against their own copy; this one sees every saved row.
      .unique = {"CDCLIENTE", "IDTPFATUCLIE"},
      .uniqueMessage = "Tipo de Faturamento já cadastrado para o cliente informado.",
      .historyClient = "CDCLIENTE",
      .historyType = "IDTPFATUCLIE",
      .historyCompany = "CDEMPRESA",
      .heldRow = [](Session &s, const DeltaRow &row) {
        static const std::string sql =
            parametersSql("P.CDCLIENTE = ? AND P.IDTPFATUCLIE = ? AND P.CDEMPRESA = ?");
        return packetFromRows(payload::paramFatCli().fields,
                              s.query(sql, {row["CDCLIENTE"], row["IDTPFATUCLIE"], row["CDEMPRESA"]}));
      }};
  return table;
}

const DeltaTable &parEmpKdr() {
  static const DeltaTable table{.stored = tables::parEmpKdr(),
                                .check = checkCompanyDescription,
                                .conflictMessage = companyDescriptionConflict,
                                .duplicateMessage = companyDescriptionDuplicate,
                                .historyType = "IDTPFATUEMPRESA",
                                .historyCompany = "CDEMPRESA"};
  return table;
}

namespace {

// The history is written in the delta's own transaction: a refused delta leaves no record.
void applyInTransaction(Session &s, const DeltaTable &table, const DataPacket &delta, const Author &author) {
  Transaction tx(s, Transaction::Mode::Write);
  HistoryWriter history(s, author);
  applyDelta(s, table, delta, &history);
  tx.commit();
}

} // namespace

// The point reads' statements are put together once: a call only binds its values.

std::string GetCliente(Session &s, const std::string &nrInscricao, const std::string &todos) {
  const Payload &p = payload::cliente();
  static const std::string select = "SELECT " + columnList(p.fields) + " FROM CLIENTE";
  // NRINSDIGITOS holds the digits of NRINSJURCLIE, kept by the database and indexed.
  static const std::string every = select + " ORDER BY CDCLIENTE",
                           byNumber = select + " WHERE NRINSDIGITOS = ? ORDER BY CDCLIENTE",
                           none = select + " WHERE 1 = 0 ORDER BY CDCLIENTE";
  // With the all-flag this is every client: written out as read, never held as rows.
  std::string json;
  if (all(todos)) {
    appendQueryPacketJson(json, p, s, every);
    return json;
  }
  std::string digits = registrationDigits(nrInscricao);
  if (digits.empty())
    appendQueryPacketJson(json, p, s, none); // a number without digits matches no client
  else
    appendQueryPacketJson(json, p, s, byNumber, {std::move(digits)});
  return json;
}

std::string PesquisaCliente(Session &s, const std::string &filter, const std::string &after,
                            const std::string &pageSize) {
  int size = 0;
  auto [end, ec] = std::from_chars(pageSize.data(), pageSize.data() + pageSize.size(), size);
  if (ec != std::errc() || end != pageSize.data() + pageSize.size() || size < 1 || size > 1000)
    refuse("O tamanho da página deve ser um número de 1 a 1000.");
  return clientSearchPage(s, filter, after, size);
}

std::string GetParamFatCli(Session &s, const std::string &cdCliente) {
  static const std::string sql = parametersSql("P.CDCLIENTE = ?");
  std::string json;
  appendQueryPacketJson(json, payload::paramFatCli(), s, sql, {cdCliente});
  return json;
}

void SetParamFatCli(Session &s, const DataPacket &delta, const Author &author) {
  applyInTransaction(s, parClieKdr(), delta, author);
}

std::string GetDescPadrao(Session &s, const std::string &cdEmpresa, const std::string &tipoFaturamento) {
  const Payload &p = payload::descPadrao();
  static const std::string sql =
      "SELECT " + columnList(p.fields) + " FROM PAREMPKDR WHERE CDEMPRESA = ? AND IDTPFATUEMPRESA = ?";
  std::string json;
  appendQueryPacketJson(json, p, s, sql, {cdEmpresa, tipoFaturamento});
  return json;
}

std::string GetTipoDeServico(Session &s, const std::string &cdTipoServ, const std::string &todos,
                             const std::string &cdCliente) {
  static const std::string select = "SELECT T.CDTIPOSERV, T.NMTIPOSERV FROM CLITIPOSERV L "
                                    "JOIN TIPOSERV T ON T.CDTIPOSERV = L.CDTIPOSERV WHERE L.CDCLIENTE = ?";
  static const std::string every = select + " ORDER BY T.CDTIPOSERV",
                           one = select + " AND L.CDTIPOSERV = ? ORDER BY T.CDTIPOSERV";
  std::string json;
  if (all(todos))
    appendQueryPacketJson(json, payload::tipoDeServico(), s, every, {cdCliente});
  else
    appendQueryPacketJson(json, payload::tipoDeServico(), s, one, {cdCliente, cdTipoServ});
  return json;
}

Variant GetParEmpKdr(Session &s) {
  Transaction tx(s, Transaction::Mode::Read);
  const auto &textFields = payload::descPadrao().fields, &companyFields = payload::empresa().fields;
  Variant texts = packetFromRows(textFields, s.query("SELECT " + columnList(textFields) +
                                                     " FROM PAREMPKDR ORDER BY CDEMPRESA, IDTPFATUEMPRESA"));
  Variant companies = packetFromRows(
      companyFields, s.query("SELECT " + columnList(companyFields) + " FROM EMPRESA ORDER BY CDEMPRESA"));
  tx.commit();
  return Variant(Variant::Array{texts, companies});
}

void SetParEmpKdr(Session &s, const DataPacket &delta, const Author &author) {
  applyInTransaction(s, parEmpKdr(), delta, author);
}

} // namespace kdr::server::rdmParamFatCli
