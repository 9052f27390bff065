#pragma once
// One prepared statement of the local database, finalized when it goes out of scope. Values are
// always bound, never spliced into the SQL text.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/datapacket.h"
#include "platform/rtl/variant.h"

struct sqlite3_stmt;

namespace kdr {

class TLocalConnection;

class LocalStatement {
public:
  LocalStatement(const TLocalConnection &connection, const std::string &sql);
  ~LocalStatement();
  LocalStatement(const LocalStatement &) = delete;
  LocalStatement &operator=(const LocalStatement &) = delete;

  // Named parameters are written ":NAME" in the SQL; every occurrence of a name takes the value.
  void bind(const std::string &name, const Variant &value);
  void bind(int position, const Variant &value);
  // Runs a statement that returns no rows.
  void run();
  // Ready to run again with new values.
  void reset();
  // Runs a query and returns its rows as a packet, typed from the columns' declarations.
  DataPacket readAll();
  // Runs a query and hands the first column of each row, as text, to each, without keeping them.
  void forEachFirst(const std::function<void(std::string_view)> &each);

  // Where a column of the query's rows is read from: the table and column as created, empty for
  // an expression.
  struct Origin {
    std::string name; // the column's name among the query's rows
    std::string table;
    std::string column;
  };
  std::vector<Origin> origins() const;

private:
  bool step();
  const TLocalConnection &connection_;
  sqlite3_stmt *stmt_ = nullptr;
};

} // namespace kdr
