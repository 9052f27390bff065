#pragma once
// The host's main window: the MDI frame whose "Faturamento" menu starts the module's screens.
#include <functional>
#include <string_view>

#include "platform/ui/forms.h"
#include "platform/ui/menus.h"

namespace kdr::host {

class TfrmPrincipal : public TForm {
public:
  // callEntry runs a module entry point by its exported name (inside the dispatch boundary).
  TfrmPrincipal(TComponent *owner, std::function<void(std::string_view)> callEntry);
  std::string className() const override { return "TfrmPrincipal"; }

  TMainMenu *mnuPrincipal;
  TMenuItem *mnuFaturamento;
  TMenuItem *mnuParamFatCli;
  TMenuItem *mnuDescPad;
  TMenuItem *mnuImportacaoParam;

private:
  TMenuItem *addEntry(const char *name, const char *caption, const char *entry);
  std::function<void(std::string_view)> callEntry_;
};

} // namespace kdr::host
