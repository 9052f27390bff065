#include "server/auth/authorisations.h"

#include <algorithm>

namespace kdr::server {

std::string_view authorisation::describe(std::string_view code) {
  if (code == readParameters) return "consultar os parâmetros de faturamento";
  if (code == changeParameters) return "alterar os parâmetros de faturamento dos clientes";
  if (code == changeDefaults) return "alterar as descrições padrão";
  if (code == copyToList) return "executar o cadastramento automático para uma lista de clientes";
  if (code == copyToEvery) return "executar o cadastramento automático para todos os clientes";
  if (code == readHistory) return "consultar o histórico de alterações";
  return "executar esta operação";
}

bool Operator::holds(std::string_view code) const {
  return std::binary_search(authorisations.begin(), authorisations.end(), code);
}

Operator loadOperator(Session &s, const std::string &code) {
  Operator op;
  Rows found = s.query("SELECT CDOPERADOR, NMOPERADOR FROM OPERADOR WHERE CDOPERADOR = ?", {code});
  if (found.empty()) return op;
  op.code = found[0][0].str();
  op.name = found[0][1].isString() ? found[0][1].str() : std::string();
  for (const Row &r : s.query("SELECT DISTINCT A.IDAUTGRUPOP FROM OPERGRUPOP G JOIN AUTGRUPOP A ON "
                              "A.CDGRUPOPER = G.CDGRUPOPER WHERE G.CDOPERADOR = ?",
                              {code}))
    op.authorisations.push_back(r[0].str());
  // Byte order, whatever the database's collation, for holds().
  std::sort(op.authorisations.begin(), op.authorisations.end());
  return op;
}

} // namespace kdr::server
