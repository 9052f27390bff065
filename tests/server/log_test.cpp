// The server's log: one line per event, whatever the event's message holds.
#include "server/log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace kdr::server {
namespace {

TEST(ServerLog, EveryEventIsALineOfItsOwnEvenWhenItsMessageBreaksLines) {
  std::FILE *capture = std::tmpfile();
  ASSERT_TRUE(capture);
  const int saved = ::dup(STDERR_FILENO);
  ::dup2(::fileno(capture), STDERR_FILENO);
  logLine("first\nlevel=error forged", LogLevel::Info, 7);
  logLine("second", LogLevel::Warning);
  ::dup2(saved, STDERR_FILENO);
  ::close(saved);

  std::rewind(capture);
  std::string text;
  char buffer[512];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, capture)) > 0;) text.append(buffer, n);
  std::fclose(capture);
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 2u) << text;
  EXPECT_NE(lines[0].find(" level=info request=7 msg=\"first?level=error forged\""), std::string::npos)
      << text;
  EXPECT_NE(lines[1].find(" level=warning msg=second"), std::string::npos) << text;
}

} // namespace
} // namespace kdr::server
