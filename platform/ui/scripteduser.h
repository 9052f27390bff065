#pragma once
// The headless user who answers dialogs. A test or a scenario queues what the user will meet, in
// order; each dialog consumes the next expectation, and one that does not match it (or comes when
// none is left) fails at once with a ScriptFailure naming its text, and so does a catalogue key a
// screen asks for and does not carry. Every dialog is written to the transcript. verify() reports
// what was left unconsumed; finish() (or the destructor) also what the test left behind: a screen
// still open, or a dataset still in edit or insert state, unless the test said to keep it.
#include "platform/ui/application.h"

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kdr {

struct DialogRecord {
  // error, information, warning, confirmation, custom, question, search, list, find, modal, progress
  std::string kind;
  std::string title;
  std::string text;
  std::vector<std::string> buttons; // button captions, or the rows a list offered
  std::string answer;
};

class ScriptedUser : public Dialogs {
public:
  // The answer that presses a question's default button.
  static constexpr std::string_view enterKey = "Enter";

  using Reporter = std::function<void(const std::string &)>;
  // Installs itself as the application's Dialogs service. report receives teardown failures
  // (a test passes its framework's failure call); without one they are printed and abort.
  explicit ScriptedUser(Reporter report = {});
  ~ScriptedUser() override;

  // A message of that type and exact text, answered with the modal result of one of its buttons;
  // mrCancel stands for Esc (No in a Yes/No question).
  ScriptedUser &expectMessage(TMsgDlgType type, std::string text, int answer = mrOk);
  ScriptedUser &expectError(std::string text) { return expectMessage(mtError, std::move(text)); }
  // A message of that type whose text matches pattern, where "*" stands for any run of characters
  // (words a test does not own, such as a transport failure naming an address).
  ScriptedUser &expectMessageLike(TMsgDlgType type, std::string pattern, int answer = mrOk);
  // A custom-caption question with that text, answered by caption ("Sim"), by the key Enter
  // ("Enter": its default caption) or closed (empty).
  ScriptedUser &expectQuestion(std::string text, std::string caption);
  // The same, for a question whose text matches pattern ("*" for any run): one that counts.
  ScriptedUser &expectQuestionLike(std::string pattern, std::string caption);
  // A search list with that title: the user picks the first row whose shown text contains
  // chooseText, or closes it.
  ScriptedUser &expectSearch(std::string title, std::string chooseText);
  ScriptedUser &expectSearchCancel(std::string title);
  // A multi-choice list with that title: the user ticks the rows whose shown text contains each
  // of the texts, or closes it.
  ScriptedUser &expectList(std::string title, std::vector<std::string> chooseTexts);
  ScriptedUser &expectListCancel(std::string title);
  // The find dialog: the user types text.
  ScriptedUser &expectFind(std::string text);
  // A form run modally (by name, or any when empty); drive acts on it and must close it.
  ScriptedUser &expectModal(std::string formName, std::function<void(TForm &)> drive);
  // The next progress dialog: Cancelar pressed at once, or the work followed to its end. A progress
  // dialog no expectation names is followed to its end and only recorded.
  ScriptedUser &expectProgress(bool cancel);

  const std::vector<DialogRecord> &transcript() const { return transcript_; }
  // One line per dialog, for scenario output and failure messages.
  std::string transcriptText() const;
  // Descriptions of the expectations not yet consumed.
  std::vector<std::string> pending() const;
  // Raises ScriptFailure when an expectation is left, a failure was seen, or the deferred queue
  // is not empty. Marks the user verified, so the destructor does not report those again.
  void verify();
  // A form or dataset (by component name) the test means to leave open or editing.
  ScriptedUser &keep(std::string name);
  // What the test left behind: each visible form other than the main form, and each dataset of a
  // live form in edit or insert state, that was not kept.
  std::vector<std::string> leftovers() const;
  // verify(), then raises ScriptFailure when anything was left behind. The destructor stays quiet.
  void finish();

  int messageDlg(const std::string &title, const std::string &text, TMsgDlgType type,
                 const TMsgDlgButtons &buttons) override;
  // A question answered "Enter" takes its default caption, as the key would.
  int question(const std::string &title, const std::string &text, TMsgDlgType type,
               const std::vector<std::string> &captions, std::size_t defaultCaption = 0) override;
  bool searchList(const std::string &title, TDataSource &source) override;
  bool searchPages(const std::string &title, TDataSource &source, const SearchPages &pages) override;
  bool multiList(const std::string &title, TDataSource &source, const std::string &keyField,
                 std::vector<std::string> &keys) override;
  // Over pages, the user types each text as the filter and marks the first row that shows it.
  bool multiPages(const std::string &title, TDataSource &source, const std::string &keyField,
                  const SearchPages &pages, std::vector<std::string> &keys) override;
  bool find(const std::string &title, TDataSet &dataset) override;
  void runModal(TForm &form) override;
  void progressDlg(const std::string &title, const FollowedWork &work) override;

private:
  enum class Kind { Message, Question, Search, List, Find, Modal, Progress };
  // A single-choice list, its rows in pages when pages is given.
  bool search(const std::string &title, TDataSource &source, const SearchPages *pages);
  struct Expectation {
    explicit Expectation(Kind k) : kind(k) {}
    Kind kind;
    TMsgDlgType type = mtCustom;
    std::string text; // message text or pattern, question text, find text, form name, list title
    bool pattern = false;
    int answer = mrNone;
    std::string caption;
    std::vector<std::string> choose;
    bool cancel = false;
    std::function<void(TForm &)> drive;
  };
  static std::string describe(const Expectation &e);
  // The next expectation, which must be of kind k (and pass match); fails loudly otherwise.
  Expectation take(Kind k, const DialogRecord &seen, const std::function<bool(const Expectation &)> &match);
  [[noreturn]] void fail(const std::string &why);
  ScriptedUser &queue(Expectation e);
  ScriptedUser &expectChoice(Kind kind, std::string title, std::vector<std::string> chooseTexts, bool cancel);

  std::deque<Expectation> expected_;
  std::vector<DialogRecord> transcript_;
  std::vector<std::string> failures_;
  std::vector<std::string> kept_;
  Reporter report_;
  Dialogs *previous_;
  TApplication::DiagnosticSink previousSink_;
  bool verified_ = false;
  bool finished_ = false;
};

} // namespace kdr
