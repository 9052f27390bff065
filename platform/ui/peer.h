#pragma once
// The seam between the component model and a widget set. The model is the truth: a peer only
// mirrors it. A control owns its peer and destroys it before anything else of the control goes;
// the peer holds a plain pointer back to its component. Headless, no widget set is installed and
// no component has a peer.
#include "platform/ui/component.h"

#include <memory>

namespace kdr {

class ComponentPeer {
public:
  virtual ~ComponentPeer() = default;
  // A property of the component changed; the peer reads the new value from the model.
  virtual void propertyChanged(Prop p) = 0;
  // The form's focus manager moved the focus onto (true) or off (false) this control.
  virtual void focusChanged(bool focused) = 0;
};

// Makes peers. Installed once by the desktop host at start (Application().SetWidgetSet).
class WidgetSet {
public:
  virtual ~WidgetSet() = default;
  // A peer for the component, or null for a component the widget set does not show.
  // Called parent first: when a control's peer is made, its parent already has one.
  virtual std::unique_ptr<ComponentPeer> createPeer(TComponent &component) = 0;
};

} // namespace kdr
