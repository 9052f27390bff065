#pragma once
// A kdr-server child process for tests: on a temporary SQLite file (or the database URL given)
// and a port the system chooses, optionally seeded with the demo data; stopped and its files
// removed when the object goes.
//
//   kdr::test::ServerProcess server({"--seed", "demo"});
//   connection.Port = server.port();
//
// The program is looked up in KDR_BIN_DIR (set by ctest), else beside the test executable.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

extern char **environ;

namespace kdr::test {

// A fresh directory under the system's temporary folder, removed with everything in it.
class TempDir {
public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kdr-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::filesystem::path &path() const { return path_; }
  std::string file(const std::string &name) const { return (path_ / name).string(); }

private:
  std::filesystem::path path_;
};

inline std::filesystem::path programPath(const std::string &name) {
  if (const char *dir = std::getenv("KDR_BIN_DIR")) {
    auto candidate = std::filesystem::path(dir) / name;
    if (std::filesystem::exists(candidate)) return candidate;
  }
  return std::filesystem::canonical("/proc/self/exe").parent_path() / name;
}

struct ProgramRun {
  int status = -1;    // the exit status; -1 when it did not end normally
  std::string output; // stdout and stderr together
};

// Runs one of our programs to its end, with env added to this process's environment
// ("NAME=value" each).
inline ProgramRun runProgram(const std::string &name, std::vector<std::string> args,
                             const std::vector<std::string> &env = {}) {
  TempDir dir;
  const std::string program = programPath(name).string(), log = dir.file("output");
  args.insert(args.begin(), program);
  std::vector<char *> argv, envp;
  for (auto &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment(env);
  for (char **e = environ; *e; ++e) environment.emplace_back(*e);
  for (auto &e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + program);
  int status = 0;
  waitpid(pid, &status, 0);
  std::ifstream in(log);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
          std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>())};
}

class ServerProcess {
public:
  explicit ServerProcess(std::vector<std::string> extraArgs = {}, std::string databaseUrl = {})
      : databaseUrl_(databaseUrl.empty() ? "sqlite:" + databasePath() : std::move(databaseUrl)),
        tls_(std::find(extraArgs.begin(), extraArgs.end(), "--tls-cert") != extraArgs.end()) {
    start(std::move(extraArgs));
  }
  ~ServerProcess() { stop(); }
  ServerProcess(const ServerProcess &) = delete;
  ServerProcess &operator=(const ServerProcess &) = delete;

  int port() const { return port_; }
  std::string host() const { return "127.0.0.1"; }
  std::string databasePath() const { return dir_.file("server.db"); }

  // Ends the server now (to test a server that went away); the destructor then does nothing.
  // SIGKILL ends it as a crash would, in the middle of whatever it was doing.
  void stop(int signal = SIGTERM) {
    if (pid_ <= 0) return;
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  std::string logPath() const { return dir_.file("server.log"); }

  // Signs in (the demo's operators have their codes as passwords) and returns the session's key.
  std::string signIn(const std::string &operatorCode = "supervisor") const {
    httplib::Client client = this->client();
    auto res = client.Post("/session",
                           "{\"operator\":\"" + operatorCode + "\",\"password\":\"" + operatorCode + "\"}",
                           "application/json");
    const std::string marker = "\"session\":\"";
    const std::size_t at = res ? res->body.find(marker) : std::string::npos;
    if (!res || res->status != 200 || at == std::string::npos)
      throw std::runtime_error("cannot sign in as " + operatorCode +
                               (res ? ": " + res->body : std::string()));
    return res->body.substr(at + marker.size(), res->body.find('"', at + marker.size()) - at - marker.size());
  }

private:
  void start(std::vector<std::string> extraArgs) {
    const std::string program = programPath("kdr-server").string();
    std::vector<std::string> args{program, "--db", databaseUrl_, "--port", "0"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    // The server's output goes to a file, so a chatty server never blocks on a full pipe.
    const std::string log = logPath();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      pid_ = -1;
      throw std::runtime_error("cannot start " + program);
    }

    // The server prints "listening on 127.0.0.1:PORT" once it has bound its port.
    const std::string marker = "listening on 127.0.0.1:";
    for (int attempt = 0; attempt < 600 && port_ == 0; ++attempt) {
      std::ifstream in(log);
      const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (const auto at = text.find(marker); at != std::string::npos)
        port_ = std::atoi(text.c_str() + at + marker.size());
      else if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        throw std::runtime_error("kdr-server ended at start:\n" + text);
      } else
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (port_ == 0) {
      stop();
      throw std::runtime_error(program + " did not report its port");
    }
    waitHealthy();
  }

  // Bounded wait for the health endpoint; the server answers it once it is ready.
  // Over TLS when the server was given a certificate, which the tests' own clients check.
  httplib::Client client() const {
    httplib::Client c((tls_ ? "https://" : "http://") + host() + ":" + std::to_string(port_));
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
    c.enable_server_certificate_verification(false);
#endif
    return c;
  }

  void waitHealthy() {
    httplib::Client client = this->client();
    client.set_connection_timeout(1, 0);
    for (int attempt = 0; attempt < 100; ++attempt) {
      if (auto res = client.Get("/health"); res && res->status == 200) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    stop();
    throw std::runtime_error("kdr-server did not become healthy");
  }

  TempDir dir_;
  std::string databaseUrl_;
  bool tls_;
  pid_t pid_ = -1;
  int port_ = 0;
};

} // namespace kdr::test
