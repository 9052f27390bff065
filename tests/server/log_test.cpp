// The server's log: one line per event, whatever the event's message holds.
#include "server/log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
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

// The date of a line is kept from one line to the next within a second: a line of the next
// second says so, to the millisecond, and a long value is cut.
TEST(ServerLog, EachLineTellsItsOwnTimeAndCutsALongValue) {
  using namespace std::chrono;
  auto secondsOf = [](const std::string &line) {
    std::smatch m;
    EXPECT_TRUE(
        std::regex_search(line, m,
                          std::regex("^time=(\\d{4})-(\\d\\d)-(\\d\\d)T(\\d\\d):(\\d\\d):(\\d\\d)\\.\\d{3}Z "
                                     "level=info")))
        << line;
    std::tm tm{};
    tm.tm_year = std::stoi(m[1]) - 1900;
    tm.tm_mon = std::stoi(m[2]) - 1;
    tm.tm_mday = std::stoi(m[3]);
    tm.tm_hour = std::stoi(m[4]);
    tm.tm_min = std::stoi(m[5]);
    tm.tm_sec = std::stoi(m[6]);
    return timegm(&tm);
  };
  std::string first;
  appendLogStart(first, LogLevel::Info);
  appendLogField(first, "path", std::string(300, 'p'));
  EXPECT_NE(first.find(" path=" + std::string(200, 'p') + "..."), std::string::npos) << first;
  const auto before = system_clock::to_time_t(system_clock::now());
  EXPECT_LE(std::abs(secondsOf(first) - before), 1);
  // Into the next second.
  std::this_thread::sleep_until(system_clock::from_time_t(before + 1) + milliseconds(5));
  std::string next;
  appendLogStart(next, LogLevel::Info);
  EXPECT_EQ(secondsOf(next), system_clock::to_time_t(system_clock::now())) << next;
  EXPECT_GT(secondsOf(next), secondsOf(first));
}

} // namespace
} // namespace kdr::server
