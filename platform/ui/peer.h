#pragma once
// The widget set behind the component model's peers (ComponentPeer, platform/rtl/component.h).
// The model is the truth: a peer only mirrors it. Headless, no widget set is installed and no
// component has a peer.
#include "platform/rtl/component.h"

#include <memory>

namespace kdr {

// Makes peers. Installed once by the desktop host at start (Application().SetWidgetSet).
class WidgetSet {
public:
  virtual ~WidgetSet() = default;
  // A peer for the component, or null for a component the widget set does not show.
  // Called parent first: when a control's peer is made, its parent already has one.
  virtual std::unique_ptr<ComponentPeer> createPeer(TComponent &component) = 0;
};

} // namespace kdr
