#pragma once
// Putting a bulk batch back: every row a copy or an import added is removed and every row it
// replaced gets its former values, in one transaction, recorded as a batch of its own. A row that
// a later change touched (a later record in the history, or a value no longer the one the batch
// left) makes the whole undo refuse, naming the rows, with nothing written.
#include <cstdint>

#include "server/history/history.h"
#include "server/methods/work.h"
#include "server/store/session.h"

namespace kdr::server {

struct UndoReport {
  std::int64_t batch = 0; // the undo's own batch number
  std::int64_t removed = 0, restored = 0;
};

// progress, when given, is told the rows put back of the batch's rows; a stop asked there rolls the
// undo back whole.
UndoReport undoBatch(Session &s, std::int64_t batch, const Author &author, WorkProgress *progress = nullptr);

} // namespace kdr::server
