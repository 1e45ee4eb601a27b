#pragma once
#include <QColor>

class QApplication;
class QPalette;

// The colours of the dark look, for whatever draws its own pictures in it.
namespace dark {
inline const QColor window(0x35, 0x35, 0x38);
inline const QColor base(0x1e, 0x1e, 0x20);  // grids, charts and pictures
inline const QColor alternate(0x29, 0x29, 0x2c);
inline const QColor button(0x42, 0x42, 0x46);
inline const QColor text(0xe8, 0xe8, 0xe8);
inline const QColor highlight(0x2f, 0x65, 0xca);
inline const QColor mutedHighlight(0x4a, 0x50, 0x5c);  // the current row of a grid without the focus
}  // namespace dark

// The dark palette used with the Fusion style (all colour groups set).
QPalette velkorDarkPalette();

// Switches the application to the Fusion style (its focus frames always shown, its tabs a
// little narrower) with the dark palette.
void applyDarkStyle(QApplication& app);
