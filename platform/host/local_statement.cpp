#include "platform/host/local_statement.h"

#include <algorithm>
#include <cstdlib>

#include <sqlite3.h>

#include "platform/host/localdb.h"
#include "platform/rtl/utf8.h"
#include "platform/sqlite/values.h"

namespace kdr {

LocalStatement::LocalStatement(const TLocalConnection &connection, const std::string &sql)
    : connection_(connection) {
  if (const FirstLoads *loads = connection.firstLoads()) loads->awaitTablesOf(sql);
  if (sqlite3_prepare_v2(connection.handle(), sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr) !=
      SQLITE_OK)
    connection.fail("preparar a consulta");
}

LocalStatement::~LocalStatement() { sqlite3_finalize(stmt_); }

void LocalStatement::bind(int position, const Variant &value) {
  if (sqlite::bind(stmt_, position, value) != SQLITE_OK) connection_.fail("atribuir um parâmetro");
}

void LocalStatement::bind(const std::string &name, const Variant &value) {
  const std::string marker = ":" + name;
  const int count = sqlite3_bind_parameter_count(stmt_);
  for (int i = 1; i <= count; ++i) {
    const char *declared = sqlite3_bind_parameter_name(stmt_, i);
    if (declared != nullptr && utf8::sameText(declared, marker)) bind(i, value);
  }
}

bool LocalStatement::step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  connection_.fail("executar a consulta");
}

void LocalStatement::run() {
  while (step()) {
  }
}

void LocalStatement::reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

namespace {

// "VARCHAR(40)" gives a string of 40; INT, REAL, FLOAT, DOUBLE, NUMERIC give numbers; a column
// without a declaration (an expression) takes the type of its first value.
FieldDef declaredField(const char *name, const char *declType) {
  FieldDef def;
  def.name = name;
  if (declType == nullptr) return def;
  std::string type = utf8::toUpper(declType);
  if (type.find("INT") != std::string::npos)
    def.type = FieldType::Integer;
  else if (type.find("REAL") != std::string::npos || type.find("FLOA") != std::string::npos ||
           type.find("DOUB") != std::string::npos || type.find("NUMERIC") != std::string::npos ||
           type.find("DECIMAL") != std::string::npos)
    def.type = FieldType::Float;
  else if (const auto open = type.find('('); open != std::string::npos)
    def.size = std::atoi(type.c_str() + open + 1);
  return def;
}

} // namespace

DataPacket LocalStatement::readAll() {
  DataPacket packet;
  const int columns = sqlite3_column_count(stmt_);
  std::vector<bool> undeclared;
  for (int c = 0; c < columns; ++c) {
    packet.fields.push_back(declaredField(sqlite3_column_name(stmt_, c), sqlite3_column_decltype(stmt_, c)));
    undeclared.push_back(sqlite3_column_decltype(stmt_, c) == nullptr);
  }
  while (step()) {
    PacketRow row;
    for (int c = 0; c < columns; ++c) {
      FieldDef &field = packet.fields[static_cast<std::size_t>(c)];
      const int storage = sqlite3_column_type(stmt_, c);
      if (undeclared[static_cast<std::size_t>(c)] && storage != SQLITE_NULL) {
        field.type = storage == SQLITE_INTEGER ? FieldType::Integer
                     : storage == SQLITE_FLOAT ? FieldType::Float
                                               : FieldType::String;
        undeclared[static_cast<std::size_t>(c)] = false;
      }
      Variant value = sqlite::column(stmt_, c, field.type);
      // A cached value longer than its declaration widens the field rather than being cut.
      if (field.type == FieldType::String && value.isString() && field.size > 0)
        field.size = std::max(field.size, static_cast<int>(utf8::length(value.str())));
      row.values.push_back(std::move(value));
    }
    packet.rows.push_back(std::move(row));
  }
  return packet;
}

void LocalStatement::forEachFirst(const std::function<void(std::string_view)> &each) {
  while (step()) each(sqlite::columnText(stmt_, 0));
}

std::vector<LocalStatement::Origin> LocalStatement::origins() const {
  const auto text = [](const char *s) { return s != nullptr ? std::string(s) : std::string(); };
  std::vector<Origin> origins;
  for (int c = 0; c < sqlite3_column_count(stmt_); ++c)
    origins.push_back({text(sqlite3_column_name(stmt_, c)), text(sqlite3_column_table_name(stmt_, c)),
                       text(sqlite3_column_origin_name(stmt_, c))});
  return origins;
}

} // namespace kdr
