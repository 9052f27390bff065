#pragma once
// Billing parameters in and out of a spreadsheet: the client parameters ("params", table
// PARCLIEKDR) or the companies' default texts ("defaults", PAREMPKDR) as a CSV file whose header
// names the stored fields. An import reads the file a record at a time and writes each row with
// the rules of a delta inside one transaction: all or nothing. It adds the rows whose key is new
// and changes only the fields the file carries of the others; it never deletes. What it writes is
// a batch in the history, undoable.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "server/admin/csv.h"
#include "server/history/history.h"
#include "server/methods/work.h"
#include "server/store/session.h"

namespace kdr::server {

enum class ExchangeTable { Params, Defaults };

// "params" or "defaults"; raises ServiceError (invalid argument) for anything else.
ExchangeTable exchangeTable(std::string_view name);

struct ExportOptions {
  std::string client; // only this client's parameters
  // After the stored fields, columns for people to read (names of the client, the billing type and
  // the company, the registration number as the screens show it); an import passes over them.
  bool readable = false;
};

// The rows in key order, written as they are read.
void exportCsv(Session &s, ExchangeTable table, std::ostream &out, const ExportOptions &options = {});
std::string exportCsv(Session &s, ExchangeTable table, const std::string &client = {});

struct ImportOptions {
  bool dryRun = false; // everything an import does, then rolled back
  csv::Encoding encoding = csv::Encoding::Utf8;
  // Told the records done of the file's records (unknown, 0, for a file that cannot be read twice)
  // every so many records; a stop asked there rolls the import back whole.
  WorkProgress *progress = nullptr;
  std::int64_t recordsPerStep = 1000;
};

struct ImportReport {
  std::int64_t batch = 0; // 0 when nothing was written (a dry run, or nothing to change)
  std::int64_t added = 0, changed = 0, unchanged = 0;
};

// Raises ServiceError (invalid argument) listing the bad rows by line and field; nothing is kept.
ImportReport importCsv(Session &s, ExchangeTable table, std::istream &file, const ImportOptions &options,
                       const Author &author);
ImportReport importCsv(Session &s, ExchangeTable table, std::string_view text, bool dryRun,
                       const Author &author);

} // namespace kdr::server
