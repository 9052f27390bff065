#include "server/store/session.h"

#include <stdexcept>

namespace kdr::server {

RowValues::Kind VariantRowValues::kind(std::size_t i) const {
  switch (row_[i].kind()) {
  case Variant::Kind::Boolean:
    return Kind::Boolean;
  case Variant::Kind::Integer:
    return Kind::Integer;
  case Variant::Kind::Float:
    return Kind::Float;
  case Variant::Kind::String:
    return Kind::Text;
  default:
    return Kind::Null; // the engines give no other kind of value
  }
}

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

LongWrite::~LongWrite() {
  try {
    session_.longWrite(false);
  } catch (...) {
    // A lost connection is dropped by the pool; one still healthy only reads more slowly.
  }
}

} // namespace kdr::server
