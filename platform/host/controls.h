#pragma once
// The host's own controls: the flat toolbar button, the search button that fills an edit from a
// list, and the page control whose pages code can show.
#include <functional>
#include <string>

#include "platform/ui/buttons.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/dialogs.h"

namespace kdr {

class TDataSource;

// A flat toolbar button. It is not windowed, so pressing it never takes the focus from the
// control being edited.
class TButtonFlat : public TSpeedButton {
public:
  explicit TButtonFlat(TComponent *owner) : TSpeedButton(owner) {}
  std::string className() const override { return "TButtonFlat"; }
};

using TBeforePesqEvent = std::function<void(TComponent *Sender, bool &Continue)>;

// The search button beside an edit. Pressed, it runs OnClick when one is assigned and nothing
// else; otherwise OnBeforePesq (which fills the data source and may stop the search), then the
// single-choice list over DataSource titled Title, or EmptyError when there is nothing to choose.
// After a choice OnAfterPesq copies what it needs from the chosen row (without one, the FieldNome
// value of that row becomes the Associate's text) and the focus goes to the Associate.
// With Pages set, OnBeforePesq loads the first page and the list brings the others as needed.
class TBtnPesquisa : public TSpeedButton {
public:
  explicit TBtnPesquisa(TComponent *owner) : TSpeedButton(owner) {}
  std::string className() const override { return "TBtnPesquisa"; }

  TWinControl *Associate = nullptr;
  TDataSource *DataSource = nullptr;
  std::string FieldNome;
  std::string Title;
  std::string EmptyError;
  SearchPages Pages;

  TBeforePesqEvent OnBeforePesq;
  TNotifyEvent OnAfterPesq;

  void click() override;
  // The built-in search; true when a row was chosen.
  bool Pesquisar();
};

// The page control whose SetActivePage shows a page from code, without OnChanging or OnChange.
class TCustomPageControl98 : public TPageControl {
public:
  explicit TCustomPageControl98(TComponent *owner) : TPageControl(owner) {}
  std::string className() const override { return "TCustomPageControl98"; }
};

} // namespace kdr
