#pragma once
// Wiring a form's handlers to its components' events. A handler is bound in one line, with the
// handler's own parameter list taken from its declaration, so no forwarding lambda repeats it;
// an event silenced for a block gets its handler back however the block ends.
#include <functional>
#include <utility>

namespace kdr {

// `ctl->OnExit = bindHandler(this, &TfrmX::ctlExit);`
template <class Object, class Class, class Result, class... Args>
auto bindHandler(Object *object, Result (Class::*handler)(Args...)) {
  return
      [object, handler](Args... args) -> Result { return (object->*handler)(std::forward<Args>(args)...); };
}

// While it lives, the event has no handler; the one it had comes back when the scope ends, by a
// return or by an exception alike.
template <class Event> class SilencedEvent {
public:
  explicit SilencedEvent(Event &event) : event_(event), saved_(std::exchange(event, Event{})) {}
  ~SilencedEvent() { event_ = std::move(saved_); }
  SilencedEvent(const SilencedEvent &) = delete;
  SilencedEvent &operator=(const SilencedEvent &) = delete;

private:
  Event &event_;
  Event saved_;
};

} // namespace kdr
