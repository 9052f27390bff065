#pragma once
// A kdr-server of the host's own for --demo: started as a child process on a free loopback port,
// over a fresh temporary database seeded with demo data, and stopped with the host.
#include <string>
#include <sys/types.h>

namespace kdr::host {

class DemoServer {
public:
  // Starts the program and waits, bounded, until it listens and answers /health.
  // Raises kdr::Exception with the server's own output when it does not come up.
  explicit DemoServer(const std::string &program);
  ~DemoServer();
  DemoServer(const DemoServer &) = delete;
  DemoServer &operator=(const DemoServer &) = delete;

  const std::string &host() const { return host_; }
  int port() const { return port_; }
  // A temporary folder that lives as long as the server, for the host's own demo files.
  const std::string &folder() const { return folder_; }

  void stop();

private:
  std::string readLog() const;
  void waitUntilListening();
  void waitUntilHealthy();

  std::string folder_;
  std::string logPath_;
  std::string host_ = "127.0.0.1";
  int port_ = 0;
  pid_t pid_ = -1;
};

} // namespace kdr::host
