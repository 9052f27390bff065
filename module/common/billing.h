#pragma once
// The billing vocabulary shared by the three screens: billing-type codes with the catalogue keys
// of their texts, and the one-character flag codes. The texts of billing types are read from each
// screen's catalogue at the moment of use; only the flag texts are literals.
#include <array>
#include <string_view>

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

// The billing type of a stored code; codes compare exactly, so "7", "" or " 1" have none.
inline const BillingType *billingTypeOf(std::string_view code) {
  for (const auto &type : billingTypes)
    if (type.code == code) return &type;
  return nullptr;
}

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

// Code of a chosen flag text; nullptr-like empty view when the text is neither.
inline std::string_view flagCode(std::string_view text) {
  if (text == flagYesText) return flagYes;
  if (text == flagNoText) return flagNo;
  return {};
}

} // namespace kdr03020::common
