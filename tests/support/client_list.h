#pragma once
// A local copy with more clients than a packet of a list, and the automatic registration's list
// query over it (every client but the model, by registration number). Registration numbers run
// against the codes, so the list's order is not the codes' order; client 7 is "João 50%" and
// client 1250 "Açougue Central", for filters that fold accents and hold LIKE's own characters.
#include <string>

#include "platform/host/adoibquery.h"
#include "platform/host/localdb.h"

namespace kdr::test {

inline constexpr int manyClients = 1300;

inline void fillClients(TLocalConnection &db) {
  db.execute("WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < " +
             std::to_string(manyClients) +
             ") INSERT INTO CLIENTE (CDCLIENTE, NRINSJURCLIE, NMFANTCLIE, IDTPIJURCLIE) "
             "SELECT CAST(I AS TEXT), printf('%014d', " +
             std::to_string(manyClients + 1) + " - I), 'Cliente ' || I, 'J' FROM N");
  db.execute("UPDATE CLIENTE SET NMFANTCLIE = 'João 50%' WHERE CDCLIENTE = '7'");
  db.execute("UPDATE CLIENTE SET NMFANTCLIE = 'Açougue Central' WHERE CDCLIENTE = '1250'");
}

// The list's query with the screen's fields; the model is client 1.
inline void declareClientList(TADOIBQuery &query) {
  for (const char *line : {"SELECT CDCLIENTE, IDTPIJURCLIE, NRINSJURCLIE, NMFANTCLIE", "FROM CLIENTE",
                           "WHERE CDCLIENTE <> :P_CDCLIENTE", "ORDER BY NRINSJURCLIE"})
    query.SQL.Add(line);
  query.Query.AddStringField("CDCLIENTE", 21).SetVisible(false);
  query.Query.AddStringField("IDTPIJURCLIE", 1).SetVisible(false);
  query.Query.AddStringField("NRINSJURCLIE", 20).SetDisplayLabel("Inscrição");
  query.Query.AddStringField("NMFANTCLIE", 50).SetDisplayLabel("Nome Fantasia");
  query.ParamByName("P_CDCLIENTE").SetAsString("1");
}

} // namespace kdr::test
