#pragma once
// What a piece of screen code puts back however it ends, a raised error included: the wait
// animation over the host's window while the server works, and a dataset opened only for the
// length of a check.
#include "platform/data/dataset.h"
#include "platform/host/dialog_services.h"
#include "platform/ui/application.h"

namespace kdr03020::common {

class ServerWait {
public:
  ServerWait() { kdr::Showavi::ActiveShowAvi(kdr::Application().MainForm(), 1); }
  ~ServerWait() { kdr::Showavi::DeactiveShowAvi(); }
  ServerWait(const ServerWait &) = delete;
  ServerWait &operator=(const ServerWait &) = delete;
};

class ClosedOnExit {
public:
  explicit ClosedOnExit(kdr::TDataSet &rows) : rows_(rows) {}
  ~ClosedOnExit() { rows_.Close(); }
  ClosedOnExit(const ClosedOnExit &) = delete;
  ClosedOnExit &operator=(const ClosedOnExit &) = delete;

private:
  kdr::TDataSet &rows_;
};

} // namespace kdr03020::common
