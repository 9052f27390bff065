#include "server/admin/terminal_progress.h"

#include <atomic>
#include <ostream>

namespace kdr::server {
namespace {

std::atomic<WorkProgress *> interrupted{nullptr};

// The first Ctrl+C asks the work to stop; a second one ends the process as usual.
extern "C" void askToStop(int) {
  if (WorkProgress *p = interrupted.load()) p->cancel();
  std::signal(SIGINT, SIG_DFL);
}

// Without a total the line moves every so many rows.
constexpr std::int64_t rowsBetweenLines = 10000;

} // namespace

TerminalProgress::TerminalProgress(std::ostream *out, std::string doing, std::string unit)
    : out_(out), doing_(std::move(doing)), unit_(std::move(unit)),
      progress_([this](std::int64_t done, std::int64_t total) { show(done, total); }) {
  interrupted.store(&progress_);
  struct sigaction stop {};
  stop.sa_handler = askToStop;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGINT, &stop, &previous_);
}

TerminalProgress::~TerminalProgress() {
  sigaction(SIGINT, &previous_, nullptr);
  interrupted.store(nullptr);
  if (out_ && lineOpen_) *out_ << "\n" << std::flush;
}

void TerminalProgress::show(std::int64_t done, std::int64_t total) {
  if (!out_) return;
  const std::int64_t mark = total > 0 ? done * 100 / total : done / rowsBetweenLines;
  if (mark == shown_) return;
  shown_ = mark;
  *out_ << "\r" << doing_ << ": " << done;
  if (total > 0) *out_ << " de " << total;
  *out_ << " " << unit_;
  if (total > 0) *out_ << " (" << mark << "%)";
  *out_ << std::flush;
  lineOpen_ = true;
}

} // namespace kdr::server
