#pragma once
// The host's local database: one SQLite file holding the reference tables that the screens read
// with local queries, and the cached copies refreshed from the application server. The file and
// its tables are created on first open.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/first_loads.h"
#include "platform/rtl/datapacket.h"

struct sqlite3;

namespace kdr {

class TLocalConnection {
public:
  explicit TLocalConnection(std::string path);
  ~TLocalConnection();
  TLocalConnection(const TLocalConnection &) = delete;
  TLocalConnection &operator=(const TLocalConnection &) = delete;

  const std::string &Path() const { return path_; }
  sqlite3 *handle() const { return db_; }

  void execute(const std::string &sql);
  // The table's name as created, matched regardless of case; empty when there is none.
  std::string tableName(std::string_view name) const;
  std::vector<std::string> columnNames(const std::string &table) const;
  // Raises EDatabaseError with a message for the user; the engine's text stays out of it.
  [[noreturn]] void fail(const std::string &what) const;

  // Rows a local query reads per packet unless it says otherwise (TADOIBQuery::PacketRecords): a
  // list shows its first rows without reading a table of a million clients.
  int PacketRecords = 500;

  // Statements of this connection wait for the tables they name while their first copy loads.
  void awaitFirstLoads(const FirstLoads *loads) { loads_ = loads; }
  const FirstLoads *firstLoads() const { return loads_; }

private:
  std::string path_;
  sqlite3 *db_ = nullptr;
  const FirstLoads *loads_ = nullptr;
};

// The transaction of the local file: what is written between StartTransaction and Commit lands
// whole or not at all.
class TLocalTransaction {
public:
  explicit TLocalTransaction(TLocalConnection &connection) : connection_(connection) {}
  void StartTransaction();
  void Commit();
  void Rollback();
  bool InTransaction() const { return active_; }

private:
  TLocalConnection &connection_;
  bool active_ = false;
};

// The host's general data module. Its two connection names, the ADO and the IB one, reach the
// same file here.
class TdtmDBGeral {
public:
  explicit TdtmDBGeral(std::string path);
  // The tables whose first copy loads in the background; the screens' statements wait for them.
  FirstLoads firstLoads;
  TLocalConnection adcGeral;
  TLocalConnection &dtbGeral = adcGeral;
  TLocalTransaction ibtGeral{adcGeral};

  // Replaces every row of a local table with the packet's rows in one transaction. Columns are
  // matched by name; a table that the local file lacks raises. The table's refresh mark is dropped.
  void replaceTable(std::string_view table, const DataPacket &rows);

  // The mark the server gave with the table's last refresh; empty when there is none.
  std::string cacheMark(std::string_view table);
  // In one transaction: every row goes first when whole is set; otherwise the rows whose keys
  // (the removed packet's fields) are listed go, and each row of rows replaces the row of its key.
  // The mark is kept with the rows it describes.
  void applyChanges(std::string_view table, const DataPacket &rows, const DataPacket &removed, bool whole,
                    const std::string &mark);
};

// The data module of the running host; kdr-host creates it at start.
extern TdtmDBGeral *dtmDBGeral;

} // namespace kdr
