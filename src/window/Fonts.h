#pragma once

class QFont;
class QWidget;

// The window's Gothic family list at the given pixel size.
QFont velkorFont(int pixelSize);

// Sets the fonts of the main window: the family list at 23 pixels for the window, 30 pixels for
// the buttons "予測", "予測検証" and "書出", and 23 pixels for the titles of every data grid.
void applyVelkorFonts(QWidget* window);
