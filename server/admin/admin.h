#pragma once
// The administrator's commands of kdr-server, run against a database without starting the
// server: history, batches, undo, copy (with --dry-run), export and import. docs/admin.md shows
// them with examples.
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace kdr::server {

bool isAdminCommand(std::string_view word);

// args: the command and its options, as typed after "kdr-server". Returns the exit status:
// 0 done, 1 refused or failed (the reason on err), 2 bad usage.
int runAdminCommand(const std::vector<std::string> &args, std::istream &in, std::ostream &out,
                    std::ostream &err);

} // namespace kdr::server
