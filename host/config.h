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
  int serverPort = 8020;       // kdr-server's own default
  bool tls = false;            // --server https://...: the server's certificate is verified
  std::string caFile;          // --ca, KDR_CA: the authority of the server's certificate, if not the system's
  bool allowPlainHttp = false; // plain HTTP to a network address (loopback needs no consent)
  std::string token;           // the server's machine token (the local copy only)
  std::string operatorCode;    // who signs in: --operator, KDR_OPERATOR (with --demo: the demo supervisor)
  std::string password;        // KDR_PASSWORD, or the first line of --password-file
  std::string localDb;         // default: kdr-local.db in the user's data folder
  std::string modulePath;      // default: libkdr03020.so beside the kdr-host program
  std::string serverProgram;   // for --demo; default: kdr-server beside the kdr-host program
  std::string qtLibrary;       // default: libkdr-qt.so beside the kdr-host program
  std::string script;          // scenario file; empty for the desktop
  std::string screenshot;      // PNG of the main window, saved after the scenario (or at start)
  bool headless = false;       // --headless, or a scenario with no display to show it on
  bool demo = false;
  bool help = false;
  bool version = false;
};

// Raises kdr::Exception on an unknown option or a bad value, naming it.
HostConfig parseConfig(const std::vector<std::string> &args, const std::map<std::string, std::string> &env);

// A display to open windows on: DISPLAY or WAYLAND_DISPLAY, or a Qt platform chosen by name
// (QT_QPA_PLATFORM=offscreen draws without one).
bool hasDisplay(const std::map<std::string, std::string> &env);

// The environment of this process, as parseConfig reads it.
std::map<std::string, std::string> processEnvironment();

// The folder that holds the running program.
std::string programFolder();

extern const char *const usageText;

} // namespace kdr::host
