#pragma once

class QApplication;
class QPalette;

// The dark palette used with the Fusion style (all colour groups set).
QPalette velkorDarkPalette();

// Switches the application to the Fusion style (its focus frames always shown, its tabs a
// little narrower) with the dark palette.
void applyDarkStyle(QApplication& app);
