#include "platform/host/cache_refresh.h"

#include <memory>

#include "platform/host/local_table_load.h"
#include "platform/rtl/exceptions.h"

namespace kdr {

namespace {

// Pages answered while the load runs are read at different moments, so each round is followed
// by one that brings what changed since the round began; a round of one page is one moment of
// the server's table. Writers that never pause would keep the rounds going: after this many,
// the copy keeps the mark of the last round begun and the next refresh brings the rest.
constexpr int maxRounds = 8;

struct Page {
  Variant answer; // holds the parts below
  std::string mark;
  bool whole = false;
  const DataPacket *rows = nullptr;
  const DataPacket *removed = nullptr;
  std::string next;
};

[[noreturn]] void failRefresh(const std::string &table, const std::string &why) {
  throw EDatabaseError("Não foi possível atualizar a cópia local da tabela " + table + ": " + why);
}

Page askPage(TNetConnection &server, const std::string &table, const std::string &mark,
             const std::string &position, std::size_t pageRows) {
  Page page;
  const Variant result = server.Call(snapshotPageMethod, {Variant(table), Variant(mark), Variant(position),
                                                          Variant(std::to_string(pageRows))});
  if (TNetConnection::isErrorResult(result)) failRefresh(table, TNetConnection::errorMessage(result));
  page.answer = TNetConnection::payloadOf(result);
  const bool wellFormed = page.answer.isArray() && page.answer.array().size() == 5 &&
                          page.answer.array()[0].isString() && page.answer.array()[1].isString() &&
                          page.answer.array()[2].isPacket() && page.answer.array()[3].isPacket() &&
                          page.answer.array()[4].isString();
  if (!wellFormed)
    throw EDatabaseError("O servidor não enviou os dados da tabela " + table + " para a cópia local.");
  const auto &parts = page.answer.array();
  page.mark = parts[0].str();
  page.whole = parts[1].str() == "T";
  page.rows = parts[2].packet().get();
  page.removed = parts[3].packet().get();
  page.next = parts[4].str();
  return page;
}

} // namespace

void refreshCachedTable(TNetConnection &server, TLocalConnection &local, const std::string &table,
                        const CacheRefreshOptions &options) {
  std::string mark = LocalTableLoad::markOf(local, table);
  std::unique_ptr<LocalTableLoad> load;
  for (int round = 1;; ++round) {
    Page page = askPage(server, table, mark, {}, options.pageRows);
    if (!load) load = std::make_unique<LocalTableLoad>(local, table, page.rows->fields, page.removed->fields);
    const bool whole = page.whole;
    if (whole)
      load->clear();
    else
      load->remove(*page.removed);
    load->write(*page.rows, !whole);
    if (options.afterPage) options.afterPage(page.rows->rows.size());
    const std::string roundMark = page.mark;
    const bool oneMoment = page.next.empty();
    while (!page.next.empty()) {
      const std::string next = std::move(page.next);
      // The page written goes before the next one comes: two pages are never held at once.
      page = Page{};
      page = askPage(server, table, mark, next, options.pageRows);
      if (page.whole != whole) failRefresh(table, "a base de dados do servidor mudou durante a carga.");
      load->write(*page.rows, !whole);
      if (options.afterPage) options.afterPage(page.rows->rows.size());
    }
    mark = roundMark;
    if (oneMoment || round == maxRounds) break;
  }
  load->commit(mark);
}

} // namespace kdr
