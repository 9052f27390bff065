#pragma once
// The tables the host keeps a local copy of, whole: every column, and the key that names a row of
// the copy. Each keeps a change number (NRVERSAO) kept by the database on
// every write, so a host asks for what changed since the number it last saw.
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/datapacket.h"

namespace kdr::server {

struct CachedTable {
  std::string name;
  std::vector<FieldDef> fields; // as stored, key first
  std::vector<std::string> key; // at most three columns, all texts
};

const std::vector<CachedTable> &cachedTables();
// Null for a table the host does not keep.
const CachedTable *findCachedTable(std::string_view name);

// Where removed keys are kept: one text column per key column, empty for the ones a key lacks.
inline constexpr std::size_t removedKeyColumns = 3;

} // namespace kdr::server
