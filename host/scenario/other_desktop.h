#pragma once
// Another desktop at work on the same server: a second kdr-host, headless, that runs a scenario of
// its own as another operator while this one waits. What one user sees of another's saves
// (a change refused because someone else changed the row first) is seen this way, two hosts on
// one server, as on two desks.
#include <string>

namespace kdr::host::scenario {

// Runs the scenario file in a second kdr-host (this same program) against the server this host
// talks to, signed in as the demo data's operator operatorCode (whose password is its code), with a local
// database of its own that goes away afterwards; its output goes to this process's output. Returns its exit
// code (0: its scenario passed); raises kdr::Exception when it cannot be started.
int runOtherDesktop(const std::string &scriptPath, const std::string &operatorCode);

} // namespace kdr::host::scenario
