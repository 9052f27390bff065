#include "server/store/session.h"

#include <stdexcept>

namespace kdr::server {

Transaction::Transaction(Session &session, Mode mode) : session_(session) {
  if (session_.transactionDepth_ == 0) {
    const Dialect &d = session.dialect();
    session_.executeScript(mode == Mode::Write ? d.beginWrite() : d.beginRead());
    session_.rollbackOnly_ = false;
  }
  ++session_.transactionDepth_;
}

Transaction::~Transaction() {
  if (!open_) return;
  const bool outer = outermost();
  --session_.transactionDepth_;
  if (!outer) {
    session_.rollbackOnly_ = true;
    return;
  }
  try {
    session_.executeScript("ROLLBACK");
  } catch (...) {
    // A lost connection rolls back by itself; the pool drops it.
  }
}

void Transaction::commit() {
  if (outermost()) {
    if (session_.rollbackOnly_) throw std::logic_error("a joined transaction ended without committing");
    session_.executeScript("COMMIT");
  }
  --session_.transactionDepth_;
  open_ = false;
}

} // namespace kdr::server
