#pragma once
// The administrator's commands of kdr-server, run against a database without starting the
// server: history, batches, undo, copy (with --dry-run), export and import. docs/admin.md shows
// them with examples.
#include <iosfwd>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kdr::server {

bool isAdminCommand(std::string_view word);

// args: the command and its options, as typed after "kdr-server". Returns the exit status:
// 0 done, 1 refused or failed (the reason on err), 2 bad usage. With showProgress (err is a
// terminal) copy, import and undo tell on err how far they got; Ctrl+C stops them, rolled back.
// env: the environment the settings are read from (KDR_DB, KDR_CONFIG); without it, this process's.
int runAdminCommand(const std::vector<std::string> &args, std::istream &in, std::ostream &out,
                    std::ostream &err, const std::map<std::string, std::string> &env,
                    bool showProgress = false);
int runAdminCommand(const std::vector<std::string> &args, std::istream &in, std::ostream &out,
                    std::ostream &err, bool showProgress = false);

// The commands with one line on each, for the server's --help.
std::string adminCommandList();

} // namespace kdr::server
