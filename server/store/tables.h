#pragma once
// The tables of the billing parameters and their reference data, as they stand once every
// migration has run: each column's name, type, size in characters, whether it may be null and how
// a message names it. Packets, the delta writer, the local-cache snapshots, the seed and the copy's
// scratch tables take their columns from here. The migrations keep the text they were applied
// with (a stored database ran exactly that text); a test checks that a migrated database has
// these columns.
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/datapacket.h"

namespace kdr::server {

struct Column {
  FieldDef def; // name, type and size as stored and as packets carry it
  bool notNull = false;
  std::string label;         // how messages to the user name it; empty where no user writes it
  bool optionalCode = false; // an empty code means none and is stored as null
};

struct Table {
  std::string name;
  std::vector<Column> columns;  // in stored order
  std::vector<std::string> key; // the primary key

  // A name that is not a column is a mistake in the server's own code: raises std::logic_error.
  const Column &column(std::string_view name) const;
  // Position of a column in stored order; the number of columns when there is none of that name.
  std::size_t index(std::string_view name) const;
  bool isKey(std::string_view name) const;
  // "A, B, C": every column, or the key's, for a select list or an ORDER BY.
  std::string names() const;
  std::string keyNames() const;
  std::vector<FieldDef> fields() const;
  std::vector<FieldDef> fields(std::initializer_list<std::string_view> names) const;
  // "CDEMPRESA VARCHAR(2) NOT NULL, ...": the columns of a list such as "CDEMPRESA, NMEMPRESA" as
  // a scratch table of the same values declares them.
  std::string declarations(std::string_view names) const;
  // "INSERT INTO T (A, B) VALUES (?, ?)", every column in stored order.
  std::string insertSql() const;
};

// "?, ?, ?": the parameter marks of n values.
std::string placeholders(std::size_t n);
// "A, B, C" for a select or insert list; with a prefix such as "M.", "M.A, M.B, M.C".
std::string nameList(const std::vector<std::string> &names, std::string_view prefix = {});

namespace tables {
const Table &empresa();
const Table &cliente();
const Table &operador();
const Table &operGrupOp();
const Table &autGrupOp();
const Table &tipoServ();
const Table &cliTipoServ();
const Table &parClieKdr();
const Table &parEmpKdr();
// The two texts of a client's billing row that a bulk copy's order may replace.
const std::vector<std::string> &billingTexts();
// The columns a bulk copy sets on a client's row it adds, besides the key: billingTexts() first,
// then every other column as the model row has it. KDR_LOTE_COPIA keeps them, so that the history
// shows and the undo checks what the copy set.
const std::vector<std::string> &copiedColumns();
// Every table above, in the order the first migration creates them.
const std::vector<const Table *> &all();
} // namespace tables

} // namespace kdr::server
