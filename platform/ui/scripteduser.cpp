#include "platform/ui/scripteduser.h"

#include "platform/data/datasource.h"
#include "platform/rtl/utf8.h"
#include "platform/ui/forms.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace kdr {

namespace {

// The rows of the source's dataset as a list shows them, without moving the cursor.
std::vector<std::string> shownRows(TDataSet *dataset) {
  std::vector<std::string> rows;
  if (!dataset || !dataset->Active()) return rows;
  for (std::size_t row = 0; row < dataset->displayRowCount(); ++row) {
    TDataSet::DisplayRow at(*dataset, row);
    rows.push_back(rowAsShown(*dataset));
  }
  return rows;
}

// The row a user reading the list takes for the text: case and accents aside, as the dialogs'
// filters compare.
long rowContaining(const std::vector<std::string> &rows, const std::string &text) {
  const std::string folded = utf8::foldForSearch(text);
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (utf8::foldForSearch(rows[i]).find(folded) != std::string::npos) return static_cast<long>(i);
  return -1;
}

// Over pages, the user types the text as the filter and scrolls on until a row shows it: that
// row, or -1; rows gets what the list shows then.
long rowInPages(TDataSet *dataset, const SearchPages &pages, const std::string &text,
                std::vector<std::string> &rows) {
  pages.filter(text);
  rows = shownRows(dataset);
  long row = rowContaining(rows, text);
  while (row < 0 && pages.more()) {
    rows = shownRows(dataset);
    row = rowContaining(rows, text);
  }
  return row;
}

void moveTo(TDataSet &dataset, long row) {
  const long current = static_cast<long>(dataset.currentDisplayRow());
  if (row != current) dataset.MoveBy(static_cast<int>(row - current));
}

// "*" matches any run of characters, everything else itself.
bool matchesPattern(std::string_view pattern, std::string_view text) {
  const std::size_t star = pattern.find('*');
  if (star == std::string_view::npos) return pattern == text;
  if (text.substr(0, star) != pattern.substr(0, star)) return false;
  const std::string_view rest = pattern.substr(star + 1);
  for (std::size_t from = star; from <= text.size(); ++from)
    if (matchesPattern(rest, text.substr(from))) return true;
  return false;
}

std::string joined(const std::vector<std::string> &items) {
  std::string out;
  for (const auto &s : items) out += (out.empty() ? "" : ", ") + s;
  return out;
}

} // namespace

ScriptedUser::ScriptedUser(Reporter report)
    : report_(std::move(report)), previous_(Application().installedDialogs()) {
  Application().setDialogs(this);
  previousSink_ = Application().setDiagnosticSink([this](const std::string &fault) { fail(fault); });
}

ScriptedUser::~ScriptedUser() {
  Application().setDialogs(previous_);
  Application().setDiagnosticSink(std::move(previousSink_));
  std::vector<std::string> problems;
  if (!verified_) {
    problems = failures_;
    for (const auto &p : pending()) problems.push_back("expected but never shown: " + p);
  }
  if (!finished_)
    for (const auto &left : leftovers()) problems.push_back(left);
  if (problems.empty()) return;
  std::string message = "scripted user: " + joined(problems) + "\ntranscript:\n" + transcriptText();
  if (report_) {
    report_(message);
  } else {
    std::fprintf(stderr, "%s\n", message.c_str());
    std::abort();
  }
}

ScriptedUser &ScriptedUser::queue(Expectation e) {
  expected_.push_back(std::move(e));
  return *this;
}

ScriptedUser &ScriptedUser::expectMessage(TMsgDlgType type, std::string text, int answer) {
  Expectation e(Kind::Message);
  e.type = type;
  e.text = std::move(text);
  e.answer = answer;
  return queue(std::move(e));
}

ScriptedUser &ScriptedUser::expectMessageLike(TMsgDlgType type, std::string pattern, int answer) {
  expectMessage(type, std::move(pattern), answer);
  expected_.back().pattern = true;
  return *this;
}

ScriptedUser &ScriptedUser::expectQuestion(std::string text, std::string caption) {
  Expectation e(Kind::Question);
  e.text = std::move(text);
  e.caption = std::move(caption);
  return queue(std::move(e));
}

ScriptedUser &ScriptedUser::expectQuestionLike(std::string pattern, std::string caption) {
  expectQuestion(std::move(pattern), std::move(caption));
  expected_.back().pattern = true;
  return *this;
}

ScriptedUser &ScriptedUser::expectChoice(Kind kind, std::string title, std::vector<std::string> chooseTexts,
                                         bool cancel) {
  Expectation e(kind);
  e.text = std::move(title);
  e.choose = std::move(chooseTexts);
  e.cancel = cancel;
  return queue(std::move(e));
}

ScriptedUser &ScriptedUser::expectSearch(std::string title, std::string chooseText) {
  return expectChoice(Kind::Search, std::move(title), {std::move(chooseText)}, false);
}

ScriptedUser &ScriptedUser::expectSearchCancel(std::string title) {
  return expectChoice(Kind::Search, std::move(title), {}, true);
}

ScriptedUser &ScriptedUser::expectList(std::string title, std::vector<std::string> chooseTexts) {
  return expectChoice(Kind::List, std::move(title), std::move(chooseTexts), false);
}

ScriptedUser &ScriptedUser::expectListCancel(std::string title) {
  return expectChoice(Kind::List, std::move(title), {}, true);
}

ScriptedUser &ScriptedUser::expectFind(std::string text) {
  Expectation e(Kind::Find);
  e.text = std::move(text);
  return queue(std::move(e));
}

ScriptedUser &ScriptedUser::expectModal(std::string formName, std::function<void(TForm &)> drive) {
  Expectation e(Kind::Modal);
  e.text = std::move(formName);
  e.drive = std::move(drive);
  return queue(std::move(e));
}

ScriptedUser &ScriptedUser::expectProgress(bool cancel) {
  Expectation e(Kind::Progress);
  e.cancel = cancel;
  return queue(std::move(e));
}

std::string ScriptedUser::describe(const Expectation &e) {
  switch (e.kind) {
  case Kind::Message:
    return kindName(e.type) + (e.pattern ? " like \"" : " \"") + e.text + "\"";
  case Kind::Question:
    return (e.pattern ? "question like \"" : "question \"") + e.text + "\"";
  case Kind::Search:
    return "search \"" + e.text + "\"" + (e.cancel ? " (cancel)" : " choosing \"" + e.choose.front() + "\"");
  case Kind::List:
    return "list \"" + e.text + "\"" + (e.cancel ? " (cancel)" : " choosing " + joined(e.choose));
  case Kind::Find:
    return "find \"" + e.text + "\"";
  case Kind::Modal:
    return "modal form " + (e.text.empty() ? std::string("(any)") : e.text);
  case Kind::Progress:
    return std::string("progress") + (e.cancel ? " (cancel)" : "");
  }
  return "?";
}

std::vector<std::string> ScriptedUser::pending() const {
  std::vector<std::string> list;
  for (const auto &e : expected_) list.push_back(describe(e));
  return list;
}

std::string ScriptedUser::transcriptText() const {
  std::string out;
  for (const auto &r : transcript_) {
    out += r.kind;
    if (!r.title.empty()) out += " [" + r.title + "]";
    out += " \"" + r.text + "\"";
    if (!r.buttons.empty()) out += " {" + joined(r.buttons) + "}";
    out += " -> " + r.answer + "\n";
  }
  return out;
}

void ScriptedUser::fail(const std::string &why) {
  failures_.push_back(why);
  throw ScriptFailure("scripted user: " + why);
}

ScriptedUser::Expectation ScriptedUser::take(Kind k, const DialogRecord &seen,
                                             const std::function<bool(const Expectation &)> &match) {
  // A list shows no text of its own: its title names it.
  const std::string shown = seen.kind + " \"" + (seen.text.empty() ? seen.title : seen.text) + "\"";
  if (expected_.empty()) {
    transcript_.push_back(seen);
    fail("unexpected dialog: " + shown);
  }
  // A dialog that does not match leaves the expectation where it was, for verify to report.
  if (const Expectation &next = expected_.front(); next.kind != k || !match(next)) {
    transcript_.push_back(seen);
    fail("unexpected dialog: " + shown + " while expecting " + describe(next));
  }
  Expectation e = std::move(expected_.front());
  expected_.pop_front();
  return e;
}

int ScriptedUser::messageDlg(const std::string &title, const std::string &text, TMsgDlgType type,
                             const TMsgDlgButtons &buttons) {
  DialogRecord seen{kindName(type), title, text, {}, {}};
  for (auto b : buttons) seen.buttons.push_back(buttonName(b));
  Expectation e = take(Kind::Message, seen, [&](const Expectation &x) {
    return x.type == type && (x.pattern ? matchesPattern(x.text, text) : x.text == text);
  });
  int answer = e.answer;
  bool offered = false;
  for (auto b : buttons) offered = offered || modalResultOf(b) == answer;
  // Cancel stands for Esc, which a dialog without a Cancel button maps to its own button.
  if (!offered && answer == mrCancel)
    answer = escapeResult(buttons);
  else if (!offered) {
    transcript_.push_back(seen);
    fail("answer " + std::to_string(answer) + " is not a button of " + seen.kind + " \"" + text + "\"");
  }
  seen.answer = std::to_string(answer);
  transcript_.push_back(seen);
  return answer;
}

int ScriptedUser::question(const std::string &title, const std::string &text, TMsgDlgType,
                           const std::vector<std::string> &captions, std::size_t defaultCaption) {
  DialogRecord seen{"question", title, text, captions, {}};
  Expectation e = take(Kind::Question, seen, [&](const Expectation &x) {
    return x.pattern ? matchesPattern(x.text, text) : x.text == text;
  });
  int answer = mrCancel;
  for (std::size_t i = 0; i < captions.size(); ++i)
    if (captions[i] == e.caption || (e.caption == enterKey && i == defaultCaption))
      answer = mrFirstCaption + static_cast<int>(i);
  seen.answer = answer == mrCancel ? "closed" : captions[answer - mrFirstCaption];
  transcript_.push_back(seen);
  return answer;
}

bool ScriptedUser::searchList(const std::string &title, TDataSource &source) {
  return search(title, source, nullptr);
}

bool ScriptedUser::searchPages(const std::string &title, TDataSource &source, const SearchPages &pages) {
  return search(title, source, &pages);
}

bool ScriptedUser::search(const std::string &title, TDataSource &source, const SearchPages *pages) {
  DialogRecord seen{"search", title, "", shownRows(source.DataSet()), {}};
  Expectation e = take(Kind::Search, seen, [&](const Expectation &x) { return x.text == title; });
  long row = -1;
  if (!e.cancel)
    row = pages ? rowInPages(source.DataSet(), *pages, e.choose.front(), seen.buttons)
                : rowContaining(seen.buttons, e.choose.front());
  if (!e.cancel && row < 0) {
    transcript_.push_back(seen);
    fail("search list \"" + title + "\" has no row with \"" + e.choose.front() + "\"");
  }
  seen.answer = row < 0 ? "cancel" : seen.buttons[row];
  transcript_.push_back(seen);
  if (row < 0) return false;
  moveTo(*source.DataSet(), row);
  return true;
}

bool ScriptedUser::multiList(const std::string &title, TDataSource &source, const std::string &keyField,
                             std::vector<std::string> &keys) {
  DialogRecord seen{"list", title, "", shownRows(source.DataSet()), {}};
  Expectation e = take(Kind::List, seen, [&](const Expectation &x) { return x.text == title; });
  if (e.cancel) {
    seen.answer = "cancel";
    transcript_.push_back(seen);
    return false;
  }
  std::vector<bool> ticked(seen.buttons.size(), false);
  for (const auto &text : e.choose) {
    long row = rowContaining(seen.buttons, text);
    if (row < 0) {
      transcript_.push_back(seen);
      fail("list \"" + title + "\" has no row with \"" + text + "\"");
    }
    ticked[row] = true;
  }
  keys.clear();
  TDataSet &dataset = *source.DataSet();
  for (std::size_t row = 0; row < ticked.size(); ++row) {
    if (!ticked[row]) continue;
    TDataSet::DisplayRow at(dataset, row);
    keys.push_back(dataset.FieldByName(keyField).AsString());
  }
  seen.answer = joined(keys);
  transcript_.push_back(seen);
  return true;
}

bool ScriptedUser::multiPages(const std::string &title, TDataSource &source, const std::string &keyField,
                              const SearchPages &pages, std::vector<std::string> &keys) {
  DialogRecord seen{"list", title, "", shownRows(source.DataSet()), {}};
  Expectation e = take(Kind::List, seen, [&](const Expectation &x) { return x.text == title; });
  keys.clear();
  for (const auto &text : e.cancel ? std::vector<std::string>{} : e.choose) {
    std::vector<std::string> rows;
    const long row = rowInPages(source.DataSet(), pages, text, rows);
    if (row < 0) {
      transcript_.push_back(seen);
      fail("list \"" + title + "\" has no row with \"" + text + "\"");
    }
    TDataSet &dataset = *source.DataSet();
    TDataSet::DisplayRow at(dataset, static_cast<std::size_t>(row));
    std::string key = dataset.FieldByName(keyField).AsString();
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(std::move(key));
  }
  seen.answer = e.cancel ? "cancel" : joined(keys);
  transcript_.push_back(seen);
  return !e.cancel;
}

bool ScriptedUser::find(const std::string &title, TDataSet &dataset) {
  DialogRecord seen{"find", title, "", {}, {}};
  Expectation e = take(Kind::Find, seen, [](const Expectation &) { return true; });
  seen.text = e.text;
  bool found = locateByText(dataset, e.text);
  seen.answer = found ? "found" : "not found";
  transcript_.push_back(seen);
  return found;
}

// Cancelar pressed at once reaches the work before it starts, so the run always sees the stop.
void ScriptedUser::progressDlg(const std::string &title, const FollowedWork &work) {
  DialogRecord seen{"progress", title, "", {"Cancelar"}, "end"};
  const bool named = !expected_.empty() && expected_.front().kind == Kind::Progress;
  if (named && take(Kind::Progress, seen, [](const Expectation &) { return true; }).cancel) {
    work.cancel();
    seen.answer = "Cancelar";
  }
  Dialogs::progressDlg(title, work);
  transcript_.push_back(seen);
}

void ScriptedUser::runModal(TForm &form) {
  DialogRecord seen{"modal", form.Caption(), form.Name(), {}, {}};
  Expectation e = take(Kind::Modal, seen, [&](const Expectation &x) {
    return x.text.empty() || utf8::sameText(x.text, form.Name());
  });
  Ref<TForm> alive(&form);
  e.drive(form);
  if (alive && form.ModalResult() == mrNone) {
    seen.answer = "left open";
    transcript_.push_back(seen);
    fail("modal form " + form.Name() + " was left open by its script");
  }
  seen.answer = alive ? std::to_string(form.ModalResult()) : "destroyed";
  transcript_.push_back(seen);
}

void ScriptedUser::verify() {
  verified_ = true;
  std::vector<std::string> problems = failures_;
  for (const auto &p : pending()) problems.push_back("expected but never shown: " + p);
  if (Application().pendingDeferred() > 0) problems.push_back("the deferred queue is not empty");
  if (!problems.empty())
    throw ScriptFailure("scripted user: " + joined(problems) + "\ntranscript:\n" + transcriptText());
}

ScriptedUser &ScriptedUser::keep(std::string name) {
  kept_.push_back(std::move(name));
  return *this;
}

std::vector<std::string> ScriptedUser::leftovers() const {
  auto keptName = [&](const std::string &name) {
    for (const auto &k : kept_)
      if (utf8::sameText(k, name)) return true;
    return false;
  };
  std::vector<std::string> left;
  for (TForm *form : Application().forms()) {
    if (form != Application().MainForm() && form->Visible() && !form->released() && !keptName(form->Name()))
      left.push_back("form " + form->Name() + " left open");
    forEachOwned(*form, [&](TComponent &c) {
      auto *ds = dynamic_cast<TDataSet *>(&c);
      if (ds && editing(ds->State()) && !keptName(ds->Name()))
        left.push_back("dataset " + ds->Name() + " left in " + (ds->State() == dsEdit ? "edit" : "insert") +
                       " state");
    });
  }
  return left;
}

void ScriptedUser::finish() {
  verify();
  finished_ = true;
  if (auto left = leftovers(); !left.empty())
    throw ScriptFailure("scripted user: " + joined(left) + "\ntranscript:\n" + transcriptText());
}

} // namespace kdr
