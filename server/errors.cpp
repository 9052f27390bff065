#include "server/errors.h"

#include <array>

namespace kdr::server {
namespace {

struct CodeInfo {
  std::string_view name;
  int status;
};

// In the order of ErrorCode.
constexpr std::array<CodeInfo, 9> codes{{
    {"invalid_argument", 400},
    {"unauthenticated", 401},
    {"forbidden", 403},
    {"not_found", 404},
    {"conflict", 409},
    {"payload_too_large", 413},
    {"unsupported_media_type", 415},
    {"unavailable", 503},
    {"internal", 500},
}};

} // namespace

std::string_view errorCodeName(ErrorCode code) { return codes[static_cast<std::size_t>(code)].name; }

int httpStatus(ErrorCode code) { return codes[static_cast<std::size_t>(code)].status; }

} // namespace kdr::server
