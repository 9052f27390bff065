#include "server/methods/client_search.h"

#include <algorithm>

#include "platform/rtl/utf8.h"
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

// A LIKE pattern for texts containing text as written ("\\" escapes).
std::string likeContaining(std::string_view text) {
  std::string out = "%";
  for (char c : text) {
    if (c == '%' || c == '_' || c == '\\') out += '\\';
    out += c;
  }
  return out + "%";
}

// The exact comparison of the search, with its values: names compare folded (case and accents
// aside), with "%" and "_" taken as written.
struct Matching {
  std::string condition;
  Params params;
};

Matching matching(const std::string &filter, const std::string &numberDigits) {
  Matching m{"(kdr_fold(NMFANTCLIE) LIKE kdr_fold(?) ESCAPE '\\' OR CDCLIENTE = ?", {}};
  m.params = {likeContaining(filter), filter};
  if (!numberDigits.empty()) {
    m.condition += " OR NRINSDIGITOS LIKE ?";
    m.params.push_back(likeContaining(numberDigits));
  }
  m.condition += ")";
  return m;
}

// One or two characters are looked up in the index as one run; longer texts as the runs they hold.
bool shortText(std::string_view text) { return utf8::length(text) < 3; }

// Codes of every client the filter may match, through the indexes: more than the exact comparison
// may accept, never fewer.
Matching candidates(const Dialect &dialect, const std::string &filter, const std::string &numberDigits) {
  Matching m{"SELECT CDCLIENTE FROM CLIENTE WHERE CDCLIENTE = ? UNION " +
                 std::string(dialect.clientsByName(shortText(filter))),
             {filter, filter}};
  if (!numberDigits.empty()) {
    m.condition += " UNION " + std::string(dialect.clientsByDigits(shortText(numberDigits)));
    m.params.push_back(numberDigits);
  }
  return m;
}

void append(Params &to, const Params &from) { to.insert(to.end(), from.begin(), from.end()); }

} // namespace

std::string clientSearchPage(Session &s, const std::string &filter, const std::string &after, int size) {
  const Payload &fields = payload::cliente();
  const std::string select = "SELECT " + columnList(fields.fields) + " FROM ";
  const std::string page = " ORDER BY CDCLIENTE LIMIT ";
  if (filter.empty()) {
    std::string json;
    appendQueryPacketJson(json, fields, s,
                          select + "CLIENTE WHERE CDCLIENTE > ?" + page + std::to_string(size), {after});
    return json;
  }

  const std::string digits = looksLikeNumber(filter) ? registrationDigits(filter) : "";
  const Matching exact = matching(filter, digits);
  const std::string window = std::to_string(clientsReadInOrder);
  Transaction tx(s, Transaction::Mode::Read);
  Params params{after};
  append(params, exact.params);
  Rows rows = s.query(select + "(SELECT * FROM CLIENTE WHERE CDCLIENTE > ? ORDER BY CDCLIENTE LIMIT " +
                          window + ") C WHERE " + exact.condition + page + std::to_string(size),
                      params);
  if (static_cast<int>(rows.size()) == size) return packetJson(fields, std::move(rows));
  Rows last = s.query("SELECT CDCLIENTE FROM CLIENTE WHERE CDCLIENTE > ? ORDER BY CDCLIENTE LIMIT 1 OFFSET " +
                          std::to_string(clientsReadInOrder - 1),
                      {after});
  if (last.empty()) return packetJson(fields, std::move(rows)); // the clients ended inside the window

  // Past the window only clients the filter may match are read, so a filter few names contain
  // costs what its matches cost. The exact comparison is made on the candidates alone: an engine
  // taking it into the read of the clients, betting on finding a page early, would otherwise
  // compare every later client when none matches.
  const Matching indexed = candidates(s.dialect(), filter, digits);
  params = {last[0][0]};
  append(params, indexed.params);
  append(params, exact.params);
  Rows more =
      s.query(select + "(SELECT * FROM CLIENTE WHERE CDCLIENTE > ? AND CDCLIENTE IN (" + indexed.condition +
                  ") ORDER BY CDCLIENTE" + std::string(s.dialect().readAsWritten()) + ") C WHERE " +
                  exact.condition + page + std::to_string(size - rows.size()),
              params);
  tx.commit();
  rows.insert(rows.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
  return packetJson(fields, std::move(rows));
}

} // namespace kdr::server
