#pragma once
// TMessages: a screen's message catalogue. Each line is a key, a vertical bar and a text; keys
// match regardless of case and the first line of a key wins.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/rtl/component.h"
#include "platform/ui/dialogs.h"

namespace kdr {

class TMessages : public TComponent {
public:
  explicit TMessages(TComponent *owner) : TComponent(owner) {}
  std::string className() const override { return "TMessages"; }

  std::vector<std::string> Messages;

  // The text of the key; empty when the catalogue has no such key, which is told to the
  // application's diagnostics (a scripted user fails the test there).
  std::string Msg(std::string_view key) const;
  // The text of the key with each {name} in it replaced by its value: a message that counts or
  // names what it is about keeps its words in the catalogue.
  std::string Msg(std::string_view key,
                  const std::vector<std::pair<std::string_view, std::string>> &values) const;
  // Shows the key's text modally and returns the modal result of the button chosen (6 = Yes).
  int ShowMsg(std::string_view key, TMsgDlgType type, const TMsgDlgButtons &buttons,
              int helpContext = 0) const;
};

} // namespace kdr
