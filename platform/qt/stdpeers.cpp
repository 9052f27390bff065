#include "platform/qt/alignlayout.h"
#include "platform/qt/fontscale.h"
#include "platform/qt/peers.h"
#include "platform/rtl/utf8.h"
#include "platform/ui/application.h"
#include "platform/ui/buttons.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/passwordedit.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/userdoor.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>

#include <algorithm>
#include <map>

namespace kdr::qt {

namespace {

// The stored text of a control: what an edit shows (a masked edit's formatted text included).
std::string shownText(const TControl &c) { return c.TControl::Text(); }

// A container's widget with the docking layout.
QWidget *newContainer() {
  auto *w = new QWidget;
  giveAlignLayout(w);
  return w;
}

class ContainerPeer : public ControlPeer {
public:
  ContainerPeer(TControl &c, QWidget *w) : ControlPeer(c, w) { mirrorColor(QPalette::Window); }
  QWidget *clientArea() const override { return widget(); }
};

// A raised panel that shows its caption in the middle, as the classic panel does.
class PanelWidget : public QFrame {
public:
  PanelWidget() {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    giveAlignLayout(this);
  }
  QString caption;

protected:
  void paintEvent(QPaintEvent *e) override {
    QFrame::paintEvent(e);
    if (caption.isEmpty()) return;
    QPainter painter(this);
    painter.drawText(contentsRect(), Qt::AlignCenter, caption);
  }
  QSize sizeHint() const override {
    QSize hint = QFrame::sizeHint();
    if (!caption.isEmpty()) hint = hint.expandedTo(fontMetrics().size(0, caption) + QSize(12, 8));
    return hint;
  }
};

class PanelPeer : public ContainerPeer {
public:
  PanelPeer(TPanel &c, PanelWidget *w) : ContainerPeer(c, w), panel_(w) {}

protected:
  void update(Prop p) override {
    if (p == Prop::Text || p == Prop::Caption) {
      panel_->caption = qs(control().Caption());
      panel_->updateGeometry();
      panel_->update();
    }
    ControlPeer::update(p);
  }

private:
  PanelWidget *panel_;
};

class GroupBoxPeer : public ContainerPeer {
public:
  GroupBoxPeer(TGroupBox &c, QGroupBox *w) : ContainerPeer(c, w), box_(w) { giveAlignLayout(w); }

protected:
  void update(Prop p) override {
    if (p == Prop::Text || p == Prop::Caption) box_->setTitle(qs(control().Caption()));
    ControlPeer::update(p);
  }

private:
  QGroupBox *box_;
};

class LabelPeer : public ControlPeer {
public:
  LabelPeer(TControl &c, QLabel *w) : ControlPeer(c, w), label_(w) {
    // A caption starts a row of its own (caption, edit, button...), except in a bar docked at the
    // top or bottom, whose texts run on one line.
    const TWinControl *parent = c.Parent();
    const bool inBar = parent && (parent->Align() == alTop || parent->Align() == alBottom);
    w->setProperty(breakProperty, dynamic_cast<TLabel *>(&c) && !inBar);
  }

protected:
  void update(Prop p) override {
    if (p == Prop::Text || p == Prop::Caption || p == Prop::Contents)
      label_->setText(qs(shownText(control())));
    ControlPeer::update(p);
  }

private:
  QLabel *label_;
};

// Edits and memos keep no text of their own: every key goes to the model, which types it, and the
// widget shows the model's text back.
class TextPeer : public ControlPeer {
public:
  TextPeer(TCustomEdit &c, QWidget *w) : ControlPeer(c, w) {
    mirrorColor(QPalette::Base);
    takeKeys();
  }

protected:
  virtual void showText() = 0;
  virtual void showReadOnly(bool readOnly) = 0;
  // A change Qt made behind the model's back (a drop, a middle-click paste) is undone at once.
  void undoForeignChange() {
    if (EchoGuard::active()) return;
    EchoGuard guard;
    showText();
  }
  void update(Prop p) override {
    switch (p) {
    case Prop::Text:
    case Prop::Caption:
    case Prop::EditMask:
    case Prop::Contents:
      showText();
      break;
    case Prop::ReadOnly:
      showReadOnly(static_cast<TCustomEdit &>(control()).ReadOnly());
      break;
    default:
      break;
    }
    ControlPeer::update(p);
  }
};

// Qt's natural edit line fits some seventeen narrow letters: a formatted document number with its
// caret margin, or a trade name, is cut off. Edits the screen gives no width get ten digits more.
class EditWidget : public QLineEdit {
public:
  QSize sizeHint() const override {
    const QSize hint = QLineEdit::sizeHint();
    return {hint.width() + fontMetrics().horizontalAdvance(QStringLiteral("0000000000")), hint.height()};
  }
};

class EditPeer : public TextPeer {
public:
  EditPeer(TCustomEdit &c, QLineEdit *w) : TextPeer(c, w), edit_(w) {
    w->setDragEnabled(false);
    if (dynamic_cast<TPasswordEdit *>(&c)) w->setEchoMode(QLineEdit::Password);
    QObject::connect(w, &QLineEdit::textEdited, context(), [this] { undoForeignChange(); });
  }

protected:
  void showText() override {
    const QString text = qs(shownText(control()));
    if (edit_->text() != text) edit_->setText(text);
    edit_->setCursorPosition(static_cast<int>(text.size()));
  }
  void showReadOnly(bool readOnly) override { edit_->setReadOnly(readOnly); }

private:
  QLineEdit *edit_;
};

class MemoPeer : public TextPeer {
public:
  MemoPeer(TCustomEdit &c, QPlainTextEdit *w) : TextPeer(c, w), memo_(w) {
    w->setTabChangesFocus(true);
    QObject::connect(w, &QPlainTextEdit::textChanged, context(), [this] { undoForeignChange(); });
  }

protected:
  bool qtMayHandle(const QKeyEvent &e) const override {
    return e.key() == Qt::Key_PageUp || e.key() == Qt::Key_PageDown || e.key() == Qt::Key_Up ||
           e.key() == Qt::Key_Down;
  }
  void showText() override {
    QString text = qs(shownText(control()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (memo_->toPlainText() != text) memo_->setPlainText(text);
    memo_->moveCursor(QTextCursor::End);
  }
  void showReadOnly(bool readOnly) override { memo_->setReadOnly(readOnly); }
  void update(Prop p) override {
    switch (p) {
    case Prop::ScrollBars:
      if (auto *memo = dynamic_cast<TMemo *>(&control())) {
        using S = TMemo::TScrollStyle;
        const S s = memo->ScrollBars();
        const bool vertical = s == S::ssVertical || s == S::ssBoth;
        const bool horizontal = s == S::ssHorizontal || s == S::ssBoth;
        memo_->setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        memo_->setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        memo_->setLineWrapMode(horizontal ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
      }
      break;
    default:
      break;
    }
    TextPeer::update(p);
  }

private:
  QPlainTextEdit *memo_;
};

// Check boxes and radio buttons: a click asks the model, which checks and tells the widget back.
class ButtonControlPeer : public ControlPeer {
public:
  ButtonControlPeer(TButtonControl &c, QAbstractButton *w) : ControlPeer(c, w), button_(w) {
    takeKeys();
    QObject::connect(w, &QAbstractButton::clicked, context(), [this] {
      if (EchoGuard::active()) return;
      showChecked();
      deliver(control(), [c = &control()] { user::click(*c); });
    });
  }

protected:
  void update(Prop p) override {
    if (p == Prop::Text || p == Prop::Caption) button_->setText(qs(control().Caption()));
    if (p == Prop::Checked || p == Prop::Contents) showChecked();
    ControlPeer::update(p);
  }

private:
  void showChecked() {
    EchoGuard guard;
    button_->setChecked(static_cast<TButtonControl &>(control()).Checked());
  }
  QAbstractButton *button_;
};

class ComboPeer : public ControlPeer {
public:
  ComboPeer(TComboBox &c, QComboBox *w) : ControlPeer(c, w), combo_(w) {
    mirrorColor(QPalette::Base);
    takeKeys();
    QObject::connect(w, &QComboBox::activated, context(), [this](int index) {
      if (EchoGuard::active()) return;
      auto *combo = static_cast<TComboBox *>(&control());
      const auto &items = combo->Items();
      std::string item = index >= 0 && index < int(items.size()) ? items[index] : std::string();
      {
        EchoGuard guard;
        showChoice();
      }
      if (!item.empty()) deliver(*combo, [combo, item] { user::choose(*combo, item); });
    });
  }

protected:
  bool qtMayHandle(const QKeyEvent &e) const override {
    return e.key() == Qt::Key_Up || e.key() == Qt::Key_Down || e.key() == Qt::Key_F4;
  }
  void update(Prop p) override {
    auto &combo = static_cast<TComboBox &>(control());
    switch (p) {
    case Prop::Items: {
      combo_->clear();
      for (const auto &item : combo.Items()) combo_->addItem(qs(item));
      showChoice();
      break;
    }
    case Prop::Text:
    case Prop::ItemIndex:
    case Prop::Contents:
      showChoice();
      break;
    default:
      break;
    }
    ControlPeer::update(p);
  }

private:
  void showChoice() { combo_->setCurrentIndex(static_cast<TComboBox &>(control()).ItemIndex()); }
  QComboBox *combo_;
};

// Dragging a splitter resizes the control docked just before it on the same side.
class SplitterWidget : public QWidget {
public:
  SplitterWidget() { setMouseTracking(false); }
  QSize sizeHint() const override { return QSize(5, 5); }

protected:
  void mousePressEvent(QMouseEvent *e) override {
    start_ = e->globalPosition().toPoint();
    startSize_ = neighbour() ? neighbour()->size() : QSize();
  }
  void mouseMoveEvent(QMouseEvent *e) override {
    QWidget *other = neighbour();
    ControlPeer *peer = other ? ControlPeer::of(other) : nullptr;
    if (!peer || !(e->buttons() & Qt::LeftButton)) return;
    const QPoint delta = e->globalPosition().toPoint() - start_;
    TControl *c = &peer->control();
    const TAlign a = side();
    const bool across = a == alLeft || a == alRight;
    const int moved = across ? delta.x() : delta.y();
    const int start = across ? startSize_.width() : startSize_.height();
    const int size = unscaled(std::max(20, a == alLeft || a == alTop ? start + moved : start - moved));
    deliver(*c, [c, across, size] { dispatch([&] { across ? c->SetWidth(size) : c->SetHeight(size); }); });
  }
  void paintEvent(QPaintEvent *) override {}

private:
  TAlign side() const { return static_cast<TAlign>(property(alignProperty).toInt()); }
  QWidget *neighbour() const {
    auto *layout = parentWidget() ? dynamic_cast<AlignLayout *>(parentWidget()->layout()) : nullptr;
    return layout ? layout->dockedBefore(this) : nullptr;
  }
  QPoint start_;
  QSize startSize_;
};

class SplitterPeer : public ControlPeer {
public:
  SplitterPeer(TSplitter &c, SplitterWidget *w) : ControlPeer(c, w) {}

protected:
  void update(Prop p) override {
    if (p == Prop::Align) {
      const bool across = control().Align() == alLeft || control().Align() == alRight;
      widget()->setCursor(across ? Qt::SplitHCursor : Qt::SplitVCursor);
    }
    ControlPeer::update(p);
  }
};

// Flat toolbar buttons never take the focus; a click goes straight to the model.
class SpeedButtonPeer : public ControlPeer {
public:
  SpeedButtonPeer(TSpeedButton &c, QToolButton *w) : ControlPeer(c, w), button_(w) {
    w->setAutoRaise(true);
    w->setFocusPolicy(Qt::NoFocus);
    w->setToolButtonStyle(Qt::ToolButtonIconOnly);
    w->setIconSize(QSize(20, 20));
    QObject::connect(w, &QToolButton::clicked, context(), [this] {
      if (EchoGuard::active()) return;
      deliver(control(), [c = &control()] { user::click(*c); });
    });
  }

protected:
  void update(Prop p) override {
    auto &button = static_cast<TSpeedButton &>(control());
    if (p == Prop::Text || p == Prop::Caption || p == Prop::Glyph || p == Prop::Hint) {
      QIcon icon = glyphIcon(button.Glyph(), button.Hint(), button.Name());
      button_->setIcon(icon);
      // Without a picture the caption, or else the hint, names the command.
      std::string text = !button.Caption().empty() ? button.Caption() : icon.isNull() ? button.Hint() : "";
      button_->setText(qs(text));
      button_->setToolButtonStyle(icon.isNull()  ? Qt::ToolButtonTextOnly
                                  : text.empty() ? Qt::ToolButtonIconOnly
                                                 : Qt::ToolButtonTextBesideIcon);
    }
    ControlPeer::update(p);
  }

private:
  QToolButton *button_;
};

class TabSheetPeer : public ContainerPeer {
public:
  TabSheetPeer(TTabSheet &c, QWidget *w) : ContainerPeer(c, w) {}

protected:
  void update(Prop p) override {
    auto *pages = tabs();
    int index = pages ? pages->indexOf(widget()) : -1;
    switch (p) {
    case Prop::Visible:
      return; // the page control shows its active page itself
    case Prop::Text:
    case Prop::Caption:
      if (index >= 0) pages->setTabText(index, qs(control().Caption()));
      break;
    case Prop::Enabled:
      // A disabled sheet cannot be chosen by the user.
      if (index >= 0) pages->setTabEnabled(index, control().Enabled());
      break;
    default:
      break;
    }
    ControlPeer::update(p);
  }

private:
  QTabWidget *tabs() const {
    auto *sheet = static_cast<TTabSheet *>(&control());
    auto *pc = sheet->PageControl();
    auto *peer = pc ? dynamic_cast<ControlPeer *>(pc->peer()) : nullptr;
    return peer ? dynamic_cast<QTabWidget *>(peer->widget()) : nullptr;
  }
};

// The tab bar switches only through the model: a click is undone at once and offered to the page
// control, whose OnChanging may refuse it; the page the model shows is then mirrored.
class PageControlPeer : public ControlPeer {
public:
  PageControlPeer(TPageControl &c, QTabWidget *w) : ControlPeer(c, w), tabs_(w) {
    QObject::connect(w, &QTabWidget::currentChanged, context(), [this](int index) {
      if (EchoGuard::active()) return;
      auto *pc = static_cast<TPageControl *>(&control());
      TTabSheet *chosen = sheetAt(index);
      showActive();
      if (chosen) deliver(*pc, [pc, chosen] { user::switchPage(*pc, *chosen); });
    });
  }

  void adopt(ControlPeer &child) override {
    auto *sheet = dynamic_cast<TTabSheet *>(&child.control());
    if (!sheet) return;
    if (tabs_->indexOf(child.widget()) < 0) {
      tabs_->addTab(child.widget(), qs(sheet->Caption()));
      tabs_->setTabEnabled(tabs_->indexOf(child.widget()), sheet->Enabled());
    }
    showActive();
  }

protected:
  void update(Prop p) override {
    if (p == Prop::ActivePage) showActive();
    ControlPeer::update(p);
  }

private:
  TTabSheet *sheetAt(int index) const {
    ControlPeer *peer = index >= 0 ? ControlPeer::of(tabs_->widget(index)) : nullptr;
    return peer ? dynamic_cast<TTabSheet *>(&peer->control()) : nullptr;
  }
  void showActive() {
    EchoGuard guard;
    auto *active = static_cast<TPageControl &>(control()).ActivePage();
    auto *peer = active ? dynamic_cast<ControlPeer *>(active->peer()) : nullptr;
    if (peer && tabs_->indexOf(peer->widget()) >= 0) tabs_->setCurrentWidget(peer->widget());
  }
  QTabWidget *tabs_;
};

class ProgressBarPeer : public ControlPeer {
public:
  ProgressBarPeer(TProgressBar &c, QProgressBar *w) : ControlPeer(c, w), bar_(w) { w->setTextVisible(false); }

protected:
  void update(Prop p) override {
    if (p == Prop::Contents) {
      auto &model = static_cast<TProgressBar &>(control());
      bar_->setRange(0, model.Max());
      bar_->setValue(model.Position());
    }
    ControlPeer::update(p);
  }

private:
  QProgressBar *bar_;
};

template <class Peer, class Widget, class Control> std::unique_ptr<ControlPeer> make(Control &c) {
  return std::make_unique<Peer>(c, new Widget);
}

} // namespace

QIcon glyphIcon(const std::string &glyph, const std::string &hint, const std::string &name) {
  struct Entry {
    const char *word;
    QStyle::StandardPixmap pixmap;
  };
  static const Entry table[] = {
      {"inclu", QStyle::SP_FileIcon},
      {"novo", QStyle::SP_FileIcon},
      {"exclu", QStyle::SP_TrashIcon},
      {"procur", QStyle::SP_FileDialogContentsView},
      {"pesquis", QStyle::SP_FileDialogContentsView},
      {"verific", QStyle::SP_BrowserReload},
      {"atualiz", QStyle::SP_BrowserReload},
      {"confirm", QStyle::SP_DialogApplyButton},
      {"cancel", QStyle::SP_DialogCancelButton},
      {"imprim", QStyle::SP_FileDialogDetailedView},
      {"descpad", QStyle::SP_FileDialogInfoView},
      {"sair", QStyle::SP_DialogCloseButton},
      {"fechar", QStyle::SP_DialogCloseButton},
  };
  for (const std::string &source : {glyph, name, hint}) {
    const std::string folded = utf8::foldCase(source);
    for (const auto &entry : table)
      if (folded.find(entry.word) != std::string::npos) return standardIcon(entry.pixmap);
  }
  return QIcon();
}

namespace {
// Never destroyed with the program's statics: they outlive Qt, and the pictures must not.
std::map<QStyle::StandardPixmap, QIcon> &standardIcons() {
  static auto *icons = new std::map<QStyle::StandardPixmap, QIcon>;
  return *icons;
}
} // namespace

QIcon standardIcon(QStyle::StandardPixmap kind) {
  auto [at, made] = standardIcons().try_emplace(kind);
  if (!made) return at->second;
  // Only the sizes a button draws, up to the 20 pixels of a speed button on a screen of twice the
  // density and some: the style also decodes a picture of 128 pixels (64 KB) that nothing shows.
  const QIcon every = QApplication::style()->standardIcon(kind);
  for (const QSize &size : every.availableSizes())
    if (size.width() <= 64) at->second.addPixmap(every.pixmap(size));
  if (at->second.isNull()) at->second = every;
  return at->second;
}

void forgetStandardIcons() { standardIcons().clear(); }

std::unique_ptr<ControlPeer> makeStandardPeer(TControl &c) {
  if (auto *x = dynamic_cast<TTabSheet *>(&c)) return std::make_unique<TabSheetPeer>(*x, newContainer());
  if (auto *x = dynamic_cast<TPageControl *>(&c)) return make<PageControlPeer, QTabWidget>(*x);
  if (auto *x = dynamic_cast<TPanel *>(&c)) return make<PanelPeer, PanelWidget>(*x);
  if (auto *x = dynamic_cast<TGroupBox *>(&c)) return make<GroupBoxPeer, QGroupBox>(*x);
  if (auto *x = dynamic_cast<TMemo *>(&c)) return make<MemoPeer, QPlainTextEdit>(*x);
  if (auto *x = dynamic_cast<TCustomEdit *>(&c)) return make<EditPeer, EditWidget>(*x);
  if (auto *x = dynamic_cast<TCheckBox *>(&c)) return make<ButtonControlPeer, QCheckBox>(*x);
  if (auto *x = dynamic_cast<TRadioButton *>(&c)) {
    auto *radio = new QRadioButton;
    // The model unchecks the siblings itself.
    radio->setAutoExclusive(false);
    return std::make_unique<ButtonControlPeer>(*x, radio);
  }
  if (auto *x = dynamic_cast<TComboBox *>(&c)) return make<ComboPeer, QComboBox>(*x);
  if (auto *x = dynamic_cast<TSplitter *>(&c)) return make<SplitterPeer, SplitterWidget>(*x);
  if (auto *x = dynamic_cast<TSpeedButton *>(&c)) return make<SpeedButtonPeer, QToolButton>(*x);
  if (auto *x = dynamic_cast<TLabel *>(&c)) return make<LabelPeer, QLabel>(*x);
  if (auto *x = dynamic_cast<TProgressBar *>(&c)) return make<ProgressBarPeer, QProgressBar>(*x);
  if (dynamic_cast<TWinControl *>(&c)) return std::make_unique<ContainerPeer>(c, newContainer());
  return make<LabelPeer, QLabel>(c);
}

} // namespace kdr::qt
