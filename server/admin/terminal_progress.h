#pragma once
// A long command at the terminal: one line telling how far the work got ("copiando: 120000 de
// 1000000 clientes (12%)"), written again in place as it advances, and Ctrl+C asking the work to
// stop, so that it rolls back whole instead of the process being killed in the middle.
#include <csignal>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "server/methods/work.h"

namespace kdr::server {

class TerminalProgress {
public:
  // out null: nothing is shown, Ctrl+C still stops the work.
  TerminalProgress(std::ostream *out, std::string doing, std::string unit);
  ~TerminalProgress();
  TerminalProgress(const TerminalProgress &) = delete;
  TerminalProgress &operator=(const TerminalProgress &) = delete;

  WorkProgress &progress() { return progress_; }

private:
  void show(std::int64_t done, std::int64_t total);

  std::ostream *out_;
  std::string doing_, unit_;
  std::int64_t shown_ = -1; // the percent (or, without a total, the rows) last shown
  bool lineOpen_ = false;
  WorkProgress progress_;
  struct sigaction previous_ {};
};

} // namespace kdr::server
