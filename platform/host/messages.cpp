#include "platform/host/messages.h"

#include "platform/rtl/utf8.h"
#include "platform/ui/application.h"
#include "platform/ui/forms.h"

namespace kdr {

std::string TMessages::Msg(std::string_view key) const {
  for (const auto &line : Messages) {
    const auto bar = line.find('|');
    if (bar != std::string::npos && utf8::sameText(std::string_view(line).substr(0, bar), key))
      return line.substr(bar + 1);
  }
  Application().diagnose("catalogue " + Name() + " has no key \"" + std::string(key) + "\"");
  return {};
}

int TMessages::ShowMsg(std::string_view key, TMsgDlgType type, const TMsgDlgButtons &buttons, int) const {
  return Application().dialogs().messageDlg(Application().Title, Msg(key), type, buttons);
}

} // namespace kdr
