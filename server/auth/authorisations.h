#pragma once
// What an operator may do: the authorisation codes its groups hold in AUTGRUPOP (through
// OPERGRUPOP). Each remote method needs one code; docs/wire.md lists them.
#include <string>
#include <string_view>
#include <vector>

#include "server/store/session.h"

namespace kdr::server {

namespace authorisation {
inline constexpr std::string_view readParameters = "FPCO";   // read clients' parameters and texts
inline constexpr std::string_view changeParameters = "FPAL"; // change a client's parameters
inline constexpr std::string_view changeDefaults = "FPDP";   // change the companies' default texts
inline constexpr std::string_view copyToList = "FPCL";       // automatic registration to a list
inline constexpr std::string_view copyToEvery = "FPCT";      // automatic registration to every client
inline constexpr std::string_view readHistory = "FPHI";      // read the history of changes

// What the code lets an operator do, in the words of a refusal ("alterar as descrições padrão").
std::string_view describe(std::string_view code);
} // namespace authorisation

// A signed-in operator as the server knows it.
struct Operator {
  std::string code, name;
  std::vector<std::string> authorisations; // sorted, without repeats
  bool holds(std::string_view code) const;
};

// The operator with that code and the codes its groups hold; empty code when there is none.
Operator loadOperator(Session &s, const std::string &code);

} // namespace kdr::server
