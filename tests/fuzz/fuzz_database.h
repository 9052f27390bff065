#pragma once
// The database the fuzz targets write to: the demo data in a SQLite file of this process, opened
// and seeded once. Targets roll back what they write, so every input meets the same rows.
#include "server/store/store.h"

namespace kdr::server::fuzz {

Store &demoStore();

// Stops the run: libFuzzer reports it as a crash, with the input that caused it.
[[noreturn]] void fault(const char *what);

} // namespace kdr::server::fuzz
