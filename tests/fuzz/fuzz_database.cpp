#include "tests/fuzz/fuzz_database.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "server/admin/seed.h"

namespace kdr::server::fuzz {

Store &demoStore() {
  static const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("kdr-fuzz-" + std::to_string(::getpid()) + ".db");
  static const std::unique_ptr<Store> store = [] {
    std::filesystem::remove(path);
    auto s = Store::open("sqlite:" + path.string());
    seedDemo(*s->session());
    std::atexit([] {
      std::error_code ignored;
      for (const char *suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(path.string() + suffix, ignored);
    });
    return s;
  }();
  return *store;
}

void fault(const char *what) {
  std::fprintf(stderr, "fuzz fault: %s\n", what);
  std::abort();
}

} // namespace kdr::server::fuzz
