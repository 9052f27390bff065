#include "server/methods/row_locks.h"

namespace kdr::server {

void lockTableRows(Session &s, const Table &table, std::string_view where, const Params &params) {
  const std::string_view lock = s.dialect().lockRows();
  if (lock.empty()) return;
  // Counted rather than returned: a copy to every client locks them all without holding them.
  s.query("SELECT COUNT(*) FROM (SELECT 1 FROM " + table.name + " WHERE " + std::string(where) +
              " ORDER BY " + table.keyNames() + std::string(lock) + ") X",
          params);
}

void lockClients(Session &s, std::string_view where, const Params &params) {
  lockTableRows(s, tables::cliente(), where, params);
}

} // namespace kdr::server
