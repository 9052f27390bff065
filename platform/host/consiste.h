#pragma once
// The host's validation routines: text tests, code widths, registration-number masks, the error
// message that stops an operation, and the check every application-server result passes.
#include <string>
#include <string_view>

#include "platform/rtl/variant.h"

namespace kdr {
class TDBGrid;
}

namespace kdr::Consiste {

// True for null, empty text or text made only of blanks.
bool EmptyString(const Variant &value);
bool EmptyString(std::string_view text);
bool EmptyString(const std::string &text);
bool EmptyString(const char *text);

// A code brought to its width: a non-empty code (blanks around it dropped) is left-padded with
// zeros; an empty code stays empty; a code longer than the width is kept whole.
std::string Ajusta(std::string_view code, int width);

// A registration number reduced to its digits, as the server stores it.
std::string Ajusta_Inscricao(std::string_view number);

// Edit mask of a registration number for a person type: "F" a person, "J" a company.
std::string PictPess(std::string_view personType);

// Shows the text as an error and raises a silent abort, so the message is shown once. With
// raise false it only shows the message.
void MensErro(const std::string &text, bool raise = true);

// An application-server result: an error result is shown (the server's message, or the
// transport failure naming the server's address) and raises a silent abort when raise is true;
// otherwise the payload comes back. helpContext is kept for the callers' signature.
Variant CheckResultServ(const Variant &result, bool raise = true, int helpContext = 0);

// Index of the grid column bound to the field, -1 when the grid has none.
int IndiceCol(const TDBGrid &grid, std::string_view fieldName);

} // namespace kdr::Consiste
