#include "server/errors.h"

#include <array>

#include "platform/rtl/utf8.h"

namespace kdr::server {
namespace {

struct CodeInfo {
  std::string_view name;
  int status;
};

// In the order of ErrorCode.
constexpr std::array<CodeInfo, 11> codes{{
    {"invalid_argument", 400},
    {"unauthenticated", 401},
    {"forbidden", 403},
    {"not_found", 404},
    {"conflict", 409},
    {"payload_too_large", 413},
    {"too_many_attempts", 429},
    {"unsupported_media_type", 415},
    {"unavailable", 503},
    {"cancelled", 409},
    {"internal", 500},
}};

} // namespace

std::string_view errorCodeName(ErrorCode code) { return codes[static_cast<std::size_t>(code)].name; }

int httpStatus(ErrorCode code) { return codes[static_cast<std::size_t>(code)].status; }

std::string quoted(std::string_view input) {
  constexpr std::size_t shown = 40;
  std::string out = utf8::cut(input, shown);
  if (out.size() < input.size()) out += "…";
  return out;
}

} // namespace kdr::server
