#pragma once
// The sign-in dialog: operator and password, checked by the server. Shown at start when the
// command line does not sign in, and again when the session ends in the middle of the work.
#include <string>

#include "platform/host/controls.h"
#include "platform/ui/forms.h"
#include "platform/ui/passwordedit.h"
#include "platform/ui/stdctrls.h"

namespace kdr::host {

class TfrmEntrada : public TForm {
public:
  // operatorCode: typed in already (kept when the session ended: only the password is asked).
  TfrmEntrada(TComponent *owner, const std::string &operatorCode, const std::string &reason);
  std::string className() const override { return "TfrmEntrada"; }

  TLabel *lblMotivo;
  TLabel *lblOperador;
  TEdit *edtOperador;
  TLabel *lblSenha;
  TPasswordEdit *edtSenha;
  TPanel *panBotoes;
  TButtonFlat *btnEntrar;
  TButtonFlat *btnCancelar;

private:
  // Signs in; a refusal shows the server's message and leaves the dialog open with the password cleared.
  void btnEntrarClick(TComponent *Sender);
  void btnCancelarClick(TComponent *Sender);
  void edtSenhaKeyPress(TComponent *Sender, char32_t &Key);
};

// Shows the dialog modally until the operator signs in (true) or gives up (false).
bool askSignIn(const std::string &operatorCode, const std::string &reason);

} // namespace kdr::host
