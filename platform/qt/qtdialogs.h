#pragma once
// The Dialogs service with real Qt dialogs, and the wait indicator: a busy cursor and a small
// "Aguarde..." box over the active window while a server call runs.
#include "platform/ui/dialogs.h"

#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>

#include <map>
#include <set>

#include <string>
#include <vector>

class QFrame;
class QLineEdit;
class QProgressBar;
class QTableWidget;
class QTableWidgetItem;

namespace kdr {
class ProgressIndicator;
}

namespace kdr::qt {

// The rows of a data source's dataset with its visible fields as columns; typing in the filter
// line hides the rows that do not contain the text. Checkable rows make it a multi-choice list.
// Over pages, the filter asks the pages for the rows matching it instead, and reaching the end of
// the list asks for the next page; marks are kept by key, so they outlive the rows shown.
class SearchDialog : public QDialog {
public:
  SearchDialog(const std::string &title, TDataSource &source, bool multiChoice,
               const std::string &keyField = {}, const SearchPages *pages = nullptr);

  QLineEdit *filter() const { return filter_; }
  QTableWidget *table() const { return table_; }
  // Rows left visible by the filter.
  int visibleRows() const;
  // The dataset row of the current table row, or -1.
  int chosenRow() const;
  // The key values of the ticked rows, in the dataset's order; over pages, every key marked, in
  // no particular order.
  std::vector<std::string> tickedKeys() const;

private:
  void fill();
  void marked(QTableWidgetItem *item);
  void applyFilter(const QString &text);
  // A page asked for; a failure is shown as any handler's and leaves the rows as they were.
  bool askPages(const std::function<bool()> &ask);

  TDataSource &source_;
  const SearchPages *pages_;
  const bool multiChoice_;
  const std::string keyField_;
  std::set<std::string> marked_;
  bool filling_ = false;
  bool lastPage_ = false;
  QLineEdit *filter_;
  QTableWidget *table_;
  std::vector<std::string> keys_;
};

// A message with standard buttons, or a question whose buttons carry the given captions (the
// first answers 10). Esc or the close box answers the Cancel button, else No, else the only one.
class MessageBox : public QMessageBox {
public:
  MessageBox(const std::string &title, const std::string &text, TMsgDlgType type,
             const TMsgDlgButtons &buttons);
  MessageBox(const std::string &title, const std::string &text, TMsgDlgType type,
             const std::vector<std::string> &captions, std::size_t defaultCaption = 0);
  // The modal result of the button pressed.
  int answer() const;

private:
  int onEscape_;
  std::map<const QAbstractButton *, int> results_;
};

// Two versions of a record side by side: the question's text over a table of the fields that
// differ (field, first version, second version) and a button per caption, the first the default.
// Esc or the close box answers mrCancel.
class CompareDialog : public QDialog {
public:
  CompareDialog(const std::string &title, const std::string &text, const Comparison &comparison,
                const std::vector<std::string> &captions);
  QTableWidget *table() const { return table_; }
  // 10 for the first caption, 11 for the next...; mrCancel when closed without a choice.
  int answer() const { return answer_; }

private:
  QTableWidget *table_;
  int answer_ = mrCancel;
};

class QtDialogs : public Dialogs {
public:
  int messageDlg(const std::string &title, const std::string &text, TMsgDlgType type,
                 const TMsgDlgButtons &buttons) override;
  int question(const std::string &title, const std::string &text, TMsgDlgType type,
               const std::vector<std::string> &captions, std::size_t defaultCaption = 0) override;
  int compareQuestion(const std::string &title, const std::string &text, const Comparison &comparison,
                      const std::vector<std::string> &captions) override;
  bool searchList(const std::string &title, TDataSource &source) override;
  bool searchPages(const std::string &title, TDataSource &source, const SearchPages &pages) override;
  bool multiList(const std::string &title, TDataSource &source, const std::string &keyField,
                 std::vector<std::string> &keys) override;
  bool multiPages(const std::string &title, TDataSource &source, const std::string &keyField,
                  const SearchPages &pages, std::vector<std::string> &keys) override;
  bool find(const std::string &title, TDataSet &dataset) override;
  void runModal(TForm &form) override;
  void progressDlg(const std::string &title, const FollowedWork &work) override;
};

// Shows and hides the wait box and the busy cursor; hooked to the application's wait indicator
// and screen cursor by install().
class WaitOverlay {
public:
  void show(bool on);
  void busyCursor(bool on);
  bool showing() const { return box_ && box_->isVisible(); }

private:
  QPointer<QLabel> box_;
  bool waitCursor_ = false;
  bool screenCursor_ = false;
};

// The progress of long work, in a box over the active window with the text and a bar, painted at
// once at every change: the thread doing the work is the one that would paint.
class ProgressOverlay {
public:
  void show(const ProgressIndicator &progress);
  bool showing() const { return box_ && box_->isVisible(); }

private:
  QPointer<QFrame> box_;
  QPointer<QLabel> text_;
  QPointer<QProgressBar> bar_;
};

} // namespace kdr::qt
