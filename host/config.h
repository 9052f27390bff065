#pragma once
// What kdr-host is told at start: where the application server listens, which local database file
// it keeps, which module it loads, and whether it runs a scenario instead of a desktop.
// Each setting comes from the command line, else the environment, else a default.
#include <map>
#include <string>
#include <vector>

namespace kdr::host {

struct HostConfig {
  std::string serverHost = "127.0.0.1";
  int serverPort = 8300;
  std::string localDb;       // default: kdr-local.db in the user's data folder
  std::string modulePath;    // default: libkdr03020.so beside the kdr-host program
  std::string serverProgram; // for --demo; default: kdr-server beside the kdr-host program
  std::string script;        // scenario file; empty for the desktop
  bool headless = false;
  bool demo = false;
  bool help = false;
};

// Raises kdr::Exception on an unknown option or a bad value, naming it.
HostConfig parseConfig(const std::vector<std::string> &args, const std::map<std::string, std::string> &env);

// The environment of this process, as parseConfig reads it.
std::map<std::string, std::string> processEnvironment();

// The folder that holds the running program.
std::string programFolder();

extern const char *const usageText;

} // namespace kdr::host
