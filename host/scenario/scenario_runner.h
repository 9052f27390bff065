#pragma once
// Runs a scenario against the loaded module: actions go through the user door, dialog answers
// through the scripted user, checks read the model. The run stops at the first unmet expectation
// or check, naming the line and what it found.
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "host/package_loader.h"
#include "host/scenario/scenario.h"
#include "platform/ui/application.h"

namespace kdr {
class ScriptedUser;
class TForm;
class TComponent;
class TWinControl;
} // namespace kdr

namespace kdr::host::scenario {

// A check or action that did not hold. It passes the dispatch boundary, like every script failure.
class ScenarioFailure : public ScriptFailure {
public:
  using ScriptFailure::ScriptFailure;
};

struct RunResult {
  bool passed = false;
  int line = 0;        // the line that failed; 0 at the end of the script
  std::string message; // what was expected and what was found
};

class ScenarioRunner {
public:
  // mainForm is the host's own window, which is not counted among the module's screens.
  ScenarioRunner(const Script &script, PackageLoader &package, TForm *mainForm, std::ostream &out);
  ~ScenarioRunner();
  ScenarioRunner(const ScenarioRunner &) = delete;
  ScenarioRunner &operator=(const ScenarioRunner &) = delete;

  RunResult run();
  // What a snapshot line does: the host takes its picture there (a modal screen can be pictured
  // only while it runs). Without one, snapshot lines do nothing.
  void onSnapshot(std::function<void()> take) { snapshot_ = std::move(take); }

private:
  class Dialogs;
  void runUntil(const std::function<bool()> &done);
  void execute(const Command &command);
  void act(const Command &command);
  void check(const Command &command);

  TForm *activeForm() const;
  TForm *formNamed(const std::string &name) const;
  TComponent &component(const std::string &qualifiedName) const;
  TWinControl &focusedControl() const;
  template <class T> T &componentAs(const std::string &qualifiedName, const char *kind) const;
  std::string actualValue(const AssertTarget &target) const;
  std::string unitVariable(const std::string &unit, const std::string &name) const;
  std::string propertyOf(TComponent &component, const std::vector<std::string> &rest) const;
  std::string gridCell(const AssertTarget &target) const;
  int moduleForms() const;

  const Script &script_;
  PackageLoader &package_;
  TForm *mainForm_;
  std::ostream &out_;
  std::unique_ptr<Dialogs> dialogs_;
  ScriptedUser *user_ = nullptr;
  std::size_t next_ = 0;
  int line_ = 0;
  std::function<void()> snapshot_;
};

} // namespace kdr::host::scenario
