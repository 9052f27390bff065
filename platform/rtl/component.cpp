#include "platform/rtl/component.h"

#include "platform/rtl/utf8.h"

#include <algorithm>

namespace kdr {

TComponent::TComponent(TComponent *owner) : owner_(owner) {
  if (owner_) owner_->components_.emplace_back(this);
}

TComponent::~TComponent() {
  Destroying();
  peer_.reset();
  DestroyComponents();
  if (owner_) owner_->removeOwned(this);
}

void TComponent::SetName(std::string name) {
  name_ = std::move(name);
  changed(Prop::Name);
}

TComponent *TComponent::FindComponent(const std::string &name) const {
  if (name.empty()) return nullptr;
  for (const auto &c : components_)
    if (utf8::sameText(c->name_, name)) return c.get();
  return nullptr;
}

TComponent *TComponent::findDeep(const std::string &name) const {
  if (auto *c = FindComponent(name)) return c;
  for (const auto &c : components_)
    if (auto *found = c->findDeep(name)) return found;
  return nullptr;
}

void TComponent::Destroying() {
  if (destroying_) return;
  destroying_ = true;
  for (const auto &c : components_) c->Destroying();
}

void TComponent::DestroyComponents() {
  for (const auto &c : components_) c->Destroying();
  // Each destructor takes itself out of the list (removeOwned), so pop the newest first.
  while (!components_.empty()) {
    TComponent *last = components_.back().get();
    components_.back().release();
    components_.pop_back();
    last->owner_ = nullptr;
    delete last;
  }
}

void TComponent::removeOwned(TComponent *c) {
  auto it = std::find_if(components_.begin(), components_.end(), [c](const auto &p) { return p.get() == c; });
  if (it == components_.end()) return;
  it->release();
  components_.erase(it);
}

void TComponent::setPeer(std::unique_ptr<ComponentPeer> peer) { peer_ = std::move(peer); }

void TComponent::changed(Prop p) {
  if (peer_) peer_->propertyChanged(p);
}

} // namespace kdr
