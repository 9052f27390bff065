#pragma once
// The module loaded the way kdr-host loads it, with typed access to its exported variables.
#include <filesystem>
#include <string>

#include "host/package_loader.h"
#include "tests/support/server_process.h"

namespace kdr::test {

inline std::string modulePath() { return programPath("libkdr03020.so").string(); }

class LoadedModule {
public:
  LoadedModule() { package.load(modulePath()); }

  template <class T> T &variable(const std::string &unit, const std::string &name) {
    return *static_cast<T *>(package.symbol(unit + "_" + name));
  }
  bool &flag(const std::string &unit, const std::string &name) { return variable<bool>(unit, name); }
  void call(const std::string &entry) { package.entry(entry)(); }

  kdr::host::PackageLoader package;
};

} // namespace kdr::test
