#include "platform/host/dialog_services.h"

#include "platform/data/datasource.h"
#include "platform/host/adoibquery.h"
#include "platform/ui/application.h"
#include "platform/ui/forms.h"

#include <algorithm>

namespace kdr {

SearchCaption splitSearchCaption(const std::string &titleAndEmpty) {
  const auto bar = titleAndEmpty.find('|');
  if (bar == std::string::npos) return {titleAndEmpty, {}};
  return {titleAndEmpty.substr(0, bar), titleAndEmpty.substr(bar + 1)};
}

namespace {

// Nothing to choose: the caller's empty text is shown instead of an empty list.
bool nothingToChoose(TDataSource &source, const SearchCaption &caption) {
  const TDataSet *dataset = source.DataSet();
  if (dataset != nullptr && dataset->Active() && !dataset->IsEmpty()) return false;
  Application().dialogs().messageDlg(caption.title, caption.emptyText, mtInformation, {mbOK});
  return true;
}

std::string quotedList(const std::vector<std::string> &keys) {
  std::string list;
  for (const auto &key : keys) {
    if (!list.empty()) list += ',';
    list += '\'';
    for (char c : key) list += c == '\'' ? std::string("''") : std::string(1, c);
    list += '\'';
  }
  return list;
}

// A local query with more rows than its first packet: its list comes in pages.
TADOIBQuery *pagedQuery(TDataSource &source) {
  auto *rows = dynamic_cast<TADOIBQuery::TQueryRows *>(source.DataSet());
  return rows != nullptr && !rows->query().AllRowsRead() ? &rows->query() : nullptr;
}

} // namespace

int Tmsgaler::MsgAlertEx(const std::string &text, TMsgDlgType type, const std::vector<std::string> &captions,
                         int, int defaultButton, int) {
  const auto preset = static_cast<std::size_t>(std::max(defaultButton, 0));
  return Application().dialogs().question(Application().Title, text, type, captions, preset);
}

void Showavi::ActiveShowAvi(TForm *, int) { Application().Wait().on(); }
void Showavi::DeactiveShowAvi() { Application().Wait().off(); }

bool Pesquisa::Pesquisar(TDataSource &source, const std::string &titleAndEmpty, bool, bool) {
  const SearchCaption caption = splitSearchCaption(titleAndEmpty);
  if (nothingToChoose(source, caption)) return false;
  // The row chosen in a narrowed list stays current: the query stays narrowed until opened again.
  if (TADOIBQuery *query = pagedQuery(source))
    return Application().dialogs().searchPages(caption.title, source, query->ListPages());
  return Application().dialogs().searchList(caption.title, source);
}

bool Pesquisa::PesquisarPaginas(TDataSource &source, const std::string &titleAndEmpty,
                                const SearchPages &pages) {
  const SearchCaption caption = splitSearchCaption(titleAndEmpty);
  if (nothingToChoose(source, caption)) return false;
  return Application().dialogs().searchPages(caption.title, source, pages);
}

bool Pesqlista::PesquisaLista(TDataSource &source, const std::string &keyField,
                              const std::string &titleAndEmpty, bool, std::string &selection) {
  const SearchCaption caption = splitSearchCaption(titleAndEmpty);
  if (nothingToChoose(source, caption)) return false;
  std::vector<std::string> keys;
  if (TADOIBQuery *query = pagedQuery(source)) {
    const bool chosen =
        Application().dialogs().multiPages(caption.title, source, keyField, query->ListPages(), keys);
    // The query is left as opened: every row, from the first packet.
    if (query->Narrowed()) query->ListPages().filter({});
    if (!chosen) return false;
    // The marks in the query's order, as a list of every row would give them.
    keys = query->KeysInOrder(keyField, {keys.begin(), keys.end()});
  } else if (!Application().dialogs().multiList(caption.title, source, keyField, keys)) {
    return false;
  }
  selection = quotedList(keys);
  return true;
}

bool Procurar::Procura(TDataSet &dataset) { return Application().dialogs().find("Procurar", dataset); }

} // namespace kdr
