#pragma once
// Loads the module as a run-time package: maps the library by path, finds its entry points by
// exported name, runs its unit initialisations after loading and its finalisations before unloading.
#include <string>
#include <string_view>

#include "module/shell/package_info.h"

namespace kdr::host {

class PackageLoader {
public:
  PackageLoader() = default;
  ~PackageLoader();
  PackageLoader(const PackageLoader &) = delete;
  PackageLoader &operator=(const PackageLoader &) = delete;

  // Maps the library and calls its Initialize. Raises kdr::Exception naming the library, or the
  // missing entry point, when the library is not a package.
  void load(const std::string &path);
  // Calls Finalize and unmaps the library; nothing when none is loaded.
  void unload();
  bool loaded() const { return handle_ != nullptr; }
  const std::string &path() const { return path_; }

  // The address of an exported symbol; raises naming it when the library does not export it.
  void *symbol(std::string_view name) const;
  // The address, or null when the library does not export it.
  void *findSymbol(std::string_view name) const;
  // An exported routine that takes no argument.
  KdrProc entry(std::string_view name) const { return reinterpret_cast<KdrProc>(symbol(name)); }
  const KdrPackageInfoTable &packageInfo() const;

private:
  void *handle_ = nullptr;
  std::string path_;
};

} // namespace kdr::host
