#pragma once
// The kdr-host program as a function: reads its configuration, starts the demo server when asked,
// prepares the host services, loads the module and runs a scenario or the desktop.
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "host/config.h"

namespace kdr::host {

// Returns the process exit code: 0 when everything ran, 1 when a scenario failed, 2 when the host
// could not start (bad option, module or server missing).
int runHost(const std::vector<std::string> &args, const std::map<std::string, std::string> &env,
            std::ostream &out, std::ostream &err);

} // namespace kdr::host
