#include "platform/ui/dialogs.h"

#include <chrono>
#include <thread>

#include "platform/data/dataset.h"
#include "platform/rtl/utf8.h"

#include <algorithm>

namespace kdr {

int modalResultOf(TMsgDlgBtn b) {
  switch (b) {
  case mbYes:
    return mrYes;
  case mbNo:
    return mrNo;
  case mbOK:
    return mrOk;
  case mbCancel:
    return mrCancel;
  case mbAbort:
    return mrAbort;
  case mbRetry:
    return mrRetry;
  case mbIgnore:
    return mrIgnore;
  case mbAll:
    return mrAll;
  case mbNoToAll:
    return mrNoToAll;
  case mbYesToAll:
    return mrYesToAll;
  }
  return mrNone;
}

int escapeResult(const TMsgDlgButtons &buttons) {
  auto has = [&](TMsgDlgBtn b) { return std::find(buttons.begin(), buttons.end(), b) != buttons.end(); };
  if (has(mbCancel)) return mrCancel;
  if (has(mbNo)) return mrNo;
  if (buttons.size() == 1) return modalResultOf(buttons.front());
  return mrCancel;
}

std::string kindName(TMsgDlgType t) {
  switch (t) {
  case mtWarning:
    return "warning";
  case mtError:
    return "error";
  case mtInformation:
    return "information";
  case mtConfirmation:
    return "confirmation";
  case mtCustom:
    return "custom";
  }
  return "custom";
}

std::string buttonName(TMsgDlgBtn b) {
  switch (b) {
  case mbYes:
    return "Sim";
  case mbNo:
    return "Não";
  case mbOK:
    return "OK";
  case mbCancel:
    return "Cancelar";
  case mbAbort:
    return "Abortar";
  case mbRetry:
    return "Repetir";
  case mbIgnore:
    return "Ignorar";
  case mbAll:
    return "Todos";
  case mbNoToAll:
    return "Não para todos";
  case mbYesToAll:
    return "Sim para todos";
  }
  return "?";
}

std::string comparisonText(const Comparison &comparison) {
  std::string out;
  for (const Comparison::Line &line : comparison.lines) {
    if (!out.empty()) out += '\n';
    out += line.field + ": " + comparison.firstTitle + " «" + line.first + "»; " + comparison.secondTitle +
           " «" + line.second + "»";
  }
  return out;
}

int Dialogs::compareQuestion(const std::string &title, const std::string &text, const Comparison &comparison,
                             const std::vector<std::string> &captions) {
  return question(title, text + "\n\n" + comparisonText(comparison), mtConfirmation, captions);
}

void Dialogs::progressDlg(const std::string &, const FollowedWork &work) {
  work.start();
  while (!work.poll().over) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

bool Dialogs::searchPages(const std::string &title, TDataSource &source, const SearchPages &pages) {
  while (pages.more()) {
  }
  return searchList(title, source);
}

bool Dialogs::multiPages(const std::string &title, TDataSource &source, const std::string &keyField,
                         const SearchPages &pages, std::vector<std::string> &keys) {
  while (pages.more()) {
  }
  return multiList(title, source, keyField, keys);
}

namespace {

bool rowStartsWith(TDataSet &dataset, const std::string &folded) {
  for (auto *field : dataset.Fields()) {
    if (!field->Visible()) continue;
    std::string shown = utf8::foldForSearch(field->DisplayText());
    if (shown.compare(0, folded.size(), folded) == 0) return true;
  }
  return false;
}

} // namespace

bool locateByText(TDataSet &dataset, const std::string &text) {
  if (!dataset.Active()) return false;
  const std::string folded = utf8::foldForSearch(text);
  const std::size_t rows = dataset.displayRowCount();
  for (std::size_t row = 0; row < rows; ++row) {
    bool match;
    {
      TDataSet::DisplayRow at(dataset, row);
      match = rowStartsWith(dataset, folded);
    }
    if (!match) continue;
    const auto current = static_cast<long>(dataset.currentDisplayRow());
    if (static_cast<long>(row) != current) dataset.MoveBy(static_cast<int>(static_cast<long>(row) - current));
    return true;
  }
  return false;
}

std::string rowAsShown(TDataSet &dataset) {
  std::string out;
  for (auto *field : dataset.Fields()) {
    if (!field->Visible()) continue;
    if (!out.empty()) out += " | ";
    out += field->DisplayText();
  }
  return out;
}

} // namespace kdr
