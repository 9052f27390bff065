#include "server/store/session.h"

namespace kdr::server {

Transaction::Transaction(Session &session, Mode mode) : session_(session) {
  const Dialect &d = session.dialect();
  session_.executeScript(mode == Mode::Write ? d.beginWrite() : d.beginRead());
}

Transaction::~Transaction() {
  if (!open_) return;
  try {
    session_.executeScript("ROLLBACK");
  } catch (...) {
    // A lost connection rolls back by itself; the pool drops it.
  }
}

void Transaction::commit() {
  session_.executeScript("COMMIT");
  open_ = false;
}

} // namespace kdr::server
