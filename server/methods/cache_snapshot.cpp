#include "server/methods/cache_snapshot.h"

#include <charconv>
#include <optional>
#include <vector>

#include "platform/data/packet_json.h"
#include "platform/data/packet_reader.h"

#include "server/errors.h"
#include "server/store/cached_tables.h"
#include "server/store/packets.h"

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

namespace {

// The rows of one answer: those changed since the mark (all when whole), at most limit of them
// when limit is set, after the position of the previous page when there is one. A whole table
// is paged by key; changes are paged by change number, which is unique to each write and found
// through its index however large the table.
struct Changes {
  std::string mark;
  bool whole = false;
  Rows rows;
  Rows removed;
  std::string next; // the position after the last row read, when more rows follow
};

// A page's position: the key of its last row, or the change number of its last row, as a JSON
// array.
std::string positionJson(const Row &values) {
  std::string out = "[";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) out += ',';
    appendVariantJson(out, values[i]);
  }
  return out + "]";
}

Row positionOf(const CachedTable &t, const std::string &text, bool whole) {
  if (text.empty()) return {};
  const std::string message = "Posição de página inválida para a tabela " + t.name + ".";
  Variant position;
  try {
    position = variantFromJsonText(text);
  } catch (const std::exception &) {
    refuse(message);
  }
  if (!position.isArray() || position.array().size() != (whole ? t.key.size() : 1)) refuse(message);
  for (const Variant &v : position.array())
    if (whole ? !v.isString() : v.kind() != Variant::Kind::Integer) refuse(message);
  return position.array();
}

Changes readChanges(Session &s, const CachedTable &t, const std::string &mark, const std::string &after,
                    std::optional<std::size_t> limit) {
  // One moment of the database: the number read covers exactly the rows and removals read.
  Transaction tx(s, Transaction::Mode::Read);
  const std::string base = s.query("SELECT IDBASE FROM KDR_CACHE_BASE")[0][0].asString();
  const std::int64_t now =
      s.query("SELECT NRVERSAO FROM KDR_CACHE_VERSAO WHERE TABELA = ?", {t.name})[0][0].asInteger();
  const Mark since = parseMark(mark);
  Changes out;
  out.mark = base + ":" + std::to_string(now);
  out.whole = since.base != base || since.number < 0 || since.number > now;
  const Row position = positionOf(t, after, out.whole);
  const bool byNumber = !out.whole && limit;
  const std::string order = byNumber ? std::string("NRVERSAO") : keyOrder(t);

  std::string where;
  Params params;
  if (!out.whole) {
    where = " WHERE NRVERSAO > ?";
    params.emplace_back(since.number);
  }
  if (!position.empty()) {
    where += (where.empty() ? " WHERE (" : " AND (") + order + ") > (" + placeholders(position.size()) + ")";
    params.insert(params.end(), position.begin(), position.end());
  }
  std::string sql = "SELECT " + columnList(t.fields) + (byNumber ? ", NRVERSAO" : "") + " FROM " + t.name +
                    where + " ORDER BY " + order;
  // One row more than the page tells whether another page follows.
  if (limit) sql += " LIMIT " + std::to_string(*limit + 1);
  out.rows = s.query(sql, params);
  if (limit && out.rows.size() > *limit) {
    out.rows.pop_back();
    const Row &last = out.rows.back();
    out.next =
        positionJson(byNumber ? Row{last.back()}
                              : Row(last.begin(), last.begin() + static_cast<std::ptrdiff_t>(t.key.size())));
  }
  if (byNumber)
    for (Row &row : out.rows) row.pop_back();
  // Removed keys are short and come with the first page only.
  if (!out.whole && position.empty()) {
    std::string columns;
    for (std::size_t i = 0; i < t.key.size(); ++i)
      columns += (i ? ", CHAVE" : "CHAVE") + std::to_string(i + 1);
    out.removed =
        s.query("SELECT " + columns + " FROM KDR_CACHE_REMOVIDO WHERE TABELA = ? AND NRVERSAO > ? ORDER BY " +
                    columns,
                {t.name, since.number});
  }
  tx.commit();
  return out;
}

std::size_t pageSize(const std::string &text) {
  std::size_t size = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), size);
  if (ec != std::errc() || end != text.data() + text.size() || size < 1 || size > maxPageRows)
    refuse("O tamanho da página deve estar entre 1 e " + std::to_string(maxPageRows) + ".");
  return size;
}

Variant answerOf(const CachedTable &t, Changes changes) {
  return Variant(Variant::Array{Variant(std::move(changes.mark)), Variant(changes.whole ? "T" : ""),
                                packetFromRows(t.fields, std::move(changes.rows)),
                                packetFromRows(keyFields(t), std::move(changes.removed))});
}

} // namespace

Variant GetChanges(Session &s, const std::string &name, const std::string &mark) {
  const CachedTable &t = cachedTable(name);
  return answerOf(t, readChanges(s, t, mark, {}, std::nullopt));
}

Variant GetChangesPage(Session &s, const std::string &name, const std::string &mark,
                       const std::string &position, const std::string &size) {
  const CachedTable &t = cachedTable(name);
  Changes changes = readChanges(s, t, mark, position, pageSize(size));
  std::string next = std::move(changes.next);
  Variant answer = answerOf(t, std::move(changes));
  answer.array().push_back(Variant(std::move(next)));
  return answer;
}

std::int64_t GetRowCount(Session &s, const std::string &name) {
  const CachedTable &t = cachedTable(name);
  return s.query("SELECT COUNT(*) FROM " + t.name)[0][0].asInteger();
}

} // namespace kdr::server::rdmCache
