#include "platform/qt/formpeer.h"
#include "platform/qt/peers.h"
#include "platform/ui/menus.h"
#include "platform/ui/userdoor.h"

#include <QAction>
#include <QHash>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace kdr::qt {

namespace {

// The menu bar of a main menu, rebuilt from the item tree whenever items are added or removed;
// a change of one item's caption or state only touches its action.
class MainMenuPeer : public ComponentPeer {
public:
  explicit MainMenuPeer(TMainMenu &menu) : menu_(menu), bar_(new QMenuBar) {
    auto *formPeer = dynamic_cast<FormPeer *>(menu.Owner() ? menu.Owner()->peer() : nullptr);
    if (formPeer) formPeer->setMenuBar(bar_);
    rebuild();
  }
  ~MainMenuPeer() override {
    if (holder_) holder_->deleteLater();
    if (bar_ && !bar_->parent()) bar_->deleteLater();
  }
  void propertyChanged(Prop) override {}
  void focusChanged(bool) override {}

  void rebuild() {
    if (!bar_) return;
    EchoGuard guard;
    bar_->clear();
    actions_.clear();
    menus_.clear();
    if (holder_) holder_->deleteLater();
    holder_ = new QWidget;
    watch(menu_.Items());
    for (TMenuItem *top : menu_.Items()->Items()) add(bar_, top);
  }

  // A submenu whose items changed is filled again in place: it may be the one open on the screen,
  // its opening handler having just listed them.
  void refill(TMenuItem &item) {
    QMenu *menu = menus_.value(&item);
    if (!menu || item.Items().empty()) return rebuild();
    EchoGuard guard;
    for (QAction *old : menu->actions()) actions_.remove(actions_.key(old));
    menu->clear();
    for (TMenuItem *child : item.Items()) add(menu, child);
  }

  void refresh(TMenuItem &item) {
    if (QAction *action = actions_.value(&item)) {
      EchoGuard guard;
      sync(item, action);
    }
  }

private:
  void watch(TMenuItem *item);
  void add(QWidget *container, TMenuItem *item) {
    watch(item);
    QAction *action;
    if (item->Caption() == "-") {
      action = new QAction(holder_);
      action->setSeparator(true);
    } else if (!item->Items().empty()) {
      auto *menu = new QMenu(holder_);
      for (TMenuItem *child : item->Items()) add(menu, child);
      action = menu->menuAction();
      menus_.insert(item, menu);
      // A submenu's own click runs as it opens (a window list is made then).
      if (item->OnClick) {
        Ref<TMenuItem> ref(item);
        QObject::connect(menu, &QMenu::aboutToShow, &context_, [ref] {
          if (TMenuItem *opened = ref.get(); opened && !EchoGuard::active())
            deliver(*opened, [opened] { user::clickMenu(*opened); });
        });
      }
    } else {
      action = new QAction(holder_);
      Ref<TMenuItem> ref(item);
      QObject::connect(action, &QAction::triggered, &context_, [this, ref] {
        if (EchoGuard::active()) return;
        TMenuItem *chosen = ref.get();
        if (!chosen) return;
        refresh(*chosen);
        if (deliver(*chosen, [chosen] { user::clickMenu(*chosen); })) refresh(*chosen);
      });
    }
    container->addAction(action);
    actions_.insert(item, action);
    sync(*item, action);
  }
  static void sync(TMenuItem &item, QAction *action) {
    if (!action->isSeparator()) action->setText(qs(item.Caption()));
    // The key is shown beside the caption; the model chooses the item when it hears the key, so
    // Qt never fires it (two screens' menus may name the same key).
    action->setShortcut(QKeySequence(qs(ShortCutToText(item.ShortCut()))));
    action->setShortcutContext(Qt::WidgetShortcut);
    action->setEnabled(item.Enabled());
    action->setVisible(item.Visible());
    action->setCheckable(item.Checked());
    action->setChecked(item.Checked());
  }

  TMainMenu &menu_;
  QPointer<QMenuBar> bar_;
  QPointer<QWidget> holder_;
  QHash<TMenuItem *, QAction *> actions_;
  QHash<TMenuItem *, QMenu *> menus_;
  QObject context_; // receives the actions' signals; goes with the peer
};

MainMenuPeer *menuPeerOf(TMenuItem &item) {
  TMenuItem *root = &item;
  while (root->Parent()) root = root->Parent();
  auto *menu = dynamic_cast<TMainMenu *>(root->Owner());
  return menu ? dynamic_cast<MainMenuPeer *>(menu->peer()) : nullptr;
}

class MenuItemPeer : public ComponentPeer {
public:
  explicit MenuItemPeer(TMenuItem &item) : item_(item) {}
  void propertyChanged(Prop p) override {
    MainMenuPeer *menu = menuPeerOf(item_);
    if (!menu) return;
    if (p == Prop::Items)
      menu->refill(item_);
    else
      menu->refresh(item_);
  }
  void focusChanged(bool) override {}

private:
  TMenuItem &item_;
};

// Items not owned by the form get no peer from it; the menu gives them one, so that their
// changes reach the bar too.
void MainMenuPeer::watch(TMenuItem *item) {
  if (!item->peer()) item->setPeer(std::make_unique<MenuItemPeer>(*item));
}

} // namespace

std::unique_ptr<ComponentPeer> makeMenuPeer(TComponent &c) {
  if (auto *menu = dynamic_cast<TMainMenu *>(&c)) return std::make_unique<MainMenuPeer>(*menu);
  if (auto *item = dynamic_cast<TMenuItem *>(&c)) return std::make_unique<MenuItemPeer>(*item);
  return nullptr;
}

} // namespace kdr::qt
