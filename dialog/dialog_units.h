// The templates' font (8-point "Tahoma") and the conversion of dialog units to pixels that the
// platform derives from it.
#pragma once

#include <QFont>
#include <QRect>

namespace cirrodex {

// The platform's dialog base units of a font: the average character width and the cell height,
// in pixels. A dialog unit is a quarter of the first horizontally and an eighth of the second
// vertically.
struct DialogBaseUnits {
  int x = 0;
  int y = 0;
};

// "Tahoma" at 8 points on the handheld's 96 dots per inch: an 11-pixel em. Needs a
// QGuiApplication.
QFont DialogFont();

// As the platform computes them: x = (width of "A".."Z" "a".."z" / 26 + 1) / 2, y = the cell
// height (the face's Windows ascent plus descent at this size; the font's metrics when the face
// has no such table).
DialogBaseUnits BaseUnitsOf(const QFont& font);

// The base units of DialogFont(), computed once.
DialogBaseUnits DialogUnits();

// a * b / c rounded to the nearest integer, halves away from zero (the platform's MulDiv); 0 for
// c == 0.
int MulDiv(int a, int b, int c);

// A rectangle in dialog units (left, top, width, height) in pixels of DialogUnits().
QRect MapDialogRect(int x, int y, int cx, int cy);
QRect MapDialogRect(int x, int y, int cx, int cy, DialogBaseUnits units);

}  // namespace cirrodex
