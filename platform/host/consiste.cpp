#include "platform/host/consiste.h"

#include "platform/net/netconnection.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/utf8.h"
#include "platform/ui/application.h"
#include "platform/ui/dbgrids.h"
#include "platform/ui/forms.h"

namespace kdr::Consiste {

bool EmptyString(const Variant &value) { return value.isEmpty() || EmptyString(value.asString()); }
bool EmptyString(std::string_view text) { return utf8::isBlank(text); }
bool EmptyString(const std::string &text) { return utf8::isBlank(text); }
bool EmptyString(const char *text) { return text == nullptr || utf8::isBlank(text); }

std::string Ajusta(std::string_view code, int width) {
  return utf8::padCode(code, width < 0 ? 0 : static_cast<std::size_t>(width));
}

std::string Ajusta_Inscricao(std::string_view number) {
  std::string digits;
  for (char c : number)
    if (c >= '0' && c <= '9') digits += c;
  return digits;
}

std::string PictPess(std::string_view personType) {
  if (personType == "F") return "000.000.000-00;0;_";
  if (personType == "J") return "00.000.000/0000-00;0;_";
  return {};
}

void MensErro(const std::string &text, bool raise) {
  Application().dialogs().messageDlg(Application().Title, text, mtError, {mbOK});
  if (raise) Abort();
}

Variant CheckResultServ(const Variant &result, bool raise, int) {
  if (!TNetConnection::isErrorResult(result)) return TNetConnection::payloadOf(result);
  MensErro(TNetConnection::errorMessage(result), raise);
  return Variant(nullptr);
}

int IndiceCol(const TDBGrid &grid, std::string_view fieldName) {
  const auto columns = grid.Columns();
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (utf8::sameText(columns[i]->FieldName, fieldName)) return static_cast<int>(i);
  return -1;
}

} // namespace kdr::Consiste
