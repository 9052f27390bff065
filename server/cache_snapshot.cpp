#include "server/cache_snapshot.h"

#include <charconv>
#include <vector>

#include "server/cached_tables.h"
#include "server/errors.h"
#include "server/packets.h"

namespace kdr::server::rdmCache {
namespace {

const CachedTable &cachedTable(const std::string &name) {
  if (const CachedTable *t = findCachedTable(name)) return *t;
  throw ServiceError(ErrorCode::NotFound,
                     "A tabela " + quoted(name) + " não está disponível para o cache local.");
}

std::string keyOrder(const CachedTable &t) {
  std::string out;
  for (const std::string &k : t.key) out += (out.empty() ? "" : ", ") + k;
  return out;
}

Variant rowsOf(Session &s, const CachedTable &t, std::string_view where, const Params &params) {
  return packetFromRows(t.fields, s.query("SELECT " + columnList(t.fields) + " FROM " + t.name +
                                              std::string(where) + " ORDER BY " + keyOrder(t),
                                          params));
}

std::vector<FieldDef> keyFields(const CachedTable &t) {
  return std::vector<FieldDef>(t.fields.begin(),
                               t.fields.begin() + static_cast<std::ptrdiff_t>(t.key.size()));
}

// A mark is "BASE:NUMBER": the database it was read from and the table's change number then.
struct Mark {
  std::string base;
  std::int64_t number = -1;
};

Mark parseMark(std::string_view text) {
  Mark mark;
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return mark;
  const std::string_view digits = text.substr(colon + 1);
  std::int64_t n = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (ec != std::errc() || end != digits.data() + digits.size() || n < 0) return mark;
  mark.base = std::string(text.substr(0, colon));
  mark.number = n;
  return mark;
}

} // namespace

std::string GetTable(Session &s, const std::string &name) {
  const CachedTable &t = cachedTable(name);
  // A whole table may be large: written out as it is read, never held as rows.
  std::string json;
  appendQueryPacketJson(json, t.fields, s,
                        "SELECT " + columnList(t.fields) + " FROM " + t.name + " ORDER BY " + keyOrder(t));
  return json;
}

Variant GetChanges(Session &s, const std::string &name, const std::string &mark) {
  const CachedTable &t = cachedTable(name);
  // One moment of the database: the number read covers exactly the rows and removals read.
  Transaction tx(s, Transaction::Mode::Read);
  const std::string base = s.query("SELECT IDBASE FROM KDR_CACHE_BASE")[0][0].asString();
  const std::int64_t now =
      s.query("SELECT NRVERSAO FROM KDR_CACHE_VERSAO WHERE TABELA = ?", {t.name})[0][0].asInteger();
  const Mark since = parseMark(mark);
  const bool whole = since.base != base || since.number < 0 || since.number > now;

  Variant rows = whole ? rowsOf(s, t, "", {}) : rowsOf(s, t, " WHERE NRVERSAO > ?", {since.number});
  Rows removed;
  if (!whole) {
    std::string columns;
    for (std::size_t i = 0; i < t.key.size(); ++i)
      columns += (i ? ", CHAVE" : "CHAVE") + std::to_string(i + 1);
    removed = s.query("SELECT " + columns +
                          " FROM KDR_CACHE_REMOVIDO WHERE TABELA = ? AND NRVERSAO > ? ORDER BY " + columns,
                      {t.name, since.number});
  }
  tx.commit();
  return Variant(Variant::Array{Variant(base + ":" + std::to_string(now)), Variant(whole ? "T" : ""),
                                std::move(rows), packetFromRows(keyFields(t), std::move(removed))});
}

} // namespace kdr::server::rdmCache
