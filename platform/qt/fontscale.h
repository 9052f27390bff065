#pragma once
// The screens give their sizes in pixels of the classic default font, a line of 13 pixels. Real
// windows grow every such size (forms, controls, grid columns and rows) with the font in use, as
// classic forms scale with theirs, so a text that fitted as designed still fits.
namespace kdr::qt {

// The line height of the font in use against the classic one.
double fontScale();
// A designed size in the pixels of the font in use, and back.
int scaled(int designed);
int unscaled(int pixels);

} // namespace kdr::qt
