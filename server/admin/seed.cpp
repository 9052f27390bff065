#include "server/admin/seed.h"

#include <functional>
#include <string_view>
#include <vector>

#include "server/auth/sessions.h"
#include "server/errors.h"
#include "server/store/tables.h"

namespace kdr::server {
namespace {

using Values = std::vector<Variant>;

// Rows with a value for every column of the table, in its stored order.
void insertAll(Session &s, const Table &table, const std::vector<Values> &rows) {
  const std::string sql = table.insertSql();
  for (const Values &r : rows) s.execute(sql, r);
}

bool isEmpty(Session &s) { return s.query("SELECT 1 FROM CLIENTE LIMIT 1").empty(); }

// Companies, service types, operators, groups and default texts: shared by both seeds.
void seedReference(Session &s, bool withPasswords) {
  insertAll(s, tables::empresa(),
            {{"01", "Alfa Sistemas Ltda"},
             {"02", "Beta Serviços de Informática Ltda"},
             {"03", "Gama Tecnologia S.A."},
             {"04", "Delta Consultoria Ltda"}});
  insertAll(s, tables::tipoServ(),
            {{"001", "Suporte remoto"},
             {"002", "Atendimento presencial"},
             {"003", "Monitoramento 24 horas"},
             {"010", "Service desk dedicado"}});
  insertAll(s, tables::operador(),
            {{"000000000001", "Carlos Mendes"},
             {"000000000002", "Fernanda Lima"},
             {"000000000003", "Roberto Alves"},
             {"000000000004", "Patrícia Nunes"},
             {"atendente", "Atendente de demonstração"},
             {"supervisor", "Supervisor de demonstração"}});
  insertAll(s, tables::operGrupOp(),
            {{"01", "000000000001"},
             {"01", "000000000002"},
             {"02", "000000000002"},
             {"02", "000000000004"},
             {"03", "000000000003"},
             {"10", "atendente"},
             {"20", "supervisor"}});
  // Group 10, the clerks: read, change a client's parameters, copy to a list. Group 20, the
  // supervisors: everything.
  using namespace authorisation;
  std::vector<Values> granted{{"01", "ACSA"}, {"02", "ACSA"}, {"03", "VEND"}};
  for (std::string_view code : {readParameters, changeParameters, copyToList})
    granted.push_back({"10", std::string(code)});
  for (std::string_view code :
       {readParameters, changeParameters, changeDefaults, copyToList, copyToEvery, readHistory})
    granted.push_back({"20", std::string(code)});
  insertAll(s, tables::autGrupOp(), granted);
  // The demo's passwords are its operators' codes (README).
  if (withPasswords)
    for (const char *demo : {"atendente", "supervisor"}) writeOperatorPassword(s, demo, demo);
  insertAll(s, tables::parEmpKdr(),
            {{"01", "3", "Manutenção mensal do sistema Alfa.", "Pagável em qualquer banco até o vencimento."},
             {"01", "6", "Service desk Alfa.", "Boleto de service desk Alfa."},
             {"02", "1", "Customização conforme proposta comercial.", nullptr},
             {"03", "4", "Locação conforme contrato.", "Boleto de locação Gama."}});
}

void fillDemo(Session &s, bool withPasswords);
void fillBulk(Session &s, std::int64_t n);

// Fills an empty database in one transaction. Servers started together with a seed on one empty
// database queue here: the first fills it, the others find it filled. A database holding some of
// the reference rows but no client is left as it is, with word of what to do.
bool seedEmpty(Session &s, const std::function<void()> &fill) {
  Transaction tx(s, Transaction::Mode::Write);
  if (std::string_view lock = s.dialect().lockWriters(); !lock.empty()) s.query(lock, {"KDR seed"});
  if (!isEmpty(s)) return false;
  try {
    fill();
  } catch (const EngineError &e) {
    if (e.kind() != EngineError::Kind::Duplicate) throw;
    throw ServiceError(
        ErrorCode::Conflict,
        "O banco de dados não tem clientes, mas já tem empresas, tipos de serviço ou operadores, e "
        "--seed só preenche um banco vazio. Nada foi gravado. Inicie o servidor sem --seed, ou "
        "informe em --db um banco novo.");
  }
  tx.commit();
  return true;
}

void fillDemo(Session &s, bool withPasswords) {
  seedReference(s, withPasswords);
  insertAll(s, tables::cliente(),
            {{"101", "J", "11222333000181", "Padaria Pão Quente", "0055"},
             {"102", "J", "22333444000172", "Mercado São João", "0055"},
             {"103", "F", "12345678909", "João da Silva", "0055"},
             {"104", "F", "98765432100", "Maria Conceição", "0055"},
             {"105", "J", "33444555000163", "Açougue Boa Carne", "0055"},
             {"106", "J", "33444555000163", "Açougue Boa Carne Filial", "0055"},
             {"107", "J", "44555666000154", "Lisboa Trading Lda", "0351"},
             {"108", "J", "55666777000145", "Andes Importadora", "0054"},
             {"109", "F", "11144477735", "Ana Paula Souza", "0055"},
             {"1010", "J", "66777888000136", "Oficina Mecânica Rápida", "0055"}});
  insertAll(s, tables::cliTipoServ(),
            {{"101", "001"},
             {"101", "002"},
             {"102", "001"},
             {"107", "003"},
             {"107", "010"},
             {"108", "010"},
             {"1010", "001"}});
  insertAll(
      s, tables::parClieKdr(),
      {{"101", "3", "01", "N", "S", "Manutenção do sistema de vendas.", "Boleto pagável em qualquer agência.",
        nullptr, nullptr, "N", 0.0},
       {"101", "5", "01", "N", "N", "Mão de obra de implantação.", "Boleto de mão de obra.", nullptr,
        "000000000001", "S", 0.0},
       {"101", "6", "02", "S", "N", "Service desk mensal.", "Boleto de service desk.", "001", nullptr, "N",
        0.0},
       {"102", "1", "02", "N", "N", "Customização do módulo fiscal.", "Boleto de customização.", nullptr,
        nullptr, "N", 0.0},
       {"102", "4", "03", "N", "S", "Locação de equipamentos.", "Boleto de locação.", nullptr, nullptr, "N",
        0.0},
       {"103", "2", "01", "N", "N", "Cessão de direito de uso do sistema.",
        "Cessão de direito de uso do sistema.", nullptr, nullptr, "N", 0.0},
       {"107", "3", "04", "N", "N", "Maintenance of the sales system.", "Invoice payable by wire transfer.",
        nullptr, nullptr, "N", 12.5},
       // A legacy row, kept as found: unknown type, lower-case flag, an unknown unified-invoice flag.
       {"108", "9", "03", "s", "N", "Registro antigo.", "Registro antigo.", nullptr, nullptr, "X", 0.0},
       {"1010", "1", "01", "N", "N", "Customização Alfa.", "Boleto Alfa.", nullptr, nullptr, "N", 0.0},
       {"1010", "1", "02", "N", "N", "Customização Beta.", "Boleto Beta.", nullptr, nullptr, "N", 0.0}});
}

void fillBulk(Session &s, std::int64_t n) {
  seedReference(s, true);
  // Set-based: one statement per table however many clients.
  const std::string numbers = "WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < ?) ";
  s.execute(numbers + "INSERT INTO CLIENTE (CDCLIENTE, IDTPIJURCLIE, NRINSJURCLIE, NMFANTCLIE, CDPAIS) "
                      "SELECT CAST(I AS VARCHAR(21)), 'J', CAST(20000000000000 + I AS VARCHAR(20)), "
                      "'Cliente ' || CAST(I AS VARCHAR(21)), '0055' FROM N",
            {n});
  s.execute(numbers +
                "INSERT INTO PARCLIEKDR (CDCLIENTE, IDTPFATUCLIE, CDEMPRESA, IDFATURAPFILI, IDFATMESATUCLIE, "
                "DSFATURCLIE, DSBOLETCLIE, IDGERANFUNIFICA, VRPERCAJUSTEINV) "
                "SELECT CAST(I AS VARCHAR(21)), T.TIPO, '01', 'N', 'N', 'Faturamento ' || T.TIPO, "
                "'Boleto ' || T.TIPO, 'N', 0 FROM N CROSS JOIN (SELECT '1' AS TIPO UNION ALL SELECT '3') T "
                "WHERE N.I > 1",
            {n});
  s.execute("INSERT INTO PARCLIEKDR (CDCLIENTE, IDTPFATUCLIE, CDEMPRESA, IDFATURAPFILI, IDFATMESATUCLIE, "
            "DSFATURCLIE, DSBOLETCLIE, IDGERANFUNIFICA, VRPERCAJUSTEINV) "
            "SELECT '1', T.TIPO, '02', 'S', 'S', 'Modelo ' || T.TIPO, 'Boleto modelo ' || T.TIPO, 'S', 1.5 "
            "FROM (SELECT '1' AS TIPO UNION ALL SELECT '2' UNION ALL SELECT '3' UNION ALL SELECT '4' "
            "UNION ALL SELECT '5' UNION ALL SELECT '6') T");
}

} // namespace

bool seedDemo(Session &s, bool withPasswords) {
  return seedEmpty(s, [&s, withPasswords] { fillDemo(s, withPasswords); });
}

bool seedBulk(Session &s, std::int64_t n) {
  return seedEmpty(s, [&s, n] { fillBulk(s, n); });
}

} // namespace kdr::server
