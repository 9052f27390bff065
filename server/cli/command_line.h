#pragma once
// The command line of kdr-server and of its administrator's commands: options declared on a kept
// parsing library, help and messages in Portuguese, typed checks, and the settings an installed
// server reads without being told: the command line wins over the environment (KDR_DB, KDR_PORT...),
// which wins over the configuration file (/etc/kdr/kdr-server.conf, or --config FILE, or
// KDR_CONFIG), which wins over the defaults.
#include <CLI/App.hpp>
#include <iosfwd>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kdr::server::cli {

using Environment = std::map<std::string, std::string>;

// The environment of this process.
Environment processEnvironment();

// Where the server's settings live when neither --config nor KDR_CONFIG names another file.
inline constexpr const char *defaultConfigFile = "/etc/kdr/kdr-server.conf";

// A command line (or setting) the administrator got wrong: the reason in Portuguese. Exit status 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Typed checks; the description is what the help shows as the value's form.
CLI::Validator wholeNumber(std::int64_t min, std::int64_t max, std::string form = "N");
CLI::Validator oneOf(std::vector<std::string> words);
CLI::Validator databaseUrl();
// A history's "since" (canonicalMoment); the value is rewritten in the form the history compares.
CLI::Validator dateTime();

class CommandLine {
public:
  // name: as the user types it ("kdr-server", "kdr-server history").
  CommandLine(std::string name, std::string description);

  CLI::App &app() { return app_; }

  // An option that an installed server may also take from the environment (KDR_ + the name in
  // capitals, '-' as '_') and from the configuration file (name = value). Only the names listed in
  // configurableSettings() may be declared so.
  CLI::Option *setting(const std::string &name, std::string &into, const std::string &help);
  CLI::Option *setting(const std::string &name, std::vector<std::string> &into, const std::string &help);
  CLI::Option *flagSetting(const std::string &name, bool &into, const std::string &help);

  // Parses args (without the program's name). Returns false when --help or --version was asked:
  // the answer is on out and the program ends with 0. Raises UsageError.
  bool parse(const std::vector<std::string> &args, const Environment &env, std::ostream &out);

  // Raises UsageError when the setting came from nowhere: neither the command line, nor the
  // environment, nor the configuration file.
  void require(const std::string &name) const;

private:
  void addConfigOption();
  void applySettings(const Environment &env);
  bool isFlag(const CLI::Option *o) const;

  CLI::App app_;
  std::string name_;
  std::string configFile_;
  std::vector<CLI::Option *> settings_;
  std::vector<CLI::Option *> flags_; // among the settings, those without a value
};

// Every name a configuration file may hold, with what it means.
const std::vector<std::string> &configurableSettings();

// "KDR_ALLOW_HOST" for "allow-host".
std::string environmentName(const std::string &setting);

// The program's version, as --version prints it.
std::string versionText(const std::string &program);

} // namespace kdr::server::cli
