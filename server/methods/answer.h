#pragma once
#include <string>

namespace kdr::server {

// A remote call's answer as it goes out: the HTTP status and the body.
struct Answer {
  int status = 200;
  std::string body; // JSON, unless contentType says otherwise
  const char *contentType = "application/json; charset=utf-8";
  std::string user = {}; // the signed-in operator the answer was for, for the request log; empty if none
};

} // namespace kdr::server
