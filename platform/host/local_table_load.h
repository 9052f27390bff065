#pragma once
// Writes what the server sends of one cached table into the local file, inside one transaction
// that may span many answers: a load that fails part way leaves the table and its mark as they
// were before it began, never a part of a table.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/local_statement.h"
#include "platform/host/localdb.h"
#include "platform/rtl/datapacket.h"

namespace kdr {

class LocalTableLoad {
public:
  // Begins the transaction. Rows carry the fields of rowFields (matched to the local columns by
  // name, regardless of case); a key is the fields of keyFields, which rowFields must hold. Raises
  // EDatabaseError when the local file lacks the table or the fields do not fit it.
  LocalTableLoad(TLocalConnection &connection, std::string_view table, const std::vector<FieldDef> &rowFields,
                 const std::vector<FieldDef> &keyFields);
  // Rolls back what was written unless committed.
  ~LocalTableLoad();
  LocalTableLoad(const LocalTableLoad &) = delete;
  LocalTableLoad &operator=(const LocalTableLoad &) = delete;

  // The mark kept with the table's last committed load; empty when there is none.
  static std::string markOf(TLocalConnection &connection, std::string_view table);

  const std::string &table() const { return table_; }
  // Every row of the table goes.
  void clear();
  // The rows of the listed keys go; keys is a packet of the key fields, in their order.
  void remove(const DataPacket &keys);
  // Adds the rows; with replace, each first takes the place of the row of its key.
  void write(const DataPacket &rows, bool replace);
  // Keeps the mark with the rows (none when empty) and ends the transaction.
  void commit(const std::string &mark);

private:
  [[noreturn]] void mismatch() const;
  void checkFields(const DataPacket &packet, const std::vector<FieldDef> &expected) const;

  TLocalConnection &connection_;
  TLocalTransaction transaction_;
  std::string table_;
  std::vector<FieldDef> rowFields_;
  std::vector<FieldDef> keyFields_;
  std::unique_ptr<LocalStatement> insert_;
  std::vector<int> insertSources_; // for each placeholder, the row's value it takes
  std::unique_ptr<LocalStatement> deleteKey_;
  std::vector<int> keySources_; // for each key field, its place among the row's values
  bool reindex_ = false;        // the table was emptied: its index is written whole at commit
};

} // namespace kdr
