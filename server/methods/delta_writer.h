#pragma once
// Applies a dataset's change log to one table: every row is checked before anything is written,
// then inserts, modifications and deletions run in the order they were made. A modification or
// deletion finds its row by the original key and the original values of the fields it changes;
// when none matches, another desktop got there first and the whole delta is refused.
// The caller owns the transaction.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/datapacket.h"
#include "server/history/history.h"
#include "server/store/session.h"
#include "server/store/tables.h"

namespace kdr::server {

class DeltaRow {
public:
  DeltaRow(const std::vector<Column> &columns, const Row &values, const std::vector<bool> &changed)
      : columns_(columns), values_(values), changed_(changed) {}
  const Variant &operator[](std::string_view column) const;
  std::string text(std::string_view column) const { return (*this)[column].asString(); }
  // The value as a message quotes it (see quoted()).
  std::string shown(std::string_view column) const;
  bool changed(std::string_view column) const;

private:
  std::size_t index(std::string_view column) const;
  const std::vector<Column> &columns_;
  const Row &values_;
  const std::vector<bool> &changed_;
};

// A table as a delta writes it: its columns and key, and the rules of its values.
struct DeltaTable {
  const Table &stored;
  // Fields the dataset carries for display (joined names); a delta may hold them, they are not stored.
  std::vector<std::string> shownOnly{};
  // The rules of the table's values; sees the row's new values and which of them the change sets.
  std::function<void(Session &, const DeltaRow &)> check;
  // Messages naming a row by its key values: changed or removed meanwhile, and already there.
  std::function<std::string(const DeltaRow &)> conflictMessage;
  std::function<std::string(const DeltaRow &)> duplicateMessage;
  // Columns whose values no two rows may share: a new row, or a row whose values in them change,
  // is refused with uniqueMessage when a stored row already has them. Rows stored before the rule
  // stay readable and editable. Empty: the table has no such rule.
  std::vector<std::string> unique{};
  std::string uniqueMessage{};
  // The columns that name a row in the history: client, billing type, company ("" for none). The
  // clients so named are locked before the delta writes their rows (see row_locks.h).
  std::string historyClient{}, historyType{}, historyCompany{};
  // The row of that key as the desktop reads it now (a packet, without a row when it is gone), for
  // the answer to a conflict; empty: a conflict carries only its message.
  std::function<Variant(Session &, const DeltaRow &)> heldRow{};
};

// With a history, each row the delta really changes leaves its record there. A row changed or
// removed meanwhile is refused with a conflict whose detail, for a table that reads its rows back
// (heldRow), is [the row as stored now, the user of its last change, the time of it] (nulls when
// the history does not name the row). With clientsHeld the caller has already locked the clients
// the delta writes, in code order (an import locks a round of rows at once).
void applyDelta(Session &session, const DeltaTable &table, const DataPacket &delta,
                HistoryWriter *history = nullptr, bool clientsHeld = false);

} // namespace kdr::server
