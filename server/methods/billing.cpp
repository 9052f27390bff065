#include "server/methods/billing.h"

#include <array>

#include "server/errors.h"

namespace kdr::server {
namespace {

struct BillingType {
  std::string_view code, name, description;
};

constexpr std::array<BillingType, 6> types{{
    {"1", "Customização", "Prestação de serviços de processamento de dados."},
    {"2", "Licença de uso", "Cessão de direito de uso do sistema."},
    {"3", "Manutenção", "Prestação de serviços de processamento de dados no sistema."},
    {"4", "Locação", "Prestação de serviços."},
    {"5", "Mão de Obra", "Prestação de serviços."},
    {"6", "Service Desk", "Prestação de serviços."},
}};

const BillingType *find(std::string_view code) {
  for (const BillingType &t : types)
    if (t.code == code) return &t;
  return nullptr;
}

} // namespace

bool isBillingType(std::string_view code) { return find(code) != nullptr; }

std::string billingTypeText(std::string_view code) {
  const BillingType *t = find(code);
  return t ? std::string(code) + " (" + std::string(t->name) + ")" : "\"" + quoted(code) + "\"";
}

std::string defaultDescription(std::string_view code) {
  const BillingType *t = find(code);
  return t ? std::string(t->description) : std::string();
}

bool isFlag(std::string_view code) { return code == "S" || code == "N"; }

std::string registrationDigits(std::string_view number) {
  std::string out;
  for (char c : number)
    if (c >= '0' && c <= '9') out += c;
  return out;
}

bool codeExists(Session &session, std::string_view table, std::string_view column, const Variant &code) {
  std::string sql = "SELECT 1 FROM " + std::string(table) + " WHERE " + std::string(column) + " = ?";
  return !session.query(sql, {code}).empty();
}

} // namespace kdr::server
