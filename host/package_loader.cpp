#include "host/package_loader.h"

#include <dlfcn.h>

#include "platform/rtl/exceptions.h"

namespace kdr::host {

PackageLoader::~PackageLoader() { unload(); }

void PackageLoader::load(const std::string &path) {
  if (handle_) throw Exception("Pacote já carregado: " + path_);
  // RTLD_NOW: a package whose imports cannot be resolved fails here, not at its first call.
  void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char *why = dlerror();
    throw Exception("Não foi possível carregar o pacote " + path + ": " + (why ? why : "erro desconhecido"));
  }
  handle_ = handle;
  path_ = path;
  try {
    // Both lifecycle entries are looked up before either runs, so a library that is no package
    // is refused without having run any of its code.
    KdrProc initialize = entry("Initialize");
    symbol("Finalize");
    symbol("GetPackageInfoTable");
    initialize();
  } catch (...) {
    dlclose(handle_);
    handle_ = nullptr;
    path_.clear();
    throw;
  }
}

void PackageLoader::unload() {
  if (!handle_) return;
  if (auto finalize = reinterpret_cast<KdrProc>(findSymbol("Finalize"))) finalize();
  dlclose(handle_);
  handle_ = nullptr;
  path_.clear();
}

void *PackageLoader::findSymbol(std::string_view name) const {
  if (!handle_) return nullptr;
  return dlsym(handle_, std::string(name).c_str());
}

void *PackageLoader::symbol(std::string_view name) const {
  if (!handle_) throw Exception("Nenhum pacote carregado ao procurar " + std::string(name));
  void *address = findSymbol(name);
  if (!address) throw Exception("O pacote " + path_ + " não exporta o ponto de entrada " + std::string(name));
  return address;
}

const KdrPackageInfoTable &PackageLoader::packageInfo() const {
  auto get = reinterpret_cast<KdrGetPackageInfoTableProc>(symbol("GetPackageInfoTable"));
  return *get();
}

} // namespace kdr::host
