#pragma once
// The Dialogs service: every dialog a screen can open goes through this one interface. Headless,
// the ScriptedUser answers; on the desktop, the widget set shows real dialogs.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kdr {

class TDataSource;
class TDataSet;
class TForm;

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
using enum TMsgDlgType;

enum class TMsgDlgBtn {
  mbYes,
  mbNo,
  mbOK,
  mbCancel,
  mbAbort,
  mbRetry,
  mbIgnore,
  mbAll,
  mbNoToAll,
  mbYesToAll
};
using enum TMsgDlgBtn;
using TMsgDlgButtons = std::vector<TMsgDlgBtn>;

// Modal results. The custom-caption question answers 10 for its first button, 11 for the second...
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrAbort = 3;
inline constexpr int mrRetry = 4;
inline constexpr int mrIgnore = 5;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;
inline constexpr int mrAll = 8;
inline constexpr int mrNoToAll = 9;
inline constexpr int mrYesToAll = 10;
inline constexpr int mrFirstCaption = 10;

int modalResultOf(TMsgDlgBtn b);
// The result of Esc or the close box: Cancel when offered, else No (a Yes/No question), else the
// only button of a one-button message.
int escapeResult(const TMsgDlgButtons &buttons);
std::string kindName(TMsgDlgType t);
std::string buttonName(TMsgDlgBtn b);

// The rows of a search that come from a server a page at a time. The source's dataset holds the
// first page of an empty filter when the search opens; filter(text) replaces its rows with the
// first page of those matching text, and more() appends the next page, false when none is left.
struct SearchPages {
  std::function<void(const std::string &text)> filter;
  std::function<bool()> more;
};

// Two versions of one record side by side, field by field, for the user to choose between: the
// column titles and a line per field that differs.
struct Comparison {
  std::string firstTitle, secondTitle;
  struct Line {
    std::string field, first, second;
  };
  std::vector<Line> lines;
};
// The comparison as lines of text ("Campo: A sua «x»; A gravada «y»"), for a dialog that shows
// only text.
std::string comparisonText(const Comparison &comparison);

// Long work the user follows in a dialog with a bar and Cancelar: the dialog starts it, asks how
// far it got every so often and closes once it is over. Cancelar asks it to stop; it is over once
// the stop is done (the work's own answer then says it was stopped).
struct FollowedWork {
  struct State {
    std::string text;                 // what the dialog says ("Copiando: 120000 de 1000000 clientes")
    std::int64_t done = 0, total = 0; // total 0: unknown so far
    bool over = false;
  };
  std::function<void()> start;
  std::function<State()> poll;
  std::function<void()> cancel;
};

class Dialogs {
public:
  virtual ~Dialogs() = default;

  // A message with standard buttons; returns the modal result of the button chosen.
  virtual int messageDlg(const std::string &title, const std::string &text, TMsgDlgType type,
                         const TMsgDlgButtons &buttons) = 0;
  // A question whose buttons carry the given captions; returns 10 for the first, 11 for the next...
  // and mrCancel when closed without a choice. Enter presses the caption at defaultCaption.
  virtual int question(const std::string &title, const std::string &text, TMsgDlgType type,
                       const std::vector<std::string> &captions, std::size_t defaultCaption = 0) = 0;
  // A question over two versions of a record: text, then the comparison, then the captions as
  // question() has them (10 for the first; mrCancel when closed). Where a widget set has no such
  // dialog, the comparison goes into the question's text (comparisonText) under a blank line.
  virtual int compareQuestion(const std::string &title, const std::string &text, const Comparison &comparison,
                              const std::vector<std::string> &captions);
  // A single-choice list over the source's dataset (its visible fields as columns). True when the
  // user chose a row; the dataset then stands on it.
  virtual bool searchList(const std::string &title, TDataSource &source) = 0;
  // The single-choice list over rows that come in pages: it narrows them through the pages as
  // the user types and asks for more as the user reaches the end. Where a widget set has no such
  // list, every page is brought and the plain list shown.
  virtual bool searchPages(const std::string &title, TDataSource &source, const SearchPages &pages);
  // A multi-choice list over the source's dataset. True when confirmed; keys gets the AsString of
  // keyField of every chosen row, in the dataset's order.
  virtual bool multiList(const std::string &title, TDataSource &source, const std::string &keyField,
                         std::vector<std::string> &keys) = 0;
  // The multi-choice list over rows that come in pages. Marks are kept by key, so a row marked
  // stays marked while the user narrows the rows and widens them again; keys gets the marked keys,
  // in no particular order. Where a widget set has no such list, every page is brought and the
  // plain list shown.
  virtual bool multiPages(const std::string &title, TDataSource &source, const std::string &keyField,
                          const SearchPages &pages, std::vector<std::string> &keys);
  // The find dialog: the user types a text and the dataset is positioned on the first row whose
  // visible field starts with it. True when a row was found.
  virtual bool find(const std::string &title, TDataSet &dataset) = 0;
  // Runs a form modally: returns once the form's ModalResult is not zero.
  virtual void runModal(TForm &form) = 0;
  // The dialog of long work (see FollowedWork); returns once the work is over. Where a widget set
  // has no such dialog, the work is waited for without one.
  virtual void progressDlg(const std::string &title, const FollowedWork &work);
};

// Positions the dataset on the first row (from the first) having a visible field whose display
// text starts with text, regardless of case. Used by the find dialogs of every widget set.
bool locateByText(TDataSet &dataset, const std::string &text);
// The visible fields of the current row, as a list shows them, joined by " | ".
std::string rowAsShown(TDataSet &dataset);

} // namespace kdr
