#pragma once
// The billing vocabulary as the server checks and names it.
#include <string>
#include <string_view>

#include "server/store/session.h"

namespace kdr::server {

bool isBillingType(std::string_view code); // "1" to "6"
// "3 (Manutenção)"; an unknown code is shown as it is.
std::string billingTypeText(std::string_view code);
// The type's default description, used where a text is missing; empty for an unknown type.
std::string defaultDescription(std::string_view code);
bool isFlag(std::string_view code); // "S" or "N"
// The country (CDPAIS) of the clients billed at home, whose invoice-adjustment rate has no bounds.
inline constexpr std::string_view homeCountry = "0055";
// The digits of a registration number as typed ("11.222.333/0001-81"), as stored for lookups.
std::string registrationDigits(std::string_view number);

// True when a row with that value exists in table.column.
bool codeExists(Session &session, std::string_view table, std::string_view column, const Variant &code);

} // namespace kdr::server
