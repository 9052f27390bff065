#pragma once
// The administrator's commands for operators' sign-in: set a password, list who may sign in.
#include <iosfwd>
#include <string>
#include <vector>

#include "server/store/store.h"

namespace kdr::server {

// Reads the password without echo from the terminal (twice, to catch a typing mistake) or as the
// first line of in when it is not a terminal, and stores its hash. Returns the exit status.
int setPasswordCommand(Store &store, const std::string &operatorCode, std::istream &in, std::ostream &out,
                       std::ostream &err);
// Every operator: code, name, whether it has a password ("sim"/"não"), its groups, the
// authorisation codes they hold.
std::vector<std::vector<std::string>> operatorRows(Store &store);

} // namespace kdr::server
