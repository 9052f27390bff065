#pragma once
// TComponent: a named object that owns the components created with it as their owner.
// Destroying an owner destroys what it owns; destroying an owned component directly takes
// it out of its owner's list. A Ref survives its target and reads null once it is gone.
// Before an owner destroys anything it owns, the whole tree it owns is marked destroying, so a
// component that outlives a neighbour for a moment (a data source whose dataset goes after the
// buttons its handlers touch) can keep its events to itself.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kdr {

// Which property of a component changed, as told to its peer.
enum class Prop {
  Name,
  Enabled,
  Visible,
  Color,
  Caption,
  Text,
  Hint,
  Font,
  Align,
  Bounds,
  TabStop,
  TabOrder,
  ReadOnly,
  Checked,
  MaxLength,
  EditMask,
  Items,
  ItemIndex,
  ScrollBars,
  ActivePage,
  Glyph,
  WindowState,
  FormStyle,
  ModalResult,
  Columns,
  Options,
  Contents, // the rows or value shown by a data-aware control
  Selection,
  EditorMode,
  Cursor,
  Parent,
  Order,   // the place among the parent's children
  Layout,  // how a container lays out its unaligned children
  Arrange, // an MDI frame arranges its children (TForm::Arrangement)
};

// The seam between the component model and a widget set (see platform/ui/peer.h). A component
// owns its peer and destroys it before anything else of the component goes; the peer holds a
// plain pointer back to its component.
class ComponentPeer {
public:
  virtual ~ComponentPeer() = default;
  // A property of the component changed; the peer reads the new value from the model.
  virtual void propertyChanged(Prop p) = 0;
  // The form's focus manager moved the focus onto (true) or off (false) this control.
  virtual void focusChanged(bool focused) = 0;
};

class TComponent {
public:
  explicit TComponent(TComponent *owner);
  virtual ~TComponent();
  TComponent(const TComponent &) = delete;
  TComponent &operator=(const TComponent &) = delete;

  const std::string &Name() const { return name_; }
  void SetName(std::string name);
  TComponent *Owner() const { return owner_; }
  std::intptr_t Tag() const { return tag_; }
  void SetTag(std::intptr_t tag) { tag_ = tag; }

  // Owned components, in creation order.
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent *Components(int i) const { return components_.at(i).get(); }
  // A directly owned component by name, regardless of case; null when there is none.
  TComponent *FindComponent(const std::string &name) const;
  // Searches the whole ownership tree below this component (the scenario language's lookup).
  TComponent *findDeep(const std::string &name) const;
  template <class T> T *find(const std::string &name) const { return dynamic_cast<T *>(findDeep(name)); }

  // Destroys the owned components, newest first, after marking them all destroying. Containers
  // call it first in their destructor, so that what they own goes while they are still whole.
  void DestroyComponents();
  // Marks this component and everything it owns, to the bottom of the tree, as being destroyed.
  void Destroying();
  bool IsDestroying() const { return destroying_; }

  // Peer, if a widget set made one. Every property change is told to it.
  ComponentPeer *peer() const { return peer_.get(); }
  void setPeer(std::unique_ptr<ComponentPeer> peer);

  // A token whose weak copies expire when the component is destroyed.
  std::weak_ptr<void> liveness() const { return liveness_; }

  // A one-line kind for dumps and messages, e.g. "TEdit".
  virtual std::string className() const { return "TComponent"; }

protected:
  void changed(Prop p);

private:
  friend class TApplication;
  void removeOwned(TComponent *c);

  std::string name_;
  TComponent *owner_;
  std::intptr_t tag_ = 0;
  bool destroying_ = false;
  std::vector<std::unique_ptr<TComponent>> components_;
  std::unique_ptr<ComponentPeer> peer_;
  std::shared_ptr<char> liveness_ = std::make_shared<char>(0);
};

// Makes a component owned by owner (which destroys it) and names it.
template <class T, class... A> T *make(TComponent *owner, std::string name, A &&...args) {
  T *c = new T(owner, std::forward<A>(args)...);
  c->SetName(std::move(name));
  return c;
}

// Calls f on every component owned by root, depth first.
template <class F> void forEachOwned(const TComponent &root, F &&f) {
  for (int i = 0; i < root.ComponentCount(); ++i) {
    f(*root.Components(i));
    forEachOwned(*root.Components(i), f);
  }
}

// A non-owning pointer that becomes null when its target is destroyed.
template <class T> class Ref {
public:
  Ref() = default;
  Ref(T *p) : p_(p), alive_(p ? p->liveness() : std::weak_ptr<void>()) {}
  T *get() const { return alive_.expired() ? nullptr : p_; }
  T *operator->() const { return get(); }
  explicit operator bool() const { return get() != nullptr; }

private:
  T *p_ = nullptr;
  std::weak_ptr<void> alive_;
};

} // namespace kdr
