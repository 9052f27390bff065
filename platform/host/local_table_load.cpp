#include "platform/host/local_table_load.h"

#include <algorithm>

#include "platform/host/local_text_index.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/utf8.h"

namespace kdr {

namespace {

// Identifiers cannot be bound; they are only ever names read back from the file itself.
std::string quoted(const std::string &identifier) { return "\"" + identifier + "\""; }

int indexOf(const std::vector<FieldDef> &fields, std::string_view name) {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (utf8::sameText(fields[i].name, name)) return static_cast<int>(i);
  return -1;
}

void runWith(LocalStatement &stmt, const PacketRow &row, const std::vector<int> &sources) {
  for (std::size_t i = 0; i < sources.size(); ++i)
    stmt.bind(static_cast<int>(i + 1), row.values.at(static_cast<std::size_t>(sources[i])));
  stmt.run();
  stmt.reset();
}

} // namespace

LocalTableLoad::LocalTableLoad(TLocalConnection &connection, std::string_view table,
                               const std::vector<FieldDef> &rowFields, const std::vector<FieldDef> &keyFields)
    : connection_(connection), transaction_(connection), table_(connection.tableName(table)),
      rowFields_(rowFields), keyFields_(keyFields) {
  if (table_.empty())
    throw EDatabaseError("Tabela " + std::string(table) + " não existe no banco de dados local.");

  // The received columns that the local table also has.
  const std::vector<std::string> tableColumns = connection.columnNames(table_);
  std::string columns, values;
  for (const auto &column : tableColumns) {
    const int index = indexOf(rowFields_, column);
    if (index < 0) continue;
    columns += (insertSources_.empty() ? "" : ", ") + quoted(column);
    values += insertSources_.empty() ? "?" : ", ?";
    insertSources_.push_back(index);
  }
  if (insertSources_.empty()) mismatch();

  std::string where;
  for (const FieldDef &key : keyFields_) {
    const int index = indexOf(rowFields_, key.name);
    const bool local = std::any_of(tableColumns.begin(), tableColumns.end(),
                                   [&](const std::string &c) { return utf8::sameText(c, key.name); });
    if (index < 0 || !local) mismatch();
    where += (where.empty() ? "" : " AND ") + quoted(key.name) + " = ?";
    keySources_.push_back(index);
  }

  transaction_.StartTransaction();
  try {
    insert_ = std::make_unique<LocalStatement>(connection_, "INSERT INTO " + quoted(table_) + " (" + columns +
                                                                ") VALUES (" + values + ")");
    if (!where.empty())
      deleteKey_ =
          std::make_unique<LocalStatement>(connection_, "DELETE FROM " + quoted(table_) + " WHERE " + where);
  } catch (...) {
    transaction_.Rollback();
    throw;
  }
}

LocalTableLoad::~LocalTableLoad() {
  // Statements end before the transaction does.
  insert_.reset();
  deleteKey_.reset();
  try {
    transaction_.Rollback();
  } catch (const Exception &) {
    // A failed rollback leaves the file to SQLite's own recovery: nothing of the load was committed.
  }
}

std::string LocalTableLoad::markOf(TLocalConnection &connection, std::string_view table) {
  LocalStatement stmt(connection, "SELECT MARCA FROM KDR_CACHE_MARCA WHERE TABELA = :TABELA");
  stmt.bind("TABELA", Variant(utf8::toUpper(std::string(table))));
  const DataPacket found = stmt.readAll();
  return found.rows.empty() ? std::string() : found.rows.front().values.front().asString();
}

void LocalTableLoad::mismatch() const {
  throw EDatabaseError("A cópia recebida não corresponde à tabela " + table_ + " do banco de dados local.");
}

void LocalTableLoad::checkFields(const DataPacket &packet, const std::vector<FieldDef> &expected) const {
  if (packet.fields.size() != expected.size()) mismatch();
  for (std::size_t i = 0; i < expected.size(); ++i)
    if (!utf8::sameText(packet.fields[i].name, expected[i].name)) mismatch();
}

void LocalTableLoad::clear() { reindex_ = clearIndexedTable(connection_, table_); }

void LocalTableLoad::remove(const DataPacket &keys) {
  if (keys.rows.empty()) return;
  if (!deleteKey_) mismatch();
  checkFields(keys, keyFields_);
  std::vector<int> positions(keyFields_.size());
  for (std::size_t i = 0; i < positions.size(); ++i) positions[i] = static_cast<int>(i);
  for (const auto &row : keys.rows) runWith(*deleteKey_, row, positions);
}

void LocalTableLoad::write(const DataPacket &rows, bool replace) {
  checkFields(rows, rowFields_);
  if (replace && !deleteKey_) mismatch();
  for (const auto &row : rows.rows) {
    if (replace) runWith(*deleteKey_, row, keySources_);
    runWith(*insert_, row, insertSources_);
  }
}

void LocalTableLoad::commit(const std::string &mark) {
  LocalStatement keep(connection_, "INSERT OR REPLACE INTO KDR_CACHE_MARCA (TABELA, MARCA) VALUES (?, ?)");
  keep.bind(1, Variant(utf8::toUpper(table_)));
  keep.bind(2, mark.empty() ? Variant(nullptr) : Variant(mark));
  keep.run();
  insert_.reset();
  deleteKey_.reset();
  if (reindex_) reindexTable(connection_, table_);
  transaction_.Commit();
}

} // namespace kdr
