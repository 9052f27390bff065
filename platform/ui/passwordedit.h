#pragma once
// An edit line that hides what is typed (a password): its dump shows one "*" per character, and
// the Qt widget set draws it as a password line. Everything else is an edit's.
#include "platform/rtl/utf8.h"
#include "platform/ui/stdctrls.h"

namespace kdr {

class TPasswordEdit : public TEdit {
public:
  explicit TPasswordEdit(TComponent *owner) : TEdit(owner) {}
  std::string className() const override { return "TPasswordEdit"; }
  // The edit's own state line, with the text replaced by its stars.
  std::string dumpState() const override {
    const std::string clear = " \"" + Text() + "\"";
    std::string state = TEdit::dumpState();
    return " \"" + std::string(utf8::length(Text()), '*') + "\"" + state.substr(clear.size());
  }
};

} // namespace kdr
