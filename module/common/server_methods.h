#pragma once
// What the module calls on the application server: one remote data module and its methods.
#include <string_view>

namespace kdr03020::common {

inline constexpr std::string_view serverName = "KDR03020.rdmParamFatCli";

inline constexpr std::string_view GetCliente = "GetCliente";
// A page of the clients a search shows (filter, code after which it starts, page size).
inline constexpr std::string_view PesquisaCliente = "PesquisaCliente";
inline constexpr std::string_view GetParamFatCli = "GetParamFatCli";
inline constexpr std::string_view SetParamFatCli = "SetParamFatCli";
inline constexpr std::string_view GetDescPadrao = "GetDescPadrao";
inline constexpr std::string_view GetTipoDeServico = "GetTipoDeServico";
inline constexpr std::string_view GetParEmpKdr = "GetParEmpKdr";
inline constexpr std::string_view SetParEmpKdr = "SetParEmpKdr";
inline constexpr std::string_view GeraAutomParam = "GeraAutomParam";
inline constexpr std::string_view PreviewGeraAutomParam = "PreviewGeraAutomParam";
// The copy under a name by which the desktop follows it and may stop it.
inline constexpr std::string_view GeraAutomParamAcompanhado = "GeraAutomParamAcompanhado";

// The all-flag: "T" asks a list method for every row.
inline constexpr std::string_view allRows = "T";

} // namespace kdr03020::common
