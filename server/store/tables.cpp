#include "server/store/tables.h"

#include <algorithm>
#include <stdexcept>

namespace kdr::server {

const Column &Table::column(std::string_view wanted) const {
  for (const Column &c : columns)
    if (c.def.name == wanted) return c;
  throw std::logic_error("no column " + std::string(wanted) + " in " + name);
}

std::size_t Table::index(std::string_view wanted) const {
  std::size_t i = 0;
  while (i < columns.size() && columns[i].def.name != wanted) ++i;
  return i;
}

bool Table::isKey(std::string_view wanted) const {
  return std::find(key.begin(), key.end(), wanted) != key.end();
}

std::string placeholders(std::size_t n) {
  std::string marks;
  for (std::size_t i = 0; i < n; ++i) marks += i ? ", ?" : "?";
  return marks;
}

std::string nameList(const std::vector<std::string> &names, std::string_view prefix) {
  std::string out;
  for (const std::string &n : names) out += (out.empty() ? "" : ", ") + std::string(prefix) + n;
  return out;
}

std::string Table::names() const {
  std::vector<std::string> all;
  for (const Column &c : columns) all.push_back(c.def.name);
  return nameList(all);
}

std::string Table::keyNames() const { return nameList(key); }

std::vector<FieldDef> Table::fields() const {
  std::vector<FieldDef> out;
  for (const Column &c : columns) out.push_back(c.def);
  return out;
}

std::vector<FieldDef> Table::fields(std::initializer_list<std::string_view> names) const {
  std::vector<FieldDef> out;
  for (std::string_view n : names) out.push_back(column(n).def);
  return out;
}

std::string Table::declarations(std::string_view names) const {
  std::string out;
  while (!names.empty()) {
    const std::size_t comma = names.find(',');
    std::string_view n = names.substr(0, comma);
    names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
    while (n.starts_with(' ')) n.remove_prefix(1);
    const Column &c = column(n);
    out += (out.empty() ? "" : ", ") + c.def.name + " ";
    switch (c.def.type) {
    case FieldType::String:
      out += "VARCHAR(" + std::to_string(c.def.size) + ")";
      break;
    case FieldType::Float:
      out += "DOUBLE PRECISION";
      break;
    case FieldType::Integer:
    case FieldType::Boolean:
      out += "BIGINT";
      break;
    }
    if (c.notNull) out += " NOT NULL";
  }
  return out;
}

std::string Table::insertSql() const {
  return "INSERT INTO " + name + " (" + names() + ") VALUES (" + placeholders(columns.size()) + ")";
}

namespace tables {
namespace {

// A text column; "required" in a packet is the dataset's rule, not the database's, so it stays off.
Column text(std::string_view name, int size, bool notNull = false, std::string label = {},
            bool optionalCode = false) {
  return {FieldDef{std::string(name), FieldType::String, size, false}, notNull, std::move(label),
          optionalCode};
}

Column number(std::string_view name, std::string label) {
  return {FieldDef{std::string(name), FieldType::Float, 0, false}, false, std::move(label), false};
}

constexpr bool required = true;
constexpr bool optionalCode = true;

} // namespace

const Table &empresa() {
  static const Table t{
      "EMPRESA", {text("CDEMPRESA", 2, required), text("NMEMPRESA", 40, required)}, {"CDEMPRESA"}};
  return t;
}

const Table &cliente() {
  static const Table t{"CLIENTE",
                       {text("CDCLIENTE", 21, required), text("IDTPIJURCLIE", 1), text("NRINSJURCLIE", 20),
                        text("NMFANTCLIE", 50), text("CDPAIS", 4)},
                       {"CDCLIENTE"}};
  return t;
}

const Table &operador() {
  static const Table t{
      "OPERADOR", {text("CDOPERADOR", 12, required), text("NMOPERADOR", 40, required)}, {"CDOPERADOR"}};
  return t;
}

const Table &operGrupOp() {
  static const Table t{"OPERGRUPOP",
                       {text("CDGRUPOPER", 2, required), text("CDOPERADOR", 12, required)},
                       {"CDGRUPOPER", "CDOPERADOR"}};
  return t;
}

const Table &autGrupOp() {
  static const Table t{"AUTGRUPOP",
                       {text("CDGRUPOPER", 2, required), text("IDAUTGRUPOP", 4, required)},
                       {"CDGRUPOPER", "IDAUTGRUPOP"}};
  return t;
}

const Table &tipoServ() {
  static const Table t{
      "TIPOSERV", {text("CDTIPOSERV", 3, required), text("NMTIPOSERV", 80, required)}, {"CDTIPOSERV"}};
  return t;
}

const Table &cliTipoServ() {
  static const Table t{"CLITIPOSERV",
                       {text("CDCLIENTE", 21, required), text("CDTIPOSERV", 3, required)},
                       {"CDCLIENTE", "CDTIPOSERV"}};
  return t;
}

const Table &parClieKdr() {
  static const Table t{
      "PARCLIEKDR",
      {text("CDCLIENTE", 21, required, "Cliente"), text("IDTPFATUCLIE", 1, required, "Tipo de faturamento"),
       text("CDEMPRESA", 2, required, "Empresa"), text("IDFATURAPFILI", 1, false, "Fatura por filial"),
       text("IDFATMESATUCLIE", 1, false, "Fatura mês atual"),
       text("DSFATURCLIE", 400, false, "Descrição para faturamento"),
       text("DSBOLETCLIE", 400, false, "Descrição para boleto"),
       text("CDTIPOSERV", 3, false, "Tipo de serviço", optionalCode),
       text("CDGERENTEIMPCLI", 12, false, "Gerente de implantação", optionalCode),
       text("IDGERANFUNIFICA", 1, false, "Gera NF unificada"), number("VRPERCAJUSTEINV", "Taxa de invoice")},
      {"CDCLIENTE", "IDTPFATUCLIE", "CDEMPRESA"}};
  return t;
}

const std::vector<std::string> &billingTexts() {
  static const std::vector<std::string> names{"DSFATURCLIE", "DSBOLETCLIE"};
  return names;
}

const std::vector<std::string> &copiedColumns() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out = billingTexts();
    const Table &t = parClieKdr();
    for (const Column &c : t.columns)
      if (!t.isKey(c.def.name) && std::find(out.begin(), out.end(), c.def.name) == out.end())
        out.push_back(c.def.name);
    return out;
  }();
  return names;
}

const Table &parEmpKdr() {
  static const Table t{"PAREMPKDR",
                       {text("CDEMPRESA", 2, required, "Empresa"),
                        text("IDTPFATUEMPRESA", 1, required, "Tipo de faturamento"),
                        text("DSFATUREMPRESA", 400, false, "Descrição para faturamento"),
                        text("DSBOLETEMPRESA", 400, false, "Descrição para boleto")},
                       {"CDEMPRESA", "IDTPFATUEMPRESA"}};
  return t;
}

const std::vector<const Table *> &all() {
  static const std::vector<const Table *> list{&empresa(),     &cliente(),    &operador(),
                                               &operGrupOp(),  &autGrupOp(),  &tipoServ(),
                                               &cliTipoServ(), &parClieKdr(), &parEmpKdr()};
  return list;
}

} // namespace tables

} // namespace kdr::server
