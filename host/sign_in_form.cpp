#include "host/sign_in_form.h"

#include "platform/host/zelnor.h"
#include "platform/rtl/events.h"
#include "platform/rtl/exceptions.h"
#include "platform/ui/application.h"
#include "platform/ui/dialogs.h"

namespace kdr::host {

namespace {

// A control of the form (which owns it, so it is found by name), shown in parent.
template <class T> T *placed(TForm *form, TWinControl *parent, const char *name) {
  T *c = make<T>(form, name);
  c->SetParent(parent);
  return c;
}

} // namespace

TfrmEntrada::TfrmEntrada(TComponent *owner, const std::string &operatorCode, const std::string &reason)
    : TForm(owner) {
  SetName("frmEntrada");
  SetCaption("Entrada no sistema");
  SetLabelColumn(true);
  lblMotivo = placed<TLabel>(this, this, "lblMotivo");
  lblMotivo->SetCaption(reason);
  lblMotivo->SetVisible(!reason.empty());
  lblOperador = placed<TLabel>(this, this, "lblOperador");
  lblOperador->SetCaption("Operador");
  edtOperador = placed<TEdit>(this, this, "edtOperador");
  edtOperador->SetMaxLength(12);
  edtOperador->SetText(operatorCode);
  lblSenha = placed<TLabel>(this, this, "lblSenha");
  lblSenha->SetCaption("Senha");
  edtSenha = placed<TPasswordEdit>(this, this, "edtSenha");
  edtSenha->OnKeyPress = bindHandler(this, &TfrmEntrada::edtSenhaKeyPress);
  panBotoes = placed<TPanel>(this, this, "panBotoes");
  panBotoes->SetAlign(alBottom);
  btnEntrar = placed<TButtonFlat>(this, panBotoes, "btnEntrar");
  btnEntrar->SetCaption("Entrar");
  btnEntrar->OnClick = bindHandler(this, &TfrmEntrada::btnEntrarClick);
  btnCancelar = placed<TButtonFlat>(this, panBotoes, "btnCancelar");
  btnCancelar->SetCaption("Cancelar");
  btnCancelar->OnClick = bindHandler(this, &TfrmEntrada::btnCancelarClick);
  // After a session ended the operator stays the same: only the password is asked.
  edtOperador->SetEnabled(operatorCode.empty());
  SetActiveControl(operatorCode.empty() ? static_cast<TWinControl *>(edtOperador) : edtSenha);
}

void TfrmEntrada::btnEntrarClick(TComponent *) {
  try {
    Zelnor::SignIn(edtOperador->Text(), edtSenha->Text());
  } catch (const EDatabaseError &) {
    edtSenha->SetText("");
    throw; // the boundary shows the server's message; the dialog stays for another try
  }
  SetModalResult(mrOk);
}

void TfrmEntrada::btnCancelarClick(TComponent *) { SetModalResult(mrCancel); }

// Enter in the password signs in, as the dialog's default button would.
void TfrmEntrada::edtSenhaKeyPress(TComponent *, char32_t &Key) {
  if (Key != U'\r') return;
  Key = 0;
  btnEntrar->click();
}

bool askSignIn(const std::string &operatorCode, const std::string &reason) {
  Ref<TForm> form(TForm::create<TfrmEntrada>(&Application(), operatorCode, reason));
  const int result = form->ShowModal();
  if (auto *f = form.get()) f->Release();
  return result == mrOk;
}

} // namespace kdr::host
