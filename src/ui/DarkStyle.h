#pragma once

class QApplication;
class QPalette;

// The dark palette used with the Fusion style (all colour groups set).
QPalette velkorDarkPalette();

// Switches the application to the Fusion style with the dark palette.
void applyDarkStyle(QApplication& app);
