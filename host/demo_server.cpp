#include "host/demo_server.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/net/http_client.h"
#include "platform/rtl/exceptions.h"

namespace kdr::host {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto startLimit = std::chrono::seconds(30);
constexpr auto stopLimit = std::chrono::seconds(5);
constexpr auto pollStep = std::chrono::milliseconds(20);

std::string makeTempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kdr-demo-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw Exception("Não foi possível criar a pasta temporária da demonstração");
  return pattern;
}

} // namespace

DemoServer::DemoServer(const std::string &program)
    : folder_(makeTempFolder()), logPath_(folder_ + "/server.log") {
  std::vector<std::string> args{program,  "--db", "sqlite:" + folder_ + "/server.db", "--port", "0",
                                "--seed", "demo"};
  int log = open(logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (log < 0) throw Exception("Não foi possível criar " + logPath_);
  std::vector<char *> argv;
  for (auto &arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t host = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // A host killed by a signal (its display gone, Ctrl+C) runs no destructor: the server goes too.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != host) _exit(1);
    // The child writes its output into the log file, so it never blocks on a pipe nobody drains.
    dup2(log, STDOUT_FILENO);
    dup2(log, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(log);
  if (pid_ < 0) throw Exception("Não foi possível iniciar " + program);
  try {
    waitUntilListening();
    waitUntilHealthy();
  } catch (...) {
    stop();
    throw;
  }
}

DemoServer::~DemoServer() { stop(); }

std::string DemoServer::readLog() const {
  std::ifstream in(logPath_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void DemoServer::waitUntilListening() {
  static const std::regex listening(R"(listening on ([0-9.]+):([0-9]+))");
  const auto deadline = Clock::now() + startLimit;
  while (Clock::now() < deadline) {
    std::smatch match;
    std::string log = readLog();
    if (std::regex_search(log, match, listening)) {
      host_ = match[1];
      port_ = std::stoi(match[2]);
      return;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      throw Exception("kdr-server terminou ao iniciar:\n" + log);
    }
    std::this_thread::sleep_for(pollStep);
  }
  throw Exception("kdr-server não começou a escutar a tempo:\n" + readLog());
}

void DemoServer::waitUntilHealthy() {
  const auto client = net::openHttpClient({host_, port_, false, {}, 1, 5});
  const auto deadline = Clock::now() + startLimit;
  while (Clock::now() < deadline) {
    if (auto answer = client->get("/health"); answer && answer.status == 200) return;
    std::this_thread::sleep_for(pollStep);
  }
  throw Exception("kdr-server não respondeu em /health a tempo:\n" + readLog());
}

void DemoServer::stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + stopLimit;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (Clock::now() >= deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(pollStep);
    }
    pid_ = -1;
  }
  if (!folder_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
    folder_.clear();
  }
}

} // namespace kdr::host
