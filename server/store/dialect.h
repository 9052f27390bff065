#pragma once
// Everything that differs between SQLite and PostgreSQL, in one place: placeholders, the
// null-safe comparison, how a writing transaction starts, and which numbered migrations it runs
// (among them how the digits of a registration number are kept). No method asks which engine it
// runs on.
#include <string>
#include <string_view>
#include <vector>

namespace kdr::server {

class Dialect {
public:
  virtual ~Dialect() = default;
  virtual std::string_view engine() const = 0;
  // The statement text the engine accepts for a text written with "?" placeholders.
  virtual std::string placeholders(std::string_view sql) const = 0;
  // Operator comparing two values where null equals null.
  virtual std::string_view sameValue() const = 0;
  virtual std::string_view beginRead() const = 0;
  virtual std::string_view beginWrite() const = 0;
  // A query taking a lock on one text ("?") until the transaction ends, so that writers of the
  // same text run one after the other; empty where a writing transaction already excludes every
  // other writer.
  virtual std::string_view lockWriters() const = 0;
  // Ends a SELECT so that it locks the rows it reads, in the order it reads them, until the
  // transaction ends: another writer of those rows waits, and whoever waited reads them as the
  // holder left them. Empty where a writing transaction already excludes every other writer.
  virtual std::string_view lockRows() const = 0;
  // Statements taking and releasing a lock held while one server migrates, so that servers
  // started together on one database migrate one after the other; empty where the engine's
  // writing transaction already does it.
  virtual std::string_view lockMigrations() const = 0;
  virtual std::string_view unlockMigrations() const = 0;
  // Counts the tables named "?" (in capitals), so that a database is inspected without failing.
  virtual std::string_view countTables() const = 0;
  // Codes of the clients whose registration digits may contain the text "?" (as typed, never a
  // pattern), read through an index of their short runs of characters: possibly more clients than
  // contain it, never fewer. A text of one or two characters is short and looked up as one run.
  virtual std::string_view clientsByDigits(bool shortText) const = 0;
  // A client's trade name (of CLIENTE C) as the search compares it: upper case, without accents.
  virtual std::string_view foldedName() const = 0;
  // Aggregate joining the non-null texts of a group with ", ", in the order the rows come.
  virtual std::string listAggregate(std::string_view expr) const = 0;
  // Ends a subquery the engine is to read as written, without taking the outer query's conditions
  // into it (where its planner would).
  virtual std::string_view readAsWritten() const = 0;
  // Migration n (1-based) is element n-1; the schema version is the number applied.
  virtual const std::vector<std::string> &migrations() const = 0;
};

const Dialect &sqliteDialect();
const Dialect &postgresqlDialect();

} // namespace kdr::server
