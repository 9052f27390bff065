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

std::string TMessages::Msg(std::string_view key,
                           const std::vector<std::pair<std::string_view, std::string>> &values) const {
  std::string text = Msg(key);
  for (const auto &[name, value] : values) {
    const std::string placeholder = "{" + std::string(name) + "}";
    for (auto at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size()))
      text.replace(at, placeholder.size(), value);
  }
  return text;
}

int TMessages::ShowMsg(std::string_view key, TMsgDlgType type, const TMsgDlgButtons &buttons, int) const {
  return Application().dialogs().messageDlg(Application().Title, Msg(key), type, buttons);
}

} // namespace kdr
