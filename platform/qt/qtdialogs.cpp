#include "platform/qt/qtdialogs.h"

#include "platform/data/datasource.h"
#include "platform/qt/controlpeer.h"
#include "platform/qt/peers.h"
#include "platform/rtl/utf8.h"
#include "platform/ui/application.h"
#include "platform/ui/forms.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace kdr::qt {

namespace {

QWidget *dialogParent() {
  if (QWidget *w = QApplication::activeWindow()) return w;
  TForm *main = Application().MainForm();
  return main ? windowOf(*main) : nullptr;
}

QString titleOr(const std::string &title) { return qs(title.empty() ? Application().Title : title); }

// A box over the middle of a window, painted at once: the work that follows keeps the event loop
// busy.
void showCentred(QWidget *box, QWidget *over) {
  box->setParent(over);
  box->adjustSize();
  if (over) box->move((over->width() - box->width()) / 2, (over->height() - box->height()) / 2);
  box->show();
  box->raise();
  box->repaint();
}

// An unknown total (0) shows a bar that only says work goes on.
void setBar(QProgressBar &bar, std::int64_t done, std::int64_t total) {
  bar.setRange(0, static_cast<int>(std::clamp<std::int64_t>(total, 0, INT_MAX)));
  bar.setValue(static_cast<int>(std::clamp<std::int64_t>(done, 0, INT_MAX)));
}

// Long work followed to its end. Cancelar (and Esc, and the close box) asks it to stop, and the
// dialog stays until the stop is done: the screen never goes on while the server still writes.
class ProgressDialog : public QDialog {
public:
  ProgressDialog(const std::string &title, const FollowedWork &work)
      : QDialog(dialogParent()), work_(work), text_(new QLabel), bar_(new QProgressBar),
        cancel_(new QPushButton(QStringLiteral("Cancelar"))) {
    setObjectName(QStringLiteral("dlgProgresso"));
    setWindowTitle(titleOr(title));
    setModal(true);
    bar_->setMinimumWidth(360);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addWidget(bar_);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
    connect(&timer_, &QTimer::timeout, this, [this] { refresh(); });
  }

  void run() {
    work_.start();
    refresh();
    if (result() == QDialog::Accepted) return;
    timer_.start(200);
    exec();
  }

  void reject() override {
    if (cancelled_) return;
    cancelled_ = true;
    cancel_->setEnabled(false);
    text_->setText(QStringLiteral("Cancelando: nada do que foi feito será mantido..."));
    work_.cancel();
  }

private:
  void refresh() {
    const FollowedWork::State state = work_.poll();
    if (state.over) {
      timer_.stop();
      setResult(QDialog::Accepted);
      if (isVisible()) done(QDialog::Accepted);
      return;
    }
    if (!cancelled_) text_->setText(qs(state.text));
    setBar(*bar_, state.done, state.total);
  }

  const FollowedWork &work_;
  QLabel *text_;
  QProgressBar *bar_;
  QPushButton *cancel_;
  QTimer timer_;
  bool cancelled_ = false;
};

QMessageBox::Icon iconOf(TMsgDlgType type) {
  switch (type) {
  case mtWarning:
    return QMessageBox::Warning;
  case mtError:
    return QMessageBox::Critical;
  case mtInformation:
    return QMessageBox::Information;
  case mtConfirmation:
    return QMessageBox::Question;
  case mtCustom:
    return QMessageBox::NoIcon;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::ButtonRole roleOf(TMsgDlgBtn b) {
  switch (b) {
  case mbYes:
  case mbYesToAll:
  case mbAll:
  case mbOK:
    return QMessageBox::AcceptRole;
  case mbNo:
  case mbNoToAll:
    return QMessageBox::NoRole;
  case mbCancel:
  case mbAbort:
    return QMessageBox::RejectRole;
  case mbRetry:
  case mbIgnore:
    return QMessageBox::ActionRole;
  }
  return QMessageBox::ActionRole;
}

bool containsFolded(const QString &haystack, const std::string &foldedNeedle) {
  return utf8::foldForSearch(utf8Of(haystack)).find(foldedNeedle) != std::string::npos;
}

} // namespace

// ---- SearchDialog

SearchDialog::SearchDialog(const std::string &title, TDataSource &source, bool multiChoice,
                           const std::string &keyField, const SearchPages *pages)
    : QDialog(dialogParent()), source_(source), pages_(pages), multiChoice_(multiChoice), keyField_(keyField),
      filter_(new QLineEdit), table_(new QTableWidget) {
  setWindowTitle(qs(title));
  auto *layout = new QVBoxLayout(this);
  auto *filterLabel = new QLabel(QStringLiteral("Filtrar:"));
  layout->addWidget(filterLabel);
  layout->addWidget(filter_);
  layout->addWidget(table_);
  auto *buttons = new QDialogButtonBox;
  buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  fill();
  if (multiChoice)
    connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) { marked(item); });
  else
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int, int) { accept(); });
  if (pages_) {
    connect(filter_, &QLineEdit::textChanged, this, [this](const QString &text) {
      const std::string typed = utf8Of(text);
      lastPage_ = false;
      askPages([&] {
        pages_->filter(typed);
        return true;
      });
      fill();
    });
    connect(table_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
      if (lastPage_ || value < table_->verticalScrollBar()->maximum()) return;
      const int current = table_->currentRow();
      lastPage_ = !askPages(pages_->more);
      if (lastPage_) return;
      fill();
      if (current >= 0) table_->selectRow(current);
    });
  } else {
    connect(filter_, &QLineEdit::textChanged, this, [this](const QString &text) { applyFilter(text); });
  }
  resize(sizeHint().expandedTo(QSize(520, 360)));
}

bool SearchDialog::askPages(const std::function<bool()> &ask) {
  try {
    return ask();
  } catch (const std::exception &e) {
    Application().HandleException(e);
    return false;
  }
}

void SearchDialog::fill() {
  TDataSet *dataset = source_.DataSet();
  const QSignalBlocker quiet(table_);
  keys_.clear();
  table_->setRowCount(0);
  if (!dataset || !dataset->Active()) return;
  std::vector<TField *> shown;
  QStringList headers;
  for (auto *field : dataset->Fields())
    if (field->Visible()) {
      shown.push_back(field);
      headers << qs(field->DisplayLabel());
    }
  TField *key = keyField_.empty() ? nullptr : dataset->FindField(keyField_);
  const auto rows = static_cast<int>(dataset->displayRowCount());
  table_->setColumnCount(static_cast<int>(shown.size()));
  table_->setHorizontalHeaderLabels(headers);
  table_->setRowCount(rows);
  for (int row = 0; row < rows; ++row) {
    TDataSet::DisplayRow at(*dataset, static_cast<std::size_t>(row));
    for (int col = 0; col < int(shown.size()); ++col) {
      auto *item = new QTableWidgetItem(qs(shown[col]->DisplayText()));
      table_->setItem(row, col, item);
    }
    keys_.push_back(key ? key->AsString() : std::string());
    if (auto *first = table_->item(row, 0)) {
      first->setData(Qt::UserRole, row);
      if (multiChoice_) first->setCheckState(marked_.contains(keys_.back()) ? Qt::Checked : Qt::Unchecked);
    }
  }
  table_->resizeColumnsToContents();
  if (rows > 0) table_->selectRow(static_cast<int>(dataset->currentDisplayRow()));
}

void SearchDialog::applyFilter(const QString &text) {
  const std::string folded = utf8::foldForSearch(utf8Of(text));
  int firstShown = -1;
  for (int row = 0; row < table_->rowCount(); ++row) {
    bool match = folded.empty();
    for (int col = 0; !match && col < table_->columnCount(); ++col)
      if (auto *item = table_->item(row, col)) match = containsFolded(item->text(), folded);
    table_->setRowHidden(row, !match);
    if (match && firstShown < 0) firstShown = row;
  }
  if (firstShown >= 0 && (table_->currentRow() < 0 || table_->isRowHidden(table_->currentRow())))
    table_->selectRow(firstShown);
}

int SearchDialog::visibleRows() const {
  int n = 0;
  for (int row = 0; row < table_->rowCount(); ++row)
    if (!table_->isRowHidden(row)) ++n;
  return n;
}

int SearchDialog::chosenRow() const {
  int row = table_->currentRow();
  return row >= 0 && !table_->isRowHidden(row) ? row : -1;
}

void SearchDialog::marked(QTableWidgetItem *item) {
  if (item->column() != 0 || item->row() >= static_cast<int>(keys_.size())) return;
  const std::string &key = keys_[static_cast<std::size_t>(item->row())];
  if (item->checkState() == Qt::Checked)
    marked_.insert(key);
  else
    marked_.erase(key);
}

std::vector<std::string> SearchDialog::tickedKeys() const {
  if (pages_) return {marked_.begin(), marked_.end()};
  std::vector<std::string> keys;
  for (int row = 0; row < table_->rowCount(); ++row)
    if (auto *item = table_->item(row, 0); item && item->checkState() == Qt::Checked)
      keys.push_back(keys_.at(row));
  return keys;
}

// ---- MessageBox

MessageBox::MessageBox(const std::string &title, const std::string &text, TMsgDlgType type,
                       const TMsgDlgButtons &buttons)
    : QMessageBox(iconOf(type), titleOr(title), qs(text), QMessageBox::NoButton, dialogParent()),
      onEscape_(escapeResult(buttons)) {
  for (TMsgDlgBtn b : buttons) {
    QPushButton *button = addButton(qs(buttonName(b)), roleOf(b));
    results_[button] = modalResultOf(b);
    if (modalResultOf(b) == onEscape_) setEscapeButton(button);
    if (!defaultButton()) setDefaultButton(button);
  }
}

MessageBox::MessageBox(const std::string &title, const std::string &text, TMsgDlgType type,
                       const std::vector<std::string> &captions, std::size_t defaultCaption)
    : QMessageBox(iconOf(type), titleOr(title), qs(text), QMessageBox::NoButton, dialogParent()),
      onEscape_(mrCancel) {
  for (std::size_t i = 0; i < captions.size(); ++i) {
    QPushButton *button = addButton(qs(captions[i]), QMessageBox::ActionRole);
    results_[button] = mrFirstCaption + static_cast<int>(i);
    if (i == defaultCaption) setDefaultButton(button);
  }
}

int MessageBox::answer() const {
  auto it = results_.find(clickedButton());
  return it == results_.end() ? onEscape_ : it->second;
}

// ---- CompareDialog

CompareDialog::CompareDialog(const std::string &title, const std::string &text, const Comparison &comparison,
                             const std::vector<std::string> &captions)
    : QDialog(dialogParent()) {
  setWindowTitle(titleOr(title));
  auto *layout = new QVBoxLayout(this);
  auto *intro = new QLabel(qs(text));
  intro->setWordWrap(true);
  layout->addWidget(intro);
  table_ = new QTableWidget(static_cast<int>(comparison.lines.size()), 3);
  table_->setHorizontalHeaderLabels(
      {QStringLiteral("Campo"), qs(comparison.firstTitle), qs(comparison.secondTitle)});
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionMode(QAbstractItemView::NoSelection);
  table_->setWordWrap(true);
  for (int row = 0; row < table_->rowCount(); ++row) {
    const Comparison::Line &line = comparison.lines[static_cast<std::size_t>(row)];
    int col = 0;
    for (const std::string *cell : {&line.field, &line.first, &line.second})
      table_->setItem(row, col++, new QTableWidgetItem(qs(*cell)));
  }
  table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  for (int col : {1, 2}) table_->horizontalHeader()->setSectionResizeMode(col, QHeaderView::Stretch);
  table_->resizeRowsToContents();
  layout->addWidget(table_);
  auto *buttons = new QDialogButtonBox;
  for (std::size_t i = 0; i < captions.size(); ++i) {
    QPushButton *button = buttons->addButton(qs(captions[i]), QDialogButtonBox::ActionRole);
    if (i == 0) button->setDefault(true);
    const int result = mrFirstCaption + static_cast<int>(i);
    QObject::connect(button, &QPushButton::clicked, this, [this, result] {
      answer_ = result;
      accept();
    });
  }
  layout->addWidget(buttons);
  resize(640, sizeHint().height());
}

// ---- QtDialogs

int QtDialogs::compareQuestion(const std::string &title, const std::string &text,
                               const Comparison &comparison, const std::vector<std::string> &captions) {
  CompareDialog dialog(title, text, comparison, captions);
  dialog.exec();
  return dialog.answer();
}

int QtDialogs::messageDlg(const std::string &title, const std::string &text, TMsgDlgType type,
                          const TMsgDlgButtons &buttons) {
  MessageBox box(title, text, type, buttons);
  box.exec();
  return box.answer();
}

int QtDialogs::question(const std::string &title, const std::string &text, TMsgDlgType type,
                        const std::vector<std::string> &captions, std::size_t defaultCaption) {
  MessageBox box(title, text, type, captions, defaultCaption);
  box.exec();
  return box.answer();
}

namespace {

bool chooseIn(SearchDialog &dialog, TDataSource &source) {
  TDataSet *dataset = source.DataSet();
  if (dialog.exec() != QDialog::Accepted || !dataset) return false;
  const int row = dialog.chosenRow();
  if (row < 0) return false;
  const auto current = static_cast<int>(dataset->currentDisplayRow());
  if (row != current) dataset->MoveBy(row - current);
  return true;
}

} // namespace

bool QtDialogs::searchList(const std::string &title, TDataSource &source) {
  SearchDialog dialog(title, source, false);
  return chooseIn(dialog, source);
}

bool QtDialogs::searchPages(const std::string &title, TDataSource &source, const SearchPages &pages) {
  SearchDialog dialog(title, source, false, {}, &pages);
  return chooseIn(dialog, source);
}

bool QtDialogs::multiList(const std::string &title, TDataSource &source, const std::string &keyField,
                          std::vector<std::string> &keys) {
  SearchDialog dialog(title, source, true, keyField);
  if (dialog.exec() != QDialog::Accepted) return false;
  keys = dialog.tickedKeys();
  return true;
}

bool QtDialogs::multiPages(const std::string &title, TDataSource &source, const std::string &keyField,
                           const SearchPages &pages, std::vector<std::string> &keys) {
  SearchDialog dialog(title, source, true, keyField, &pages);
  if (dialog.exec() != QDialog::Accepted) return false;
  keys = dialog.tickedKeys();
  return true;
}

bool QtDialogs::find(const std::string &title, TDataSet &dataset) {
  QDialog dialog(dialogParent());
  dialog.setWindowTitle(qs(title.empty() ? std::string("Procurar") : title));
  auto *layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel(QStringLiteral("Procurar por:")));
  auto *text = new QLineEdit;
  layout->addWidget(text);
  auto *buttons = new QDialogButtonBox;
  buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
  layout->addWidget(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted || text->text().isEmpty()) return false;
  return locateByText(dataset, utf8Of(text->text()));
}

void QtDialogs::runModal(TForm &form) { runFormModal(form); }

void QtDialogs::progressDlg(const std::string &title, const FollowedWork &work) {
  ProgressDialog dialog(title, work);
  dialog.run();
}

// ---- WaitOverlay

void WaitOverlay::show(bool on) {
  if (on == waitCursor_) return;
  waitCursor_ = on;
  if (on) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QWidget *over = dialogParent();
    if (!box_) {
      box_ = new QLabel(QStringLiteral("Aguarde..."));
      box_->setFrameStyle(QFrame::Box | QFrame::Raised);
      box_->setAlignment(Qt::AlignCenter);
      box_->setMargin(12);
      box_->setAutoFillBackground(true);
    }
    // The server call that follows blocks the event loop: the box is painted now.
    showCentred(box_, over);
  } else {
    QApplication::restoreOverrideCursor();
    if (box_) box_->hide();
  }
}

void WaitOverlay::busyCursor(bool on) {
  if (on == screenCursor_) return;
  screenCursor_ = on;
  if (on)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
}

void ProgressOverlay::show(const ProgressIndicator &progress) {
  if (!progress.isOn()) {
    if (box_) box_->hide();
    return;
  }
  QWidget *over = dialogParent();
  if (!box_) {
    box_ = new QFrame;
    box_->setFrameStyle(QFrame::Box | QFrame::Raised);
    box_->setAutoFillBackground(true);
    auto *layout = new QVBoxLayout(box_);
    layout->setContentsMargins(16, 12, 16, 12);
    text_ = new QLabel;
    bar_ = new QProgressBar;
    bar_->setTextVisible(false);
    bar_->setMinimumWidth(280);
    layout->addWidget(text_);
    layout->addWidget(bar_);
  }
  text_->setText(qs(progress.text()));
  setBar(*bar_, static_cast<std::int64_t>(progress.done()), static_cast<std::int64_t>(progress.total()));
  showCentred(box_, over);
}

} // namespace kdr::qt
