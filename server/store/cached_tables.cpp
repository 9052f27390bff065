#include "server/store/cached_tables.h"

#include "server/store/tables.h"

namespace kdr::server {

const std::vector<CachedTable> &cachedTables() {
  auto whole = [](const Table &t) { return CachedTable{t.name, t.fields(), t.key}; };
  static const std::vector<CachedTable> cached{whole(tables::cliente()),   whole(tables::empresa()),
                                               whole(tables::operador()),  whole(tables::operGrupOp()),
                                               whole(tables::autGrupOp()), whole(tables::parClieKdr())};
  return cached;
}

const CachedTable *findCachedTable(std::string_view name) {
  for (const CachedTable &t : cachedTables())
    if (t.name == name) return &t;
  return nullptr;
}

} // namespace kdr::server
