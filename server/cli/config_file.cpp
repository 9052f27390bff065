#include "server/cli/config_file.h"

#include <algorithm>
#include <fstream>

#include "server/cli/command_line.h"

namespace kdr::server::cli {
namespace {

std::string trimmed(const std::string &text) {
  const char *space = " \t\r";
  std::size_t first = text.find_first_not_of(space);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// A value may be quoted, so that it can keep spaces at its ends or a #.
std::string unquoted(const std::string &value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

} // namespace

std::vector<ConfigEntry> readConfigFile(const std::string &path, bool required,
                                        const std::vector<std::string> &known) {
  std::ifstream file(path);
  if (!file) {
    if (required) throw UsageError("não foi possível ler o arquivo de configuração " + path + ".");
    return {};
  }
  std::vector<ConfigEntry> entries;
  std::string text;
  for (int line = 1; std::getline(file, text); ++line) {
    text = trimmed(text);
    if (text.empty() || text[0] == '#') continue;
    auto where = [&] { return path + ", linha " + std::to_string(line) + ": "; };
    std::size_t eq = text.find('=');
    if (eq == std::string::npos)
      throw UsageError(where() + "esperado \"nome = valor\", encontrado \"" + text + "\".");
    std::string name = trimmed(text.substr(0, eq));
    if (std::find(known.begin(), known.end(), name) == known.end())
      throw UsageError(where() + "configuração desconhecida \"" + name + "\".");
    entries.push_back({name, unquoted(trimmed(text.substr(eq + 1))), line});
  }
  return entries;
}

} // namespace kdr::server::cli
