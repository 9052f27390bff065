#pragma once
// The host's dialog routines the screens call by unit name: the custom-caption question, the
// wait animation, the single- and multi-choice searches and the find dialog. All go through the
// application's Dialogs service.
#include <string>
#include <vector>

#include "platform/ui/dialogs.h"

namespace kdr {
class TDataSet;
class TDataSource;
class TForm;
} // namespace kdr

namespace kdr::Tmsgaler {
// A question with the given button captions; returns 10 for the first caption, 11 for the
// second..., and another value when closed without a choice. defaultButton is the index of the
// caption Enter presses; layout and help context do not change this dialog.
int MsgAlertEx(const std::string &text, TMsgDlgType type, const std::vector<std::string> &captions,
               int layout = 2, int defaultButton = 0, int helpContext = 0);
} // namespace kdr::Tmsgaler

namespace kdr::Showavi {
// The wait animation over a form; kind is accepted for the callers' signature. Turning it off
// when it is not on does nothing.
void ActiveShowAvi(TForm *form = nullptr, int kind = 1);
void DeactiveShowAvi();
} // namespace kdr::Showavi

namespace kdr::Pesquisa {
// Modal single-choice search over the source's dataset. titleAndEmpty is the title and the text
// shown when there is nothing to choose, joined by "|". With nothing to choose that text is shown
// as an information message and the answer is false. True when a row was chosen: the source's
// dataset stands on it. The two flags of the classic call do not change this search.
bool Pesquisar(TDataSource &source, const std::string &titleAndEmpty, bool = false, bool = true);
// The same search over rows that come in pages; the source holds the first page of an empty filter.
bool PesquisarPaginas(TDataSource &source, const std::string &titleAndEmpty, const SearchPages &pages);
} // namespace kdr::Pesquisa

namespace kdr::Pesqlista {
// Modal multi-choice search. On confirmation, selection becomes the chosen rows' values of
// keyField, each in single quotes, separated by commas ('101','1010'); on cancel it is kept.
// With nothing to choose, the empty text is shown and the answer is false.
bool PesquisaLista(TDataSource &source, const std::string &keyField, const std::string &titleAndEmpty, bool,
                   std::string &selection);
} // namespace kdr::Pesqlista

namespace kdr::Procurar {
// The find dialog: positions the dataset on the row the user looks for; true when found.
bool Procura(TDataSet &dataset);
} // namespace kdr::Procurar

namespace kdr {
// "Title|Empty text" split at the first bar; without a bar the whole text is the title.
struct SearchCaption {
  std::string title;
  std::string emptyText;
};
SearchCaption splitSearchCaption(const std::string &titleAndEmpty);
} // namespace kdr
