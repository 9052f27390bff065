#include "server/methods/work.h"

#include <algorithm>

#include "server/errors.h"

namespace kdr::server {
namespace {

std::string keyOf(const std::string &user, const std::string &name) { return user + '\n' + name; }

// Stops asked for works that never came are kept; a desktop cannot make the board grow without end.
constexpr std::size_t boardRoom = 1000;

} // namespace

void WorkProgress::begin(std::int64_t total) {
  total_.store(std::max<std::int64_t>(total, 0));
  checkpoint();
  if (listener_) listener_(done_.load(), total_.load());
}

void WorkProgress::advance(std::int64_t rows) {
  const std::int64_t total = total_.load();
  std::int64_t done = done_.load() + std::max<std::int64_t>(rows, 0);
  if (total > 0) done = std::min(done, total);
  done_.store(done);
  checkpoint();
  if (listener_) listener_(done, total);
}

void WorkProgress::checkpoint() const {
  if (cancelled())
    throw ServiceError(ErrorCode::Cancelled, "Operação cancelada pelo usuário. Nada foi gravado.");
}

std::shared_ptr<WorkProgress> WorkBoard::start(const std::string &user, const std::string &name) {
  checkWorkName(name);
  std::lock_guard lock(mutex_);
  auto [it, added] = works_.try_emplace(keyOf(user, name));
  if (!added && it->second.running)
    throw ServiceError(ErrorCode::Conflict,
                       "Já há um trabalho em andamento com o nome " + quoted(name) + ".");
  it->second.running = true;
  return it->second.progress;
}

void WorkBoard::finish(const std::string &user, const std::string &name) {
  std::lock_guard lock(mutex_);
  works_.erase(keyOf(user, name));
}

WorkBoard::State WorkBoard::state(const std::string &user, const std::string &name) const {
  checkWorkName(name);
  std::lock_guard lock(mutex_);
  auto it = works_.find(keyOf(user, name));
  if (it == works_.end()) return {};
  const WorkProgress &p = *it->second.progress;
  return {p.done(), p.total(), it->second.running, p.cancelled()};
}

void WorkBoard::cancel(const std::string &user, const std::string &name) {
  checkWorkName(name);
  std::lock_guard lock(mutex_);
  auto it = works_.find(keyOf(user, name));
  if (it == works_.end()) {
    if (works_.size() >= boardRoom) return;
    it = works_.try_emplace(keyOf(user, name)).first;
  }
  it->second.progress->cancel();
}

void checkWorkName(const std::string &name) {
  const bool ok = !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
  });
  if (!ok) refuse("Nome de trabalho inválido: " + quoted(name) + ".");
}

} // namespace kdr::server
