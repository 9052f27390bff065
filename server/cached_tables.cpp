#include "server/cached_tables.h"

#include "server/packets.h"

namespace kdr::server {

const std::vector<CachedTable> &cachedTables() {
  static const std::vector<CachedTable> tables{
      {"CLIENTE",
       {textField("CDCLIENTE", 21), textField("IDTPIJURCLIE", 1), textField("NRINSJURCLIE", 20),
        textField("NMFANTCLIE", 50), textField("CDPAIS", 4)},
       {"CDCLIENTE"}},
      {"EMPRESA", {textField("CDEMPRESA", 2), textField("NMEMPRESA", 40)}, {"CDEMPRESA"}},
      {"OPERADOR", {textField("CDOPERADOR", 12), textField("NMOPERADOR", 40)}, {"CDOPERADOR"}},
      {"OPERGRUPOP", {textField("CDGRUPOPER", 2), textField("CDOPERADOR", 12)}, {"CDGRUPOPER", "CDOPERADOR"}},
      {"AUTGRUPOP", {textField("CDGRUPOPER", 2), textField("IDAUTGRUPOP", 4)}, {"CDGRUPOPER", "IDAUTGRUPOP"}},
      {"PARCLIEKDR",
       {textField("CDCLIENTE", 21), textField("IDTPFATUCLIE", 1), textField("CDEMPRESA", 2),
        textField("IDFATURAPFILI", 1), textField("IDFATMESATUCLIE", 1), textField("DSFATURCLIE", 400),
        textField("DSBOLETCLIE", 400), textField("CDTIPOSERV", 3), textField("CDGERENTEIMPCLI", 12),
        textField("IDGERANFUNIFICA", 1), floatField("VRPERCAJUSTEINV")},
       {"CDCLIENTE", "IDTPFATUCLIE", "CDEMPRESA"}},
  };
  return tables;
}

const CachedTable *findCachedTable(std::string_view name) {
  for (const CachedTable &t : cachedTables())
    if (t.name == name) return &t;
  return nullptr;
}

} // namespace kdr::server
