#include "server/cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <ostream>

#include "server/cli/config_file.h"
#include "server/history/moment.h"

extern char **environ;

namespace kdr::server::cli {
namespace {

bool startsWith(std::string_view text, std::string_view prefix) { return text.rfind(prefix, 0) == 0; }

// The option's name in a CLI11 message: what comes before its first ": ".
std::string optionInMessage(const std::string &what) { return what.substr(0, what.find(": ")); }
std::string reasonInMessage(const std::string &what) {
  std::size_t colon = what.find(": ");
  return colon == std::string::npos ? what : what.substr(colon + 2);
}

// CLI11 reports in English; the administrator reads Portuguese.
std::string translated(const CLI::ParseError &e, CLI::App &app) {
  const std::string what = e.what();
  if (dynamic_cast<const CLI::ExtrasError *>(&e)) {
    std::vector<std::string> rest = app.remaining();
    const std::string first = rest.empty() ? what : rest.front();
    return startsWith(first, "-") ? "opção desconhecida: " + first : "argumento a mais: \"" + first + "\"";
  }
  if (dynamic_cast<const CLI::ArgumentMismatch *>(&e)) return optionInMessage(what) + " precisa de um valor";
  if (dynamic_cast<const CLI::RequiredError *>(&e)) {
    std::size_t end = what.find(" is required");
    return "falta " + (end == std::string::npos ? what : what.substr(0, end));
  }
  if (dynamic_cast<const CLI::ValidationError *>(&e)) return what;
  if (dynamic_cast<const CLI::ConversionError *>(&e)) return "valor inválido: " + what;
  return "linha de comando inválida: " + what;
}

// Flags in the environment and in the file are written as words.
std::string flagValue(const std::string &text, const std::string &source) {
  for (const char *yes : {"1", "true", "sim", "yes", "on"})
    if (text == yes) return "true";
  for (const char *no : {"0", "false", "não", "nao", "no", "off"})
    if (text == no) return "false";
  throw UsageError(source + ": espera sim ou não (1 ou 0), não \"" + text + "\"");
}

} // namespace

Environment processEnvironment() {
  Environment env;
  for (char **entry = environ; *entry; ++entry) {
    std::string_view line(*entry);
    std::size_t eq = line.find('=');
    if (eq != std::string_view::npos) env.emplace(line.substr(0, eq), line.substr(eq + 1));
  }
  return env;
}

CLI::Validator wholeNumber(std::int64_t min, std::int64_t max, std::string form) {
  return CLI::Validator(
      [min, max](std::string &text) -> std::string {
        std::int64_t value = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < min ||
            value > max)
          return "espera um número inteiro de " + std::to_string(min) + " a " + std::to_string(max) +
                 ", não \"" + text + "\"";
        return {};
      },
      "", std::move(form));
}

CLI::Validator oneOf(std::vector<std::string> words) {
  return CLI::Validator(
      [words](std::string &text) -> std::string {
        for (const std::string &w : words)
          if (text == w) return {};
        std::string list;
        for (const std::string &w : words) list += (list.empty() ? "" : " ou ") + w;
        return "espera " + list + ", não \"" + text + "\"";
      },
      "", "escolha");
}

CLI::Validator databaseUrl() {
  return CLI::Validator(
      [](std::string &text) -> std::string {
        if ((startsWith(text, "sqlite:") && text.size() > 7) || startsWith(text, "postgresql://") ||
            startsWith(text, "postgres://"))
          return {};
        return "espera sqlite:CAMINHO ou postgresql://..., não \"" + text + "\"";
      },
      "", "banco");
}

CLI::Validator dateTime() {
  return CLI::Validator(
      [](std::string &text) -> std::string {
        if (auto canonical = canonicalMoment(text)) {
          text = *canonical;
          return {};
        }
        return std::string("espera uma data ") + momentForms + ", não \"" + text + "\"";
      },
      "", "data");
}

const std::vector<std::string> &configurableSettings() {
  static const std::vector<std::string> names{
      "db",           "listen",           "port",           "token", "tls-cert", "tls-key",
      "allow-host",   "allow-plain-http", "allow-no-token", "loops", "threads",  "seed",
      "answer-cache", "leave-notice"};
  return names;
}

std::string environmentName(const std::string &setting) {
  std::string name = "KDR_";
  for (char c : setting)
    name += c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

std::string versionText(const std::string &program) { return program + " " + KDR_VERSION + "\n"; }

CommandLine::CommandLine(std::string name, std::string description)
    : app_(std::move(description), name), name_(std::move(name)) {
  auto formatter = std::make_shared<CLI::Formatter>();
  formatter->label("Usage", "uso");
  formatter->label("OPTIONS", "OPÇÕES");
  formatter->label("Positionals", "Argumentos");
  formatter->label("SUBCOMMAND", "COMANDO");
  formatter->label("REQUIRED", "(obrigatório)");
  formatter->column_width(34);
  app_.formatter(formatter);
  app_.option_defaults()->group("Opções")->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app_.set_help_flag("-h,--help", "mostra esta ajuda e termina");
  app_.set_version_flag("--version", versionText(name_), "mostra a versão e termina");
  app_.add_option("--config", configFile_,
                  std::string("arquivo de configuração (KDR_CONFIG, padrão ") + defaultConfigFile + ")")
      ->type_name("ARQUIVO");
}

CLI::Option *CommandLine::setting(const std::string &name, std::string &into, const std::string &help) {
  CLI::Option *o = app_.add_option("--" + name, into, help + " (" + environmentName(name) + ")");
  settings_.push_back(o);
  return o;
}

CLI::Option *CommandLine::setting(const std::string &name, std::vector<std::string> &into,
                                  const std::string &help) {
  CLI::Option *o = app_.add_option("--" + name, into, help + " (" + environmentName(name) + ")")
                       ->allow_extra_args(false)
                       ->delimiter(',');
  settings_.push_back(o);
  return o;
}

CLI::Option *CommandLine::flagSetting(const std::string &name, bool &into, const std::string &help) {
  CLI::Option *o = app_.add_flag("--" + name, into, help + " (" + environmentName(name) + ")");
  settings_.push_back(o);
  flags_.push_back(o);
  return o;
}

bool CommandLine::parse(const std::vector<std::string> &args, const Environment &env, std::ostream &out) {
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app_.parse(reversed);
    applySettings(env);
  } catch (const CLI::CallForHelp &) {
    out << app_.help();
    return false;
  } catch (const CLI::CallForVersion &e) {
    out << e.what();
    return false;
  } catch (const CLI::ParseError &e) {
    throw UsageError(translated(e, app_));
  }
  return true;
}

// What the command line left unset comes from the environment, else from the configuration file.
void CommandLine::applySettings(const Environment &env) {
  auto fromEnv = [&](const std::string &name) -> const std::string * {
    auto it = env.find(name);
    return it == env.end() || it->second.empty() ? nullptr : &it->second;
  };
  std::string path = configFile_;
  if (path.empty())
    if (const std::string *v = fromEnv("KDR_CONFIG")) path = *v;
  const bool named = !path.empty();
  if (!named) path = defaultConfigFile;
  const std::vector<ConfigEntry> file = readConfigFile(path, named, configurableSettings());

  for (CLI::Option *o : settings_) {
    if (o->count() > 0) continue;
    const std::string name = o->get_lnames().front();
    std::vector<std::pair<std::string, std::string>> values; // value, where it came from
    if (const std::string *v = fromEnv(environmentName(name)))
      values.emplace_back(*v, environmentName(name));
    else
      for (const ConfigEntry &e : file)
        if (e.name == name) values.emplace_back(e.value, path + ", linha " + std::to_string(e.line));
    if (values.empty()) continue;
    try {
      for (auto &[value, source] : values) o->add_result(isFlag(o) ? flagValue(value, source) : value);
      o->run_callback();
    } catch (const CLI::ParseError &e) {
      throw UsageError(values.front().second + ": " + reasonInMessage(e.what()));
    }
  }
}

bool CommandLine::isFlag(const CLI::Option *o) const {
  return std::find(flags_.begin(), flags_.end(), o) != flags_.end();
}

void CommandLine::require(const std::string &name) const {
  if (app_.get_option("--" + name)->count() == 0)
    throw UsageError("falta --" + name + " (ou " + environmentName(name) + ", ou " + name + " = ... em " +
                     defaultConfigFile + ")");
}

} // namespace kdr::server::cli
