#pragma once
// The headless user who answers dialogs. A test or a scenario queues what the user will meet, in
// order; each dialog consumes the next expectation, and one that does not match it (or comes when
// none is left) fails at once with a ScriptFailure naming its text. Every dialog is written to the
// transcript. verify() (or the destructor) reports what was left unconsumed.
#include "platform/ui/application.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace kdr {

struct DialogRecord {
  std::string kind; // error, information, warning, confirmation, custom, question, search, list, find, modal
  std::string title;
  std::string text;
  std::vector<std::string> buttons; // button captions, or the rows a list offered
  std::string answer;
};

class ScriptedUser : public Dialogs {
public:
  using Reporter = std::function<void(const std::string &)>;
  // Installs itself as the application's Dialogs service. report receives teardown failures
  // (a test passes its framework's failure call); without one they are printed and abort.
  explicit ScriptedUser(Reporter report = {});
  ~ScriptedUser() override;

  // A message of that type and exact text, answered with the modal result of one of its buttons;
  // mrCancel stands for Esc (No in a Yes/No question).
  ScriptedUser &expectMessage(TMsgDlgType type, std::string text, int answer = mrOk);
  ScriptedUser &expectError(std::string text) { return expectMessage(mtError, std::move(text)); }
  // A custom-caption question with that text, answered by caption ("Sim") or closed (empty).
  ScriptedUser &expectQuestion(std::string text, std::string caption);
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

  const std::vector<DialogRecord> &transcript() const { return transcript_; }
  // One line per dialog, for scenario output and failure messages.
  std::string transcriptText() const;
  // Descriptions of the expectations not yet consumed.
  std::vector<std::string> pending() const;
  // Raises ScriptFailure when an expectation is left, a failure was seen, or the deferred queue
  // is not empty. Marks the user verified, so the destructor stays quiet.
  void verify();

  int messageDlg(const std::string &title, const std::string &text, TMsgDlgType type,
                 const TMsgDlgButtons &buttons) override;
  int question(const std::string &title, const std::string &text, TMsgDlgType type,
               const std::vector<std::string> &captions) override;
  bool searchList(const std::string &title, TDataSource &source) override;
  bool multiList(const std::string &title, TDataSource &source, const std::string &keyField,
                 std::vector<std::string> &keys) override;
  bool find(const std::string &title, TDataSet &dataset) override;
  void runModal(TForm &form) override;

private:
  enum class Kind { Message, Question, Search, List, Find, Modal };
  struct Expectation {
    explicit Expectation(Kind k) : kind(k) {}
    Kind kind;
    TMsgDlgType type = mtCustom;
    std::string text; // message text, question text, find text, form name, list title
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
  Reporter report_;
  Dialogs *previous_;
  bool verified_ = false;
};

} // namespace kdr
