#pragma once
// The peer makers, one family per file. Each returns null for a component that is not of its kinds;
// the widget set asks them most specific first.
#include "platform/qt/controlpeer.h"

#include <QIcon>
#include <QString>
#include <QStyle>

#include <memory>

class QIcon;

namespace kdr {
class TForm;
}

namespace kdr::qt {

// Panels, group boxes, labels, edits, memos, check and radio buttons, combos, splitters, toolbar
// buttons, page controls and tab sheets; any other control as a plain container or text.
std::unique_ptr<ControlPeer> makeStandardPeer(TControl &control);
// Forms: the main form as the MDI frame, MDI children inside it, the rest as windows or dialogs.
std::unique_ptr<ControlPeer> makeFormPeer(TForm &form);
// Main menus and menu items.
std::unique_ptr<ComponentPeer> makeMenuPeer(TComponent &component);
// Data-aware controls and the grid.
std::unique_ptr<ControlPeer> makeDataPeer(TControl &control);

// A toolbar picture for a glyph, hint or control name ("Incluir", "sbtExcluir"...); null when none fits.
QIcon glyphIcon(const std::string &glyph, const std::string &hint, const std::string &name);
// The style's picture of a kind, made once and shared by every button that shows it: each making
// decodes every size of the picture anew, and a screen's buttons ask for the same few kinds.
// Holds the sizes up to 64 pixels.
QIcon standardIcon(QStyle::StandardPixmap kind);
// Lets the shared pictures go, while Qt still runs.
void forgetStandardIcons();

// Runs a form modally in a local event loop until its ModalResult is set or it goes away.
void runFormModal(TForm &form);
// The window that shows a form, or null.
QWidget *windowOf(TForm &form);

} // namespace kdr::qt
