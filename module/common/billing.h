#pragma once
// The billing vocabulary shared by the three screens: billing-type codes with the catalogue keys
// of their texts, and the one-character flag codes. The texts of billing types are read from each
// screen's catalogue at the moment of use; only the flag texts are literals. Every comparison is
// exact, case included: a stored "s" is no flag and " 1" no billing type.
#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/host/messages.h"

namespace kdr03020::common {

struct BillingType {
  std::string_view code;      // stored in IDTPFATUCLIE / IDTPFATUEMPRESA
  std::string_view key;       // catalogue key of its text
  std::string_view boxSuffix; // suffix of its check boxes on the automatic-registration screen
};

inline constexpr std::array<BillingType, 6> billingTypes{{
    {"1", "CUS", "CZ"},
    {"2", "LIC", "LU"},
    {"3", "MAN", "MN"},
    {"4", "LOC", "LC"},
    {"5", "OBR", "MO"},
    {"6", "SER", "SD"},
}};

// The billing types whose rows carry settings of their own: a service type for Service Desk, an
// implementation manager and a unified invoice for Mão de Obra.
inline constexpr std::string_view billingLabour = "5";
inline constexpr std::string_view billingServiceDesk = "6";

// Every billing-type code, for screens whose conversions offer them all.
inline constexpr std::array<std::string_view, 6> allBillingCodes{"1", "2", "3", "4", "5", "6"};

// The billing type of a stored code; codes compare exactly, so "7", "" or " 1" have none.
inline const BillingType *billingTypeOf(std::string_view code) {
  for (const auto &type : billingTypes)
    if (type.code == code) return &type;
  return nullptr;
}

// The text of a stored billing-type code in the screen's catalogue, read now; empty for a code
// outside the vocabulary.
inline std::string billingTypeText(const kdr::TMessages &catalogue, std::string_view code) {
  const BillingType *type = billingTypeOf(code);
  return type ? catalogue.Msg(type->key) : std::string();
}

// The code of the billing type whose catalogue text is exactly text, among the codes the screen
// lets the user choose; none when the text matches none of them.
inline std::optional<std::string_view>
billingTypeCode(const kdr::TMessages &catalogue, std::string_view text,
                std::span<const std::string_view> offered = allBillingCodes) {
  for (std::string_view code : offered)
    if (const BillingType *type = billingTypeOf(code); type && catalogue.Msg(type->key) == text)
      return type->code;
  return std::nullopt;
}

// The country (CDPAIS) of the clients billed at home: they pay no invoice rate, so its field stays
// closed, and the bounds of the rate do not apply to them.
inline constexpr std::string_view homeCountry = "0055";

inline constexpr std::string_view flagYes = "S";
inline constexpr std::string_view flagNo = "N";
inline constexpr std::string_view flagYesText = "Sim";
inline constexpr std::string_view flagNoText = "Não";

// Display text of a flag; any value other than exactly "S" or "N" shows empty.
inline std::string_view flagText(std::string_view code) {
  if (code == flagYes) return flagYesText;
  if (code == flagNo) return flagNoText;
  return {};
}

// Code of a chosen flag text; empty when the text is neither "Sim" nor "Não".
inline std::string_view flagCode(std::string_view text) {
  if (text == flagYesText) return flagYes;
  if (text == flagNoText) return flagNo;
  return {};
}

} // namespace kdr03020::common
