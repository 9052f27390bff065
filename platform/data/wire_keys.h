#pragma once
// The member names of the JSON the wire carries (docs/packets.md, docs/wire.md): a data packet's,
// a remote call's and its answer's, a sign-in's answer. Every writer (packet_json.cpp, the server's
// answers, the desktop's calls) and the one reader (packet_reader.cpp) take them from here, so the
// two sides cannot spell a name differently.
#include <array>
#include <string_view>

namespace kdr::wire_key {

// A data packet, {"fields": [...], "rows": [...]}, and a variant with no value, {"unassigned": true}.
inline constexpr std::string_view fields = "fields";
inline constexpr std::string_view rows = "rows";
inline constexpr std::string_view unassigned = "unassigned";
// One entry of "fields".
inline constexpr std::string_view name = "name";
inline constexpr std::string_view type = "type";
inline constexpr std::string_view size = "size";
inline constexpr std::string_view required = "required";
// A row of a change log, {"status": ..., "values": [...]}.
inline constexpr std::string_view status = "status";
inline constexpr std::string_view values = "values";

// A remote call, its answer, and the answer's failure {"code", "message", "detail"}.
inline constexpr std::string_view args = "args";
inline constexpr std::string_view result = "result";
inline constexpr std::string_view error = "error";
inline constexpr std::string_view code = "code";
inline constexpr std::string_view message = "message";
inline constexpr std::string_view detail = "detail";

// A sign-in's answer.
inline constexpr std::string_view session = "session";
inline constexpr std::string_view expires = "expires";
inline constexpr std::string_view operatorCode = "operator";
inline constexpr std::string_view operatorName = "name";
inline constexpr std::string_view authorisations = "authorisations";
inline constexpr std::array signInMembers{session, expires, operatorCode, operatorName, authorisations};

} // namespace kdr::wire_key
