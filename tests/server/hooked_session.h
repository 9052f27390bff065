#pragma once
// A session that asks a hook about each statement before running it on the connection it wraps:
// run it, fail it as the engine would, or fail it as a lost connection (the connection is then
// closed, so the database rolls back whatever was open, and the session stays unhealthy). A hook
// may also hold a statement back until another thread lets it go.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "server/errors.h"
#include "server/store/session.h"

namespace kdr::server::testing {

class HookedSession final : public Session {
public:
  enum class Fate { Run, FailEngine, LoseConnection };
  using Hook = std::function<Fate(std::string_view sql)>;

  HookedSession(std::unique_ptr<Session> inner, Hook hook)
      : Session(inner->dialect()), inner_(std::move(inner)), hook_(std::move(hook)) {}

  Rows query(std::string_view sql, const Params &params) override {
    before(sql);
    return inner_->query(sql, params);
  }
  void scan(std::string_view sql, const Params &params, const std::function<void(Row &)> &visit) override {
    before(sql);
    inner_->scan(sql, params, visit);
  }
  std::int64_t execute(std::string_view sql, const Params &params) override {
    before(sql);
    return inner_->execute(sql, params);
  }
  void executeScript(std::string_view sql) override {
    before(sql);
    inner_->executeScript(sql);
  }
  bool healthy() const override { return inner_ && inner_->healthy(); }
  void longWrite(bool starting) override {
    if (inner_) inner_->longWrite(starting);
  }

private:
  void before(std::string_view sql) {
    if (!inner_) throw EngineError("connection already lost", EngineError::Kind::Unavailable);
    switch (hook_(sql)) {
    case Fate::Run:
      return;
    case Fate::FailEngine:
      throw EngineError("injected engine failure at: " + std::string(sql.substr(0, 60)));
    case Fate::LoseConnection:
      inner_.reset();
      throw EngineError("injected loss of the connection", EngineError::Kind::Unavailable);
    }
  }

  std::unique_ptr<Session> inner_;
  Hook hook_;
};

} // namespace kdr::server::testing
