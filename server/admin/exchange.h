#pragma once
// Billing parameters in and out of a spreadsheet: the client parameters ("params", table
// PARCLIEKDR) or the companies' default texts ("defaults", PAREMPKDR) as a CSV file whose header
// names the stored fields. An import checks every row with the rules of a delta before writing,
// writes all or nothing, adds the rows whose key is new and changes only the fields the file
// carries of the others; it never deletes. What it writes is a batch in the history, undoable.
#include <cstdint>
#include <string>
#include <string_view>

#include "server/history/history.h"
#include "server/store/session.h"

namespace kdr::server {

enum class ExchangeTable { Params, Defaults };

// "params" or "defaults"; raises ServiceError (invalid argument) for anything else.
ExchangeTable exchangeTable(std::string_view name);

// The rows in key order; client limits the client parameters to one client.
std::string exportCsv(Session &s, ExchangeTable table, const std::string &client = {});

struct ImportReport {
  std::int64_t batch = 0; // 0 when nothing was written (a dry run, or nothing to change)
  std::int64_t added = 0, changed = 0, unchanged = 0;
};

// Raises ServiceError (invalid argument) listing every bad row by line and field.
ImportReport importCsv(Session &s, ExchangeTable table, std::string_view text, bool dryRun,
                       const Author &author);

} // namespace kdr::server
