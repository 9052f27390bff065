#include "platform/host/controls.h"

#include "platform/data/datasource.h"
#include "platform/host/dialog_services.h"
#include "platform/ui/forms.h"

namespace kdr {

void TBtnPesquisa::click() {
  if (OnClick) {
    OnClick(this);
    return;
  }
  Pesquisar();
}

bool TBtnPesquisa::Pesquisar() {
  bool proceed = true;
  if (OnBeforePesq) OnBeforePesq(this, proceed);
  if (!proceed || DataSource == nullptr) return false;
  const std::string caption = Title + "|" + EmptyError;
  if (!(Pages.filter ? Pesquisa::PesquisarPaginas(*DataSource, caption, Pages)
                     : Pesquisa::Pesquisar(*DataSource, caption)))
    return false;

  if (OnAfterPesq)
    OnAfterPesq(this);
  else if (Associate != nullptr && !FieldNome.empty() && DataSource->DataSet() != nullptr)
    Associate->SetText(DataSource->DataSet()->FieldByName(FieldNome).AsString());
  if (Associate != nullptr && Associate->CanFocus()) Associate->SetFocus();
  return true;
}

} // namespace kdr
