#pragma once
// The server's configuration file: one "name = value" per line, as the options are named on the
// command line without their dashes; blank lines and lines starting with # are ignored. A name
// given on several lines (allow-host) collects every value.
#include <string>
#include <vector>

namespace kdr::server::cli {

struct ConfigEntry {
  std::string name, value;
  int line = 0;
};

// Raises UsageError (in Portuguese, naming the file and the line) for a line that is not
// "name = value" or a name that is not one of known. A missing file raises only when required.
std::vector<ConfigEntry> readConfigFile(const std::string &path, bool required,
                                        const std::vector<std::string> &known);

} // namespace kdr::server::cli
