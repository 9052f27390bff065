// The wire calls of a screen made directly: each line of a file is "PATH BODY", posted in order
// on one kept-alive connection without delaying small packets, as the desktop's connection
// does; each answer is read whole and not decoded. Prints the seconds the calls took; exits
// non-zero when any answer is not 200.
//   bench_wire_calls PORT FILE
#include <cstdlib>
#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_wire_calls PORT FILE\n");
    return 2;
  }
  std::vector<std::pair<std::string, std::string>> calls;
  std::ifstream in(argv[2]);
  for (std::string line; std::getline(in, line);)
    if (auto space = line.find(' '); space != std::string::npos)
      calls.emplace_back(line.substr(0, space), line.substr(space + 1));
  httplib::Client http("127.0.0.1", std::stoi(argv[1]));
  http.set_keep_alive(true);
  http.set_tcp_nodelay(true);
  // The session bench/common.sh signed in.
  if (const char *session = std::getenv("KDR_BENCH_SESSION")) http.set_bearer_token_auth(session);
  const auto start = std::chrono::steady_clock::now();
  for (const auto &[path, body] : calls) {
    auto answer = http.Post(path, body, "application/json");
    if (!answer || answer->status != 200) {
      std::fprintf(stderr, "%s: %s\n", path.c_str(), answer ? answer->body.c_str() : "no answer");
      return 1;
    }
  }
  std::printf("%.6f\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return 0;
}
