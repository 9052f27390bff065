#include "host/scenario/other_desktop.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/host/zelnor.h"
#include "platform/rtl/exceptions.h"

extern char **environ;

namespace kdr::host::scenario {

namespace {

// The local database is a cache of the server: a fresh one per run keeps the two desks apart.
class ScratchFolder {
public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kdr-desktop-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
      throw Exception("Não foi possível criar a pasta do segundo desktop: " +
                      std::string(std::strerror(errno)));
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder &) = delete;
  ScratchFolder &operator=(const ScratchFolder &) = delete;
  const std::filesystem::path &path() const { return path_; }

private:
  std::filesystem::path path_;
};

} // namespace

int runOtherDesktop(const std::string &scriptPath, const std::string &operatorCode) {
  const std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
  ScratchFolder folder;
  // The demo data's operators have their codes as passwords; a file keeps it off the process list.
  const std::filesystem::path passwordFile = folder.path() / "senha";
  std::ofstream(passwordFile) << operatorCode << '\n';
  std::vector<std::string> args{program,
                                "--headless",
                                "--server",
                                (Zelnor::config.tls ? "https://" : "") + Zelnor::config.webUrl + ":" +
                                    std::to_string(Zelnor::config.webPort),
                                "--operator",
                                operatorCode,
                                "--password-file",
                                passwordFile.string(),
                                "--local-db",
                                (folder.path() / "local.db").string(),
                                "--script",
                                scriptPath};
  if (!Zelnor::config.caFile.empty()) {
    args.push_back("--ca");
    args.push_back(Zelnor::config.caFile);
  }
  if (!Zelnor::config.token.empty()) {
    args.push_back("--token");
    args.push_back(Zelnor::config.token);
  }
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (int err = ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ); err != 0)
    throw Exception("Não foi possível iniciar o segundo desktop: " + std::string(std::strerror(err)));
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

} // namespace kdr::host::scenario
