#include "server/methods/client_search.h"

#include <algorithm>
#include <optional>
#include <vector>

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

// The names are indexed by their runs of up to this many characters (CLIENTE_TRECHO).
constexpr std::size_t runLength = 3;
// How far the clients holding each run of a long filter are read to weigh it: its count up to
// this many, and, for a run held by more, the code of the last of them.
constexpr int runsWeighedUpTo = 200;
// The runs of a long filter weighed: any of them finds every match, so a filter longer than any
// name costs no more than one of a name's length.
constexpr std::size_t runsWeighed = 16;

// Runs every name containing the folded filter holds: the filter itself when it is no longer than
// a run, else its runs (the first few distinct ones).
std::vector<std::string> filterRuns(const std::string &folded) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < folded.size(); utf8::decode(folded, i)) starts.push_back(i);
  if (starts.size() <= runLength) return {folded};
  starts.push_back(folded.size());
  std::vector<std::string> runs;
  for (std::size_t i = 0; i + runLength < starts.size() && runs.size() < runsWeighed; ++i) {
    std::string run = folded.substr(starts[i], starts[i + runLength] - starts[i]);
    if (std::find(runs.begin(), runs.end(), run) == runs.end()) runs.push_back(std::move(run));
  }
  return runs;
}

// Of the runs, the one whose walk passes the fewest clients: the one fewest clients after `after`
// hold, or, when each is held by many, the one whose first many reach farthest in code order (a
// run every name holds reaches least far, one the matches alone hold farthest); nothing when a
// run no such client holds.
std::optional<std::string> rarestRun(Session &s, const std::vector<std::string> &runs,
                                     const std::string &after) {
  if (runs.size() == 1) return runs[0];
  const std::string held = "FROM CLIENTE_TRECHO WHERE TRECHO = ? AND CDCLIENTE > ? ORDER BY CDCLIENTE LIMIT ";
  const std::string bound = std::to_string(runsWeighedUpTo);
  std::string sql;
  Params params;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    sql += (i == 0 ? "" : " UNION ALL ") + std::string("SELECT ") + std::to_string(i) +
           " AS R, (SELECT COUNT(*) FROM (SELECT 1 " + held + bound + ") H) AS N, (SELECT CDCLIENTE " + held +
           "1 OFFSET " + std::to_string(runsWeighedUpTo - 1) + ") AS K";
    params.insert(params.end(), {runs[i], after, runs[i], after});
  }
  const Row rarest = s.query("SELECT R, N FROM (" + sql + ") W ORDER BY N, K DESC LIMIT 1", params).at(0);
  if (rarest[1].asInteger() == 0) return std::nullopt;
  return runs[static_cast<std::size_t>(rarest[0].asInteger())];
}

void appendCodes(std::vector<std::string> &codes, const Rows &rows) {
  for (const Row &row : rows) codes.push_back(row[0].asString());
}

// The codes of the first clients after `after`, up to size, whose name contains the filter: the
// clients holding its rarest run, in code order, each name compared until the page is full. The
// name is read per client walked: an engine judging the comparison selective would otherwise
// compare every name and sort the matches.
std::vector<std::string> byName(Session &s, const std::string &filter, const std::string &after, int size) {
  std::vector<std::string> codes;
  const std::optional<std::string> run = rarestRun(s, filterRuns(utf8::foldForSearch(filter)), after);
  if (!run) return codes;
  appendCodes(
      codes,
      s.query("SELECT T.CDCLIENTE FROM CLIENTE_TRECHO T WHERE T.TRECHO = ? AND T.CDCLIENTE > ? AND (SELECT " +
                  std::string(s.dialect().foldedName()) +
                  " FROM CLIENTE C WHERE C.CDCLIENTE = T.CDCLIENTE) LIKE kdr_fold(?) ESCAPE '\\' "
                  "ORDER BY T.CDCLIENTE LIMIT " +
                  std::to_string(size),
              {*run, after, likeContaining(filter)}));
  return codes;
}

// The same for the registration digits containing digits: the first clients in code order, then,
// past them, the candidates the index of digits gives, so that digits many clients hold fill the
// page early and digits few hold cost what their clients cost.
std::vector<std::string> byDigits(Session &s, const std::string &digits, const std::string &after, int size) {
  const std::string select =
      "SELECT CDCLIENTE FROM (SELECT CDCLIENTE, NRINSDIGITOS FROM CLIENTE WHERE CDCLIENTE > ? ";
  const std::string matching = " C WHERE NRINSDIGITOS LIKE ? ORDER BY CDCLIENTE LIMIT ";
  std::vector<std::string> codes;
  appendCodes(codes, s.query(select + "ORDER BY CDCLIENTE LIMIT " + std::to_string(clientsReadInOrder) + ")" +
                                 matching + std::to_string(size),
                             {after, likeContaining(digits)}));
  if (static_cast<int>(codes.size()) == size) return codes;
  Rows last = s.query("SELECT CDCLIENTE FROM CLIENTE WHERE CDCLIENTE > ? ORDER BY CDCLIENTE LIMIT 1 OFFSET " +
                          std::to_string(clientsReadInOrder - 1),
                      {after});
  if (last.empty()) return codes; // the clients ended among the first ones
  // Read as written: an engine taking the comparison into the read of the clients, betting on
  // finding a page early, would otherwise compare every later client when none matches.
  appendCodes(codes, s.query(select + "AND CDCLIENTE IN (" +
                                 std::string(s.dialect().clientsByDigits(utf8::length(digits) < 3)) +
                                 ") ORDER BY CDCLIENTE" + std::string(s.dialect().readAsWritten()) + ")" +
                                 matching + std::to_string(size - static_cast<int>(codes.size())),
                             {last[0][0], digits, likeContaining(digits)}));
  return codes;
}

} // namespace

std::string clientSearchPage(Session &s, const std::string &filter, const std::string &after, int size) {
  const Payload &fields = payload::cliente();
  const std::string select = "SELECT " + columnList(fields.fields) + " FROM CLIENTE WHERE CDCLIENTE > ?";
  const std::string page = " ORDER BY CDCLIENTE LIMIT " + std::to_string(size);
  if (filter.empty()) {
    std::string json;
    appendQueryPacketJson(json, fields, s, select + page, {after});
    return json;
  }
  // A client matches by name, by code, or by digits: the first `size` of each way, read in one
  // moment, hold the page, which the database orders as it orders codes.
  Transaction tx(s, Transaction::Mode::Read);
  std::vector<std::string> codes = byName(s, filter, after, size);
  if (looksLikeNumber(filter)) {
    const std::string digits = registrationDigits(filter);
    if (!digits.empty()) {
      std::vector<std::string> more = byDigits(s, digits, after, size);
      codes.insert(codes.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    }
  }
  std::string sql = select + " AND (CDCLIENTE = ?";
  Params params{after, filter};
  if (!codes.empty()) {
    sql += " OR CDCLIENTE IN (?";
    for (std::size_t i = 1; i < codes.size(); ++i) sql += ", ?";
    sql += ")";
    params.insert(params.end(), codes.begin(), codes.end());
  }
  Rows rows = s.query(sql + ")" + page, params);
  tx.commit();
  return packetJson(fields, std::move(rows));
}

} // namespace kdr::server
