#include "server/methods/client_search.h"

#include <algorithm>

#include "server/methods/billing.h"
#include "server/store/packets.h"

namespace kdr::server {
namespace {

// A filter a user types while looking for a registration number: digits and its punctuation.
bool looksLikeNumber(std::string_view filter) {
  return std::all_of(filter.begin(), filter.end(), [](char c) {
    return (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '/' || c == ' ';
  });
}

std::string likeContaining(std::string_view text, bool escaped) {
  std::string out = "%";
  for (char c : text) {
    if (escaped && (c == '%' || c == '_' || c == '\\')) out += '\\';
    out += c;
  }
  return out + "%";
}

// The index is read by runs of three characters: a text offers it only with three characters in
// a row that a LIKE pattern takes as written.
bool indexable(std::string_view text) {
  int run = 0;
  for (unsigned char c : text) {
    if (c == '%' || c == '_')
      run = 0;
    else if ((c & 0xC0) != 0x80 && ++run == 3)
      return true;
  }
  return false;
}

// The exact comparison of the search, with its values.
struct Matching {
  std::string condition;
  Params params;
};

Matching matching(const std::string &filter, const std::string &numberDigits) {
  Matching m{"(UPPER(NMFANTCLIE) LIKE UPPER(?) ESCAPE '\\' OR CDCLIENTE = ?", {}};
  m.params = {likeContaining(filter, true), filter};
  if (!numberDigits.empty()) {
    m.condition += " OR NRINSDIGITOS LIKE ?";
    m.params.push_back(likeContaining(numberDigits, true));
  }
  m.condition += ")";
  return m;
}

// Codes of every client the filter may match, through the indexes: more than the exact comparison
// may accept (the index reads wildcards as wildcards and folds every letter), never fewer.
Matching candidates(const Dialect &dialect, const std::string &filter, const std::string &numberDigits) {
  Matching m{"SELECT CDCLIENTE FROM CLIENTE WHERE CDCLIENTE = ? UNION " +
                 std::string(dialect.clientsByName()),
             {filter, likeContaining(filter, false)}};
  if (!numberDigits.empty()) {
    m.condition += " UNION " + std::string(dialect.clientsByDigits());
    m.params.push_back(likeContaining(numberDigits, false));
  }
  return m;
}

void append(Params &to, const Params &from) { to.insert(to.end(), from.begin(), from.end()); }

} // namespace

Variant clientSearchPage(Session &s, const std::string &filter, const std::string &after, int size) {
  const auto &fields = payload::cliente();
  const std::string select = "SELECT " + columnList(fields) + " FROM ";
  const std::string page = " ORDER BY CDCLIENTE LIMIT ";
  if (filter.empty())
    return packetFromRows(
        fields, s.query(select + "CLIENTE WHERE CDCLIENTE > ?" + page + std::to_string(size), {after}));

  const std::string digits = looksLikeNumber(filter) ? registrationDigits(filter) : "";
  const Matching exact = matching(filter, digits);
  const std::string window = std::to_string(clientsReadInOrder);
  Transaction tx(s, Transaction::Mode::Read);
  Params params{after};
  append(params, exact.params);
  Rows rows = s.query(select + "(SELECT * FROM CLIENTE WHERE CDCLIENTE > ? ORDER BY CDCLIENTE LIMIT " +
                          window + ") C WHERE " + exact.condition + page + std::to_string(size),
                      params);
  if (static_cast<int>(rows.size()) == size) return packetFromRows(fields, std::move(rows));
  Rows last = s.query("SELECT CDCLIENTE FROM CLIENTE WHERE CDCLIENTE > ? ORDER BY CDCLIENTE LIMIT 1 OFFSET " +
                          std::to_string(clientsReadInOrder - 1),
                      {after});
  if (last.empty()) return packetFromRows(fields, std::move(rows)); // the clients ended inside the window

  // Past the window only clients the filter may match are read, so a filter few names contain
  // costs what its matches cost; one the index cannot serve reads on in code order.
  std::string sql = select + "CLIENTE WHERE CDCLIENTE > ?";
  params = {last[0][0]};
  if (indexable(filter) && (digits.empty() || indexable(digits))) {
    const Matching indexed = candidates(s.dialect(), filter, digits);
    sql += " AND CDCLIENTE IN (" + indexed.condition + ")";
    append(params, indexed.params);
  }
  append(params, exact.params);
  Rows more = s.query(sql + " AND " + exact.condition + page + std::to_string(size - rows.size()), params);
  tx.commit();
  rows.insert(rows.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
  return packetFromRows(fields, std::move(rows));
}

} // namespace kdr::server
